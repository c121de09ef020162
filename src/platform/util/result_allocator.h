#pragma once

#include "updater.h"

// The built-in allocator of host-visible results: {host word 0, a non-throwing
// allocation of the byte count (null on failure), release of the pointer
// (null accepted)}, both entries in the Microsoft x64 convention. Results
// that the library creates itself carry &DefaultResultAllocator, so the host
// and the library always free a block through the allocator that made it.
extern const ApiAllocator DefaultResultAllocator;
