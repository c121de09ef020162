#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <set>
#include <vector>

#include "updater.h"

namespace upd::testhost {

// A host allocator for result records: an ApiAllocator whose Microsoft x64
// entries count what they hand out, can be told to fail, and notice a free
// of a block they never made (a result freed through the wrong allocator).
// The entries receive no pointer of their own, so they reach the allocator
// host created last on the calling thread.
class AllocatorHost {
 public:
  explicit AllocatorHost(uint64_t host_word = 0xA110C);
  ~AllocatorHost();
  AllocatorHost(const AllocatorHost&) = delete;
  AllocatorHost& operator=(const AllocatorHost&) = delete;

  const ApiAllocator* allocator() const { return &allocator_; }

  // The next successful allocations allowed before Allocate answers null.
  void FailAfter(size_t successful) { remaining_ = successful; }
  // Only the k-th Allocate call (counting every call since construction,
  // from 1) answers null.
  void FailCall(size_t k) { failing_call_ = k; }

  size_t allocations() const { return allocations_; }
  // Byte counts of every Allocate call, failed ones included, in order.
  const std::vector<uint64_t>& requests() const { return requests_; }
  size_t frees() const { return frees_; }
  // Free calls with a null pointer (not counted in frees()).
  size_t null_frees() const { return null_frees_; }
  size_t live() const { return live_.size(); }
  size_t foreign_frees() const { return foreign_frees_; }
  bool Owns(const void* block) const { return live_.count(const_cast<void*>(block)) != 0; }

 private:
  static void* UPD_MSABI Allocate(uint64_t byte_count);
  static void UPD_MSABI Free(void* block);

  ApiAllocator allocator_;
  AllocatorHost* previous_;
  size_t remaining_ = std::numeric_limits<size_t>::max();
  size_t failing_call_ = 0;
  size_t allocations_ = 0;
  std::vector<uint64_t> requests_;
  size_t frees_ = 0;
  size_t null_frees_ = 0;
  size_t foreign_frees_ = 0;
  std::set<void*> live_;
};

}  // namespace upd::testhost
