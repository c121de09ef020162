#pragma once

#include <cstddef>
#include <cstdint>

// Attribute list passed to the file calls: packed records {u32 tag; u32 length;
// length bytes of data}, each following the previous record's data directly,
// ended by a record with tag 0. A null list means no attributes.
struct OS_ATTRIBUTE_LIST {
  uint32_t tag;
  uint32_t length;
};

// Tag of a named-stream name; named streams are not supported on this platform.
inline constexpr uint32_t kOsAttributeStreamName = 25;

// Results of OsAttributeListFind.
inline constexpr uint32_t kOsAttributeBadArgument = 7010;
inline constexpr uint32_t kOsAttributeAbsent = 7016;

// Appends '/' when path is non-empty, does not end in '/' and its length is
// below size - 1.
void OsAppendSlash(char* path, size_t size);
// The same on NUL-terminated UTF-16 text (size in units).
void OsAppendSlashUtf16(char16_t* path, size_t size);

// The descriptor number N of a "/dev/fd/N" path, else -1.
[[nodiscard]] int OsParseFdPath(const char* path);

// 1 when the list holds a record with tag (0 for a null list).
[[nodiscard]] int OsAttributeListHas(const OS_ATTRIBUTE_LIST* list, uint32_t tag);
// 0 with the record's data and length; kOsAttributeBadArgument for a null list
// or out pointer; kOsAttributeAbsent when no record has the tag.
[[nodiscard]] uint32_t OsAttributeListFind(const OS_ATTRIBUTE_LIST* list, uint32_t tag,
                                           const void** data, uint32_t* length);
