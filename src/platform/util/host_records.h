#pragma once

#include <cstdint>
#include <string_view>

#include "updater.h"

// The host-visible string and array (updater.h). Their blocks belong to the
// allocator named inside them: every block is allocated and freed through
// that allocator's entries, so the host can free what the library grew.
// A failed operation leaves the container exactly as it was.

// Capacity of the inline text of a HOST_STRING.
inline constexpr uint64_t kHostStringInlineCapacity = 15;
// Largest byte count of a string and of an array's block.
inline constexpr uint64_t kHostMaxBytes = 0x7FFFFFFFFFFFFFFF;

// An empty string: length 0, capacity 15, the NUL inline.
void HostStringInit(HOST_STRING* string, const ApiAllocator* allocator);
[[nodiscard]] const char* HostStringText(const HOST_STRING* string);
[[nodiscard]] std::string_view HostStringView(const HOST_STRING* string);
// Appends count bytes; source may point into the string itself. The capacity
// grows to max(1.5 times, the needed size with its low four bits set).
[[nodiscard]] bool HostStringAppend(HOST_STRING* string, uint64_t count, const void* source);
// Length 0, capacity and block kept.
void HostStringClear(HOST_STRING* string);
// Gives a heap block back to the string's allocator; the string is then
// empty with the same allocator.
void HostStringFree(HOST_STRING* string);

// The largest element count whose block stays within kHostMaxBytes.
[[nodiscard]] constexpr uint64_t HostArrayMaxCount(uint64_t element_size) {
  return kHostMaxBytes / element_size;
}

// Appends one element of element_size bytes. The array grows to
// max(1.5 times, count + 1) elements, capped at HostArrayMaxCount. Elements
// are plain host records, moved by their bytes: a record's strings go with
// it, so on success the array owns what the element owned, and on failure
// the caller still does.
[[nodiscard]] bool HostArrayPushBack(HOST_ARRAY* array, const void* element, uint64_t element_size);

template <typename T>
[[nodiscard]] bool HostArrayPushBack(HOST_ARRAY* array, const T& element) {
  return HostArrayPushBack(array, &element, sizeof element);
}

// Element index of an array of T (no bounds check).
template <typename T>
[[nodiscard]] T* HostArrayAt(const HOST_ARRAY* array, uint64_t index) {
  return static_cast<T*>(array->elements) + index;
}
