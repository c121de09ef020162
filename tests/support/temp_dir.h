#pragma once

#include <filesystem>
#include <string>

namespace upd::test {

// A fresh folder under the system temporary folder, removed with its content
// when the object goes away, so that every test works in a place of its own.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Path of a child entry, as a string.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Absolute path of a file in the source tree ("tests/data/x" -> "/.../tests/data/x").
std::string SourcePath(const std::string& relative);
// Absolute path of a file in the build tree.
std::string BinaryPath(const std::string& relative);
// Path of an executable built into <build>/bin (updprobe and friends).
std::string ToolPath(const std::string& name);

// Runs a shell command, returns its exit status (-1 when it could not run)
// and, when out is given, its standard output.
int RunCommand(const std::string& command, std::string* out = nullptr);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace upd::test
