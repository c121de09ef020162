#include "platform/util/unique_names.h"

#include <cstdint>
#include <cstdio>
#include <random>

#include "platform/os/os_file.h"
#include "platform/os/os_file_info.h"
#include "platform/util/file_helpers.h"

namespace {

// One engine per purpose and thread, each seeded once from the system's
// random device.
std::mt19937& Engine(bool folders) {
  auto seeded = [] {
    std::random_device device("default");
    return std::mt19937(device());
  };
  thread_local std::mt19937 file_engine = seeded();
  thread_local std::mt19937 folder_engine = seeded();
  return folders ? folder_engine : file_engine;
}

// Formats the name; false when it does not fit the buffer (a cut name would
// be another name).
bool FormatName(const char* format, char* buffer, size_t size, uint32_t value) {
  if (format == nullptr || buffer == nullptr || size == 0) return false;
  const int length = std::snprintf(buffer, size, format, static_cast<unsigned int>(value));
  return length >= 0 && static_cast<size_t>(length) < size;
}

}  // namespace

bool CreateUniqueFile(const char* format, char* buffer, size_t size) {
  for (int attempt = 0; attempt < kUniqueNameTries; ++attempt) {
    if (!FormatName(format, buffer, size, Engine(false)())) continue;
    (void)CreateParentFolder(buffer);
    OS_FILE* file = OsFileOpen(buffer, nullptr, kOsAccessWrite, kOsCreateNew);
    if (file == nullptr) continue;
    OsFileClose(file);
    return true;
  }
  return false;
}

bool CreateUniqueFolder(const char* format, char* buffer, size_t size) {
  for (int attempt = 0; attempt < kUniqueNameTries; ++attempt) {
    if (!FormatName(format, buffer, size, Engine(true)())) continue;
    uint32_t attributes = 0;
    if (OsGetFileAttributes(buffer, nullptr, &attributes) != 0) return true;
  }
  return false;
}

unsigned int NextFolderNameNumber() { return Engine(true)(); }
