#include "support/python_oracle.h"

#include <cstdlib>
#include <sstream>

#include "support/temp_dir.h"

namespace upd::test {
namespace {

std::string PythonCommand() {
  const char* python = std::getenv("PYTHON3");
  return python != nullptr ? python : "python3";
}

std::vector<std::string> SplitLines(const std::string& text, bool keep_empty) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    if (keep_empty || !line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

std::vector<std::string> RunPythonOracle(const std::string& program,
                                         const std::vector<std::string>& input_lines) {
  TempDir dir;
  std::string input;
  for (const std::string& line : input_lines) input += line + "\n";
  WriteFile(dir.file("oracle.py"), program);
  WriteFile(dir.file("input.txt"), input);
  const std::string command =
      PythonCommand() + " '" + dir.file("oracle.py") + "' '" + dir.file("input.txt") + "'";
  std::string out;
  if (RunCommand(command, &out) != 0) return {};
  return SplitLines(out, true);
}

std::vector<std::string> RunPythonScript(const std::string& relative_path) {
  std::string out;
  if (RunCommand(PythonCommand() + " '" + SourcePath(relative_path) + "'", &out) != 0) return {};
  return SplitLines(out, false);
}

}  // namespace upd::test
