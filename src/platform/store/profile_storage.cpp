#include "platform/store/profile_storage.h"

#include "platform/util/result_allocator.h"

void* ProfileStorageAllocate(const ApiAllocator* allocator, size_t bytes) {
  return allocator->Allocate(bytes);
}

void ProfileStorageFree(const ApiAllocator* allocator, void* storage) {
  if (storage != nullptr) allocator->Free(storage);
}

const ApiAllocator* ProfileDefaultAllocator() { return &DefaultResultAllocator; }
