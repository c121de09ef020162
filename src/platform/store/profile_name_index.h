#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Open-addressing hash index from a name CRC to the positions of the entries
// that carry it. It only narrows a search: callers still compare the names,
// and the entry with the lowest matching position wins, as a scan from the
// start would find it.
class ProfileNameIndex {
 public:
  static constexpr size_t kNotFound = SIZE_MAX;

  // Forgets every entry and frees the table.
  void Reset();
  // Records an entry; false (index unchanged) when the table cannot grow.
  [[nodiscard]] bool Insert(uint32_t crc, uint32_t position);
  [[nodiscard]] size_t Size() const { return size_; }

  // The lowest position with this CRC for which match(position) holds.
  template <typename Match>
  [[nodiscard]] size_t Find(uint32_t crc, const Match& match) const {
    size_t best = kNotFound;
    if (size_ == 0) return best;
    for (size_t i = crc & mask_; slots_[i].position_plus_one != 0; i = (i + 1) & mask_) {
      const Slot& slot = slots_[i];
      const size_t position = slot.position_plus_one - 1;
      if (slot.crc == crc && position < best && match(position)) best = position;
    }
    return best;
  }

 private:
  struct Slot {
    uint32_t crc;
    uint32_t position_plus_one;  // 0 marks an empty slot
  };

  [[nodiscard]] bool Grow();
  void Place(Slot slot);

  std::unique_ptr<Slot[]> slots_;
  size_t mask_ = 0;
  size_t size_ = 0;
};
