#include "platform/util/result_allocator.h"

#include <cstddef>
#include <limits>
#include <new>

namespace {

void* UPD_MSABI DefaultAllocate(uint64_t byte_count) {
  if (byte_count > std::numeric_limits<size_t>::max()) return nullptr;
  return ::operator new(static_cast<size_t>(byte_count), std::nothrow);
}

void UPD_MSABI DefaultFree(void* pointer) { ::operator delete(pointer); }

}  // namespace

const ApiAllocator DefaultResultAllocator = {0, DefaultAllocate, DefaultFree};
