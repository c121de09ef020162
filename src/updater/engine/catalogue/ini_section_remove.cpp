#include "updater/engine/catalogue/ini_section_remove.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/os/os_file.h"
#include "platform/os/os_file_ops.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"

namespace {

constexpr size_t kBlockSize = 1024;
// Longest section name looked for; a longer one was never written by the
// engine, and cutting it shorter could remove a different section.
constexpr size_t kMaxSectionName = 61;

struct FileCloser {
  void operator()(OS_FILE* file) const { static_cast<void>(OsFileClose(file)); }
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

struct Search {
  UpdError error = kUpdOk;
  std::optional<uint64_t> offset;
};

// The first offset at or after from where pattern stands. The file is read
// in blocks; the last pattern length less one bytes of each stay in the
// window, so a match across two blocks is found.
Search FindFrom(OS_FILE* file, std::string_view pattern, uint64_t from) {
  if (OsFileSeek(file, static_cast<int64_t>(from), 0) < 0) return {kUpdReadFailed, {}};
  std::string window;
  uint64_t window_start = from;
  char block[kBlockSize];
  for (;;) {
    const int64_t got = OsFileRead(file, block, sizeof block);
    if (got < 0) return {kUpdReadFailed, {}};
    if (got == 0) return {};
    window.append(block, static_cast<size_t>(got));
    const auto match = std::search(window.begin(), window.end(), pattern.begin(), pattern.end(),
                                   [](char a, char b) { return Lower(a) == Lower(b); });
    if (match != window.end()) {
      return {kUpdOk, window_start + static_cast<uint64_t>(match - window.begin())};
    }
    const size_t keep = std::min(window.size(), pattern.size() - 1);
    window_start += window.size() - keep;
    window.erase(0, window.size() - keep);
  }
}

UpdError CutSection(OS_FILE* file, std::string_view header) {
  const Search start = FindFrom(file, header, 0);
  if (start.error != kUpdOk || !start.offset) return start.error;
  const Search next = FindFrom(file, "[", *start.offset + 1);
  if (next.error != kUpdOk) return next.error;
  const int64_t size = OsFileGetSize(file);
  if (size < 0) return kUpdReadFailed;
  const uint64_t end = next.offset.value_or(static_cast<uint64_t>(size));
  if (OsFileCutRange(file, *start.offset, end - *start.offset) < 0) {
    return MapDiskFullError(kUpdWriteFailed);
  }
  return kUpdOk;
}

}  // namespace

UpdError RemoveIniSection(const char* name, const char* path) {
  if (name == nullptr || path == nullptr) return kUpdInvalidArgument;
  OS_FILE* opened = OsFileOpen(path, nullptr, kOsAccessReadWrite, kOsOpenExisting);
  if (opened == nullptr) return kUpdMissing;
  std::unique_ptr<OS_FILE, FileCloser> file(opened);
  if (std::strlen(name) > kMaxSectionName) return kUpdOk;
  const UpdError result = CutSection(file.get(), "[" + std::string(name) + "]");
  // Written bytes reach the disk when the file is closed.
  if (OsFileClose(file.release()) != 0 && result == kUpdOk) {
    return MapDiskFullError(kUpdWriteFailed);
  }
  return result;
}
