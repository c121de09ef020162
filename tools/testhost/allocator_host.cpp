#include "testhost/allocator_host.h"

#include <cstdlib>

namespace upd::testhost {
namespace {

thread_local AllocatorHost* t_current = nullptr;

}  // namespace

AllocatorHost::AllocatorHost(uint64_t host_word)
    : allocator_{host_word, &AllocatorHost::Allocate, &AllocatorHost::Free}, previous_(t_current) {
  t_current = this;
}

AllocatorHost::~AllocatorHost() {
  for (void* block : live_) std::free(block);
  t_current = previous_;
}

void* UPD_MSABI AllocatorHost::Allocate(uint64_t byte_count) {
  AllocatorHost* host = t_current;
  if (host == nullptr) return nullptr;
  host->requests_.push_back(byte_count);
  if (host->remaining_ == 0 || host->requests_.size() == host->failing_call_) return nullptr;
  --host->remaining_;
  void* block = std::malloc(byte_count == 0 ? 1 : static_cast<size_t>(byte_count));
  if (block == nullptr) return nullptr;
  ++host->allocations_;
  host->live_.insert(block);
  return block;
}

void UPD_MSABI AllocatorHost::Free(void* block) {
  AllocatorHost* host = t_current;
  if (host == nullptr) return;
  if (block == nullptr) {
    ++host->null_frees_;
    return;
  }
  ++host->frees_;
  if (host->live_.erase(block) == 0) {
    // Not ours: keep it, count it, and let the test fail on the count.
    ++host->foreign_frees_;
    return;
  }
  std::free(block);
}

}  // namespace upd::testhost
