#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "platform/store/profile_name.h"
#include "platform/store/profile_name_index.h"
#include "platform/store/profile_storage.h"

// Owned items kept in insertion order, in pointer storage from an
// ApiAllocator, with first-match lookup by name. T provides Name() and
// NameCrc(). Short lists are scanned; longer ones keep a CRC index up to date
// on every change, so that loading and reading a catalogue of thousands of
// sections stays linear.
template <typename T>
class ProfileList {
 public:
  static constexpr size_t kNotFound = ProfileNameIndex::kNotFound;
  // Appending to a list of this many items is refused.
  static constexpr size_t kMaxCount = (size_t{1} << 60) - 1;

  explicit ProfileList(const ApiAllocator* allocator) : allocator_(allocator) {}
  ~ProfileList() { Clear(); }
  ProfileList(const ProfileList&) = delete;
  ProfileList& operator=(const ProfileList&) = delete;

  [[nodiscard]] size_t Count() const { return count_; }
  [[nodiscard]] T* At(size_t i) const { return i < count_ ? items_[i] : nullptr; }

  [[nodiscard]] size_t Find(std::string_view name, uint32_t crc) const {
    const auto matches = [&](size_t i) {
      return ProfileNameEquals(items_[i]->Name(), items_[i]->NameCrc(), name, crc);
    };
    if (index_.Size() == count_ && count_ > kScanLimit) return index_.Find(crc, matches);
    for (size_t i = 0; i < count_; ++i) {
      if (matches(i)) return i;
    }
    return kNotFound;
  }

  // Takes the item; a refused append (full, or no memory) frees it and leaves
  // the list as it was.
  [[nodiscard]] bool Append(std::unique_ptr<T> item) {
    if (count_ == capacity_ && !Grow()) return false;
    items_[count_++] = item.release();
    UpdateIndex();
    return true;
  }

  // Frees the item at i and closes the gap.
  void RemoveAt(size_t i) {
    if (i >= count_) return;
    delete items_[i];
    std::memmove(items_ + i, items_ + i + 1, (count_ - i - 1) * sizeof(T*));
    --count_;
    index_.Reset();
    UpdateIndex();
  }

  // Frees every item and hands the storage back.
  void Clear() {
    for (size_t i = 0; i < count_; ++i) delete items_[i];
    ProfileStorageFree(allocator_, items_);
    items_ = nullptr;
    count_ = 0;
    capacity_ = 0;
    index_.Reset();
  }

 private:
  // Up to this many items a plain scan of the CRCs is as quick as the index.
  static constexpr size_t kScanLimit = 32;

  [[nodiscard]] bool Grow() {
    if (count_ >= kMaxCount) return false;
    size_t wanted = capacity_ + capacity_ / 2;
    if (wanted < count_ + 1) wanted = count_ + 1;
    if (wanted > kMaxCount) wanted = kMaxCount;
    auto* fresh = static_cast<T**>(ProfileStorageAllocate(allocator_, wanted * sizeof(T*)));
    if (fresh == nullptr) return false;
    if (count_ != 0) std::memcpy(fresh, items_, count_ * sizeof(T*));
    ProfileStorageFree(allocator_, items_);
    items_ = fresh;
    capacity_ = wanted;
    return true;
  }

  // Brings the index level with the items; when memory runs short the list
  // falls back to scanning until a later change succeeds.
  void UpdateIndex() {
    if (count_ <= kScanLimit) return;
    for (size_t i = index_.Size(); i < count_; ++i) {
      if (i >= UINT32_MAX || !index_.Insert(items_[i]->NameCrc(), static_cast<uint32_t>(i))) {
        index_.Reset();
        return;
      }
    }
  }

  const ApiAllocator* allocator_;
  T** items_ = nullptr;
  size_t count_ = 0;
  size_t capacity_ = 0;
  ProfileNameIndex index_;
};
