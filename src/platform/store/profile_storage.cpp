#include "platform/store/profile_storage.h"

#include <new>

void* ProfileStorageAllocate(const ApiAllocator* /*allocator*/, size_t bytes) {
  return ::operator new(bytes, std::nothrow);
}

void ProfileStorageFree(const ApiAllocator* /*allocator*/, void* storage) {
  ::operator delete(storage);
}

const ApiAllocator* ProfileDefaultAllocator() { return nullptr; }
