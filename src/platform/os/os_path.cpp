#include "platform/os/os_path.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kFdPrefix[] = "/dev/fd/";
constexpr size_t kFdPrefixLength = sizeof(kFdPrefix) - 1;

// A list is read record by record with memcpy, as its records need not be
// aligned.
struct Record {
  uint32_t tag;
  uint32_t length;
  const unsigned char* data;
};

Record ReadRecord(const unsigned char* at) {
  Record r{};
  std::memcpy(&r.tag, at, sizeof(r.tag));
  std::memcpy(&r.length, at + sizeof(r.tag), sizeof(r.length));
  r.data = at + sizeof(r.tag) + sizeof(r.length);
  return r;
}

bool FindRecord(const OS_ATTRIBUTE_LIST* list, uint32_t tag, Record* found) {
  const auto* at = reinterpret_cast<const unsigned char*>(list);
  for (Record r = ReadRecord(at); r.tag != 0; r = ReadRecord(r.data + r.length)) {
    if (r.tag == tag) {
      *found = r;
      return true;
    }
  }
  return false;
}

}  // namespace

void OsAppendSlash(char* path, size_t size) {
  const size_t length = std::strlen(path);
  if (length == 0 || path[length - 1] == '/' || length + 1 >= size) return;
  path[length] = '/';
  path[length + 1] = 0;
}

void OsAppendSlashUtf16(char16_t* path, size_t size) {
  size_t length = 0;
  while (path[length] != 0) ++length;
  if (length == 0 || path[length - 1] == u'/' || length + 1 >= size) return;
  path[length] = u'/';
  path[length + 1] = 0;
}

int OsParseFdPath(const char* path) {
  if (path == nullptr || std::strncmp(path, kFdPrefix, kFdPrefixLength) != 0) return -1;
  const char* digits = path + kFdPrefixLength;
  if (*digits < '0' || *digits > '9') return -1;
  const long n = std::strtol(digits, nullptr, 10);
  return n > 0x7FFFFFFF ? -1 : static_cast<int>(n);
}

int OsAttributeListHas(const OS_ATTRIBUTE_LIST* list, uint32_t tag) {
  Record r{};
  return list != nullptr && FindRecord(list, tag, &r) ? 1 : 0;
}

uint32_t OsAttributeListFind(const OS_ATTRIBUTE_LIST* list, uint32_t tag, const void** data,
                             uint32_t* length) {
  if (list == nullptr || data == nullptr || length == nullptr) return kOsAttributeBadArgument;
  Record r{};
  if (!FindRecord(list, tag, &r)) return kOsAttributeAbsent;
  *data = r.data;
  *length = r.length;
  return 0;
}
