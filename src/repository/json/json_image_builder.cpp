#include "repository/json/json_image_builder.h"

#include <algorithm>

namespace wexajson {
namespace {

// Room taken per growth: enough that the buffer's reserve is not called per
// node, small next to the buffer's own 1.5x growth.
constexpr uint64_t kGrowthChunk = 64 * 1024;

}  // namespace

bool ImageBuilder::Finish() {
  if (cursor_ == start_) return true;
  if (image_.Commit(static_cast<uint64_t>(cursor_ - start_)) == 0) return false;
  start_ = cursor_;
  return true;
}

bool ImageBuilder::Grow(size_t n) {
  if (!Finish()) return false;
  const uint64_t length = image_.Length();
  if (n > kMaxImageLength - length) return false;
  uint8_t* room = image_.Reserve(std::max<uint64_t>(n, kGrowthChunk));
  if (room == nullptr) room = image_.Reserve(n);
  if (room == nullptr) return false;
  start_ = cursor_ = room;
  limit_ = room + std::min<uint64_t>(image_.Room(), kMaxImageLength - length);
  return true;
}

}  // namespace wexajson
