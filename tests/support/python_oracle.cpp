#include "support/python_oracle.h"

#include <cstdlib>
#include <sstream>

#include "support/temp_dir.h"

namespace upd::test {

std::vector<std::string> RunPythonOracle(const std::string& program,
                                         const std::vector<std::string>& input_lines) {
  TempDir dir;
  std::string input;
  for (const std::string& line : input_lines) input += line + "\n";
  WriteFile(dir.file("oracle.py"), program);
  WriteFile(dir.file("input.txt"), input);
  const char* python = std::getenv("PYTHON3");
  const std::string command = std::string(python != nullptr ? python : "python3") + " '" +
                              dir.file("oracle.py") + "' '" + dir.file("input.txt") + "'";
  std::string out;
  if (RunCommand(command, &out) != 0) return {};
  std::vector<std::string> lines;
  std::istringstream stream(out);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

}  // namespace upd::test
