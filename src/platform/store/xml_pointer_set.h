#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// A set of records looked up by a name they hold: open addressing over the
// record pointers themselves, at most three quarters full, so an entry costs
// 11 to 22 bytes beside the record. Traits give the record's name and how
// names hash and compare. Insert may throw std::bad_alloc.
template <typename T, typename Traits>
class XmlPointerSet {
 public:
  [[nodiscard]] bool Empty() const { return count_ == 0; }
  void Release() {
    std::vector<T*>().swap(slots_);
    count_ = 0;
  }

  // The record with that name, or null.
  [[nodiscard]] T* Find(std::string_view name) const {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t i = Traits::Hash(name) & mask;; i = (i + 1) & mask) {
      T* item = slots_[i];
      if (item == nullptr || Traits::Equal(Traits::Name(item), name)) return item;
    }
  }
  // Adds a record whose name is not in the set yet.
  void Insert(T* item) {
    if ((count_ + 1) * 4 > slots_.size() * 3) Grow();
    Place(item);
    ++count_;
  }

 private:
  static constexpr size_t kInitialSlots = 16;

  void Place(T* item) {
    const size_t mask = slots_.size() - 1;
    size_t i = Traits::Hash(Traits::Name(item)) & mask;
    while (slots_[i] != nullptr) i = (i + 1) & mask;
    slots_[i] = item;
  }
  void Grow() {
    std::vector<T*> old(std::max(kInitialSlots, slots_.size() * 2), nullptr);
    old.swap(slots_);
    for (T* item : old) {
      if (item != nullptr) Place(item);
    }
  }

  std::vector<T*> slots_;
  size_t count_ = 0;
};

// FNV-1a over the name's bytes, each passed through fold first.
template <typename Fold>
size_t XmlNameHash(std::string_view name, Fold fold) {
  uint64_t h = 14695981039346656037ull;
  for (char c : name) h = (h ^ static_cast<uint8_t>(fold(c))) * 1099511628211ull;
  return static_cast<size_t>(h);
}
