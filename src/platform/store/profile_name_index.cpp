#include "platform/store/profile_name_index.h"

#include <new>

namespace {

// Small first table; it doubles whenever it would pass half full, which keeps
// probe runs short.
constexpr size_t kInitialSlots = 64;

}  // namespace

void ProfileNameIndex::Reset() {
  slots_.reset();
  mask_ = 0;
  size_ = 0;
}

bool ProfileNameIndex::Insert(uint32_t crc, uint32_t position) {
  if (position == UINT32_MAX) return false;
  if ((size_ + 1) * 2 > mask_ + 1 || !slots_) {
    if (!Grow()) return false;
  }
  Place({crc, position + 1});
  ++size_;
  return true;
}

bool ProfileNameIndex::Grow() {
  const size_t old_slots = slots_ ? mask_ + 1 : 0;
  const size_t new_slots = old_slots ? old_slots * 2 : kInitialSlots;
  std::unique_ptr<Slot[]> fresh(new (std::nothrow) Slot[new_slots]());
  if (!fresh) return false;
  std::unique_ptr<Slot[]> old = std::move(slots_);
  slots_ = std::move(fresh);
  mask_ = new_slots - 1;
  for (size_t i = 0; i < old_slots; ++i) {
    if (old[i].position_plus_one != 0) Place(old[i]);
  }
  return true;
}

void ProfileNameIndex::Place(Slot slot) {
  size_t i = slot.crc & mask_;
  while (slots_[i].position_plus_one != 0) i = (i + 1) & mask_;
  slots_[i] = slot;
}
