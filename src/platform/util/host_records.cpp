#include "platform/util/host_records.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsInline(const HOST_STRING* string) { return string->capacity <= kHostStringInlineCapacity; }

char* MutableText(HOST_STRING* string) {
  return IsInline(string) ? string->inlineText : string->heapText;
}

void* Allocate(const ApiAllocator* allocator, uint64_t byte_count) {
  if (allocator == nullptr || allocator->Allocate == nullptr) return nullptr;
  return allocator->Allocate(byte_count);
}

void Release(const ApiAllocator* allocator, void* block) {
  if (block != nullptr && allocator != nullptr && allocator->Free != nullptr) {
    allocator->Free(block);
  }
}

uint64_t GrownStringCapacity(uint64_t capacity, uint64_t needed) {
  const uint64_t grown = capacity + capacity / 2;
  return std::min(std::max(grown, needed | 0xF), kHostMaxBytes);
}

}  // namespace

void HostStringInit(HOST_STRING* string, const ApiAllocator* allocator) {
  std::memset(string, 0, sizeof *string);
  string->capacity = kHostStringInlineCapacity;
  string->allocator = allocator;
}

const char* HostStringText(const HOST_STRING* string) {
  return IsInline(string) ? string->inlineText : string->heapText;
}

std::string_view HostStringView(const HOST_STRING* string) {
  return {HostStringText(string), static_cast<size_t>(string->length)};
}

bool HostStringAppend(HOST_STRING* string, uint64_t count, const void* source) {
  if (count == 0) return true;
  const uint64_t length = string->length;
  if (kHostMaxBytes - length < count) return false;
  const uint64_t needed = length + count;
  if (string->capacity >= needed) {
    char* text = MutableText(string);
    std::memmove(text + length, source, count);
    text[needed] = '\0';
    string->length = needed;
    return true;
  }
  const uint64_t capacity = GrownStringCapacity(string->capacity, needed);
  auto* block = static_cast<char*>(Allocate(string->allocator, capacity + 1));
  if (block == nullptr) return false;
  // The old block stays until both copies are made: source may lie in it.
  std::memcpy(block, HostStringText(string), length);
  std::memcpy(block + length, source, count);
  block[needed] = '\0';
  if (!IsInline(string)) Release(string->allocator, string->heapText);
  string->heapText = block;
  string->capacity = capacity;
  string->length = needed;
  return true;
}

void HostStringClear(HOST_STRING* string) {
  string->length = 0;
  MutableText(string)[0] = '\0';
}

void HostStringFree(HOST_STRING* string) {
  if (!IsInline(string)) Release(string->allocator, string->heapText);
  HostStringInit(string, string->allocator);
}

bool HostArrayPushBack(HOST_ARRAY* array, const void* element, uint64_t element_size) {
  const uint64_t count = array->count;
  if (count < array->capacity) {
    std::memcpy(static_cast<char*>(array->elements) + count * element_size, element, element_size);
    array->count = count + 1;
    return true;
  }
  const uint64_t max_count = HostArrayMaxCount(element_size);
  if (count >= max_count) return false;
  const uint64_t capacity =
      std::min(std::max(array->capacity + array->capacity / 2, count + 1), max_count);
  auto* block = static_cast<char*>(Allocate(array->allocator, capacity * element_size));
  if (block == nullptr) return false;
  std::memcpy(block + count * element_size, element, element_size);
  if (count != 0) std::memcpy(block, array->elements, count * element_size);
  // The old block goes back even when it is null: the host's Free accepts it.
  if (array->allocator->Free != nullptr) array->allocator->Free(array->elements);
  array->elements = block;
  array->capacity = capacity;
  array->count = count + 1;
  return true;
}
