#pragma once

#include <cstddef>

struct ApiAllocator;

// Pointer storage of the INI arrays comes from an ApiAllocator (the built-in
// DefaultResultAllocator unless a test hands in another); null on failure.
[[nodiscard]] void* ProfileStorageAllocate(const ApiAllocator* allocator, size_t bytes);
// Accepts null.
void ProfileStorageFree(const ApiAllocator* allocator, void* storage);
// The allocator every CProfileFile and CProfileSection starts with.
[[nodiscard]] const ApiAllocator* ProfileDefaultAllocator();
