#include "platform/util/file_finder.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/os/os_path.h"
#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/text_helpers.h"

CFileFinder::CFileFinder(const char* folder, const char* pattern, uint32_t mask) : mask_(mask) {
  if (folder == nullptr || pattern == nullptr) return;
  SafeStrCopy(path_, sizeof path_, folder);
  OsAppendSlash(path_, sizeof path_);
  name_offset_ = std::strlen(path_);
  // A pattern cut at the buffer would search for something else.
  if (name_offset_ + std::strlen(pattern) >= sizeof path_) return;
  name_room_ = sizeof path_ - name_offset_;
  SafeStrCat(path_, sizeof path_, pattern);
  const char* star = std::strrchr(pattern, '*');
  if (star != nullptr) SafeStrCopy(suffix_, sizeof suffix_, star + 1);
  suffix_length_ = std::strlen(suffix_);
  const std::string search = EscapeSearchPattern(std::string_view(path_, name_offset_)) + pattern;
  search_ = OsFindFirst(search.c_str());
  if (search_ == nullptr) return;
  at_end_ = false;
  Next();
}

CFileFinder::~CFileFinder() {
  if (search_ != nullptr) OsFindClose(search_);
}

bool CFileFinder::Accepts(const char* name, const OS_FILE_INFO& info) const {
  const bool dot_entry = std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
  if ((info.attributes & kOsAttrRegular) == 0 && dot_entry) return false;
  if (mask_ != 0 && (info.attributes & mask_) == 0) return false;
  if (suffix_length_ > 0 && !StrEndsWith(name, suffix_)) return false;
  // A name cut at the buffer would name another file.
  return std::strlen(name) < name_room_;
}

void CFileFinder::Next() {
  if (at_end_) return;
  const char* name = nullptr;
  OS_FILE_INFO info{};
  while (OsFindNext(search_, &name, &info) == 0) {
    if (!Accepts(name, info)) continue;
    SafeStrCopy(path_ + name_offset_, name_room_, name);
    info_ = info;
    return;
  }
  at_end_ = true;
}
