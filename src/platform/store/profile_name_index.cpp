#include "platform/store/profile_name_index.h"

#include <cstring>
#include <new>

namespace {

// Small first tables; the slot table doubles whenever it would pass half full,
// which keeps probe runs short, and the chain table doubles when full.
constexpr size_t kInitialSlots = 64;
constexpr size_t kInitialChain = 64;

}  // namespace

void ProfileNameIndex::Reset() {
  slots_.reset();
  mask_ = 0;
  used_slots_ = 0;
  next_.reset();
  next_capacity_ = 0;
  size_ = 0;
}

const ProfileNameIndex::Slot* ProfileNameIndex::Lookup(uint32_t crc) const {
  if (!slots_) return nullptr;
  for (size_t i = crc & mask_; slots_[i].first != kEndOfChain; i = (i + 1) & mask_) {
    if (slots_[i].crc == crc) return &slots_[i];
  }
  return nullptr;
}

// The slot of crc, or the empty slot where it belongs.
ProfileNameIndex::Slot* ProfileNameIndex::Probe(uint32_t crc) {
  size_t i = crc & mask_;
  while (slots_[i].first != kEndOfChain && slots_[i].crc != crc) i = (i + 1) & mask_;
  return &slots_[i];
}

bool ProfileNameIndex::Insert(uint32_t crc, uint32_t position) {
  if (position == kEndOfChain || position != size_) return false;
  if (size_ == next_capacity_ && !GrowChain()) return false;
  if (!slots_ || (used_slots_ + 1) * 2 > mask_ + 1) {
    if (!GrowSlots()) return false;
  }
  Slot* slot = Probe(crc);
  if (slot->first == kEndOfChain) {
    *slot = {crc, position, position};
    ++used_slots_;
  } else {
    next_[slot->last] = position;
    slot->last = position;
  }
  next_[position] = kEndOfChain;
  ++size_;
  return true;
}

bool ProfileNameIndex::GrowSlots() {
  const size_t old_slots = slots_ ? mask_ + 1 : 0;
  const size_t new_slots = old_slots ? old_slots * 2 : kInitialSlots;
  std::unique_ptr<Slot[]> fresh(new (std::nothrow) Slot[new_slots]);
  if (!fresh) return false;
  for (size_t i = 0; i < new_slots; ++i) fresh[i] = {0, kEndOfChain, kEndOfChain};
  std::unique_ptr<Slot[]> old = std::move(slots_);
  slots_ = std::move(fresh);
  mask_ = new_slots - 1;
  for (size_t i = 0; i < old_slots; ++i) {
    if (old[i].first != kEndOfChain) *Probe(old[i].crc) = old[i];
  }
  return true;
}

bool ProfileNameIndex::GrowChain() {
  const size_t capacity = next_capacity_ ? next_capacity_ * 2 : kInitialChain;
  std::unique_ptr<uint32_t[]> fresh(new (std::nothrow) uint32_t[capacity]);
  if (!fresh) return false;
  if (size_ != 0) std::memcpy(fresh.get(), next_.get(), size_ * sizeof(uint32_t));
  next_ = std::move(fresh);
  next_capacity_ = capacity;
  return true;
}
