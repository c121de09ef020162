#include "support/temp_dir.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace upd::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "updtest-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string SourcePath(const std::string& relative) {
  return std::string(UPD_SOURCE_DIR) + "/" + relative;
}

std::string BinaryPath(const std::string& relative) {
  return std::string(UPD_BINARY_DIR) + "/" + relative;
}

std::string ToolPath(const std::string& name) { return std::string(UPD_TOOLS_BIN) + "/" + name; }

int RunCommand(const std::string& command, std::string* out) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  std::array<char, 4096> chunk{};
  std::string text;
  size_t n = 0;
  while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) text.append(chunk.data(), n);
  int status = pclose(pipe);
  if (out != nullptr) *out = text;
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

}  // namespace upd::test
