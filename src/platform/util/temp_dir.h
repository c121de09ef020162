#pragma once

#include <string>

// A temporary folder "temp%08X" under a base folder (the system temporary
// folder when none is given), deleted with its content by the destructor.
// The folder is created exclusively with mode 0700, so the object never
// adopts, and later deletes, a folder that someone else made.
class CTempDir {
 public:
  // Source of the numbers in the names (the thread's folder-name generator
  // unless a test supplies its own).
  using NumberSource = unsigned int (*)();

  explicit CTempDir(const char* base = nullptr, NumberSource next_number = nullptr);
  ~CTempDir();
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  // The folder (without a trailing '/'), or null when none could be made.
  const char* Path() const { return path_.empty() ? nullptr : path_.c_str(); }

 private:
  std::string path_;
};
