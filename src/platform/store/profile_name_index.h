#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Hash index from a name CRC to the positions of the entries that carry it.
// Each distinct CRC has one slot that heads a chain of its positions in
// increasing order, so that many entries of one name (a catalogue may repeat a
// section any number of times) cost one step each to add and the first match
// is found without walking the others. It only narrows a search: callers still
// compare the names.
class ProfileNameIndex {
 public:
  static constexpr size_t kNotFound = SIZE_MAX;

  // Forgets every entry and frees the tables.
  void Reset();
  // Records the entry at position, which must be Size() (entries are added in
  // order); false (index unchanged) otherwise or when a table cannot grow.
  [[nodiscard]] bool Insert(uint32_t crc, uint32_t position);
  [[nodiscard]] size_t Size() const { return size_; }

  // The lowest position with this CRC for which match(position) holds.
  template <typename Match>
  [[nodiscard]] size_t Find(uint32_t crc, const Match& match) const {
    const Slot* slot = Lookup(crc);
    if (slot == nullptr) return kNotFound;
    for (uint32_t at = slot->first; at != kEndOfChain; at = next_[at]) {
      if (match(at)) return at;
    }
    return kNotFound;
  }

 private:
  static constexpr uint32_t kEndOfChain = UINT32_MAX;

  struct Slot {
    uint32_t crc;
    uint32_t first;  // kEndOfChain marks an empty slot
    uint32_t last;
  };

  [[nodiscard]] const Slot* Lookup(uint32_t crc) const;
  [[nodiscard]] Slot* Probe(uint32_t crc);
  [[nodiscard]] bool GrowSlots();
  [[nodiscard]] bool GrowChain();

  std::unique_ptr<Slot[]> slots_;
  size_t mask_ = 0;
  size_t used_slots_ = 0;
  // next_[p]: the next position with the CRC of position p, or kEndOfChain.
  std::unique_ptr<uint32_t[]> next_;
  size_t next_capacity_ = 0;
  size_t size_ = 0;
};
