#pragma once

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <span>
#include <type_traits>
#include <utility>

// Element types whose copy can run out of memory provide
// `int CopyFrom(const T&)` (1 success, 0 failure); the array uses it instead
// of the copy constructor, so a failed deep copy is reported, not hidden.
template <class T>
concept NoThrowCopyable = requires(T& to, const T& from) {
  { to.CopyFrom(from) } -> std::convertible_to<int>;
};

namespace carray_detail {

// The automatic growth step: small arrays grow by 4, larger ones by an eighth
// of their size, capped so that huge arrays do not over-allocate.
constexpr int64_t kSmallArraySize = 32;
constexpr int64_t kSmallArrayStep = 4;
constexpr int64_t kMaxAutoStep = 1024;

template <class T>
[[nodiscard]] int CopyElement(T& to, const T& from) {
  if constexpr (NoThrowCopyable<T>) {
    return to.CopyFrom(from) ? 1 : 0;
  } else {
    to = from;
    return 1;
  }
}

}  // namespace carray_detail

// Growable array that never throws: every operation that can fail (out of
// memory, negative size, bad range) returns 0 and leaves the array unchanged.
template <class TYPE, class ARG_TYPE = const TYPE&>
class CArrayNoThrow {
 public:
  CArrayNoThrow() = default;
  CArrayNoThrow(const CArrayNoThrow&) = delete;
  CArrayNoThrow& operator=(const CArrayNoThrow&) = delete;
  CArrayNoThrow(CArrayNoThrow&& other) noexcept { Swap(other); }
  CArrayNoThrow& operator=(CArrayNoThrow&& other) noexcept {
    if (this != &other) {
      RemoveAll();
      Swap(other);
    }
    return *this;
  }
  virtual ~CArrayNoThrow() { RemoveAll(); }

  int64_t GetSize() const { return size_; }
  int64_t GetCount() const { return size_; }
  int64_t GetCapacity() const { return capacity_; }
  int64_t GetGrowBy() const { return grow_by_; }
  bool IsEmpty() const { return size_ == 0; }

  TYPE* GetData() { return data_; }
  const TYPE* GetData() const { return data_; }
  // Element access; the index must be below the size (the caller tests it).
  TYPE& operator[](int64_t i) { return data_[i]; }
  const TYPE& operator[](int64_t i) const { return data_[i]; }
  const TYPE& GetAt(int64_t i) const { return data_[i]; }

  std::span<TYPE> AsSpan() { return {data_, static_cast<size_t>(size_)}; }
  std::span<const TYPE> AsSpan() const { return {data_, static_cast<size_t>(size_)}; }
  TYPE* begin() { return data_; }
  TYPE* end() { return data_ + size_; }
  const TYPE* begin() const { return data_; }
  const TYPE* end() const { return data_ + size_; }

  // Resizes to n elements; growBy -1 keeps the stored step, any other value
  // replaces it first. New elements are zeroed (class elements default-built).
  [[nodiscard]] int SetSize(int64_t n, int64_t grow_by = -1) {
    if (grow_by != -1) grow_by_ = grow_by;
    if (n < 0) return 0;
    if (n == 0) {
      RemoveAll();
      return 1;
    }
    if (data_ == nullptr) {
      const int64_t capacity = std::max(n, grow_by_);
      if (!Reallocate(capacity)) return 0;
    } else if (n > capacity_) {
      const int64_t step = grow_by_ != 0 ? grow_by_ : AutoStep();
      int64_t capacity = 0;
      if (__builtin_add_overflow(capacity_, step, &capacity)) return 0;
      capacity = std::max(capacity, n);
      if (capacity < capacity_) return 0;
      if (!Reallocate(capacity)) return 0;
    }
    if (n > size_) {
      ConstructRange(size_, n);
    } else {
      DestroyRange(n, size_);
    }
    size_ = n;
    return 1;
  }

  // Appends a copy of the element (which may live in this array).
  [[nodiscard]] int Add(ARG_TYPE element) {
    const bool inside = Holds(std::addressof(element));
    const int64_t index = inside ? std::addressof(element) - data_ : -1;
    if constexpr (!NoThrowCopyable<TYPE>) {
      if (size_ < capacity_) {
        ::new (static_cast<void*>(data_ + size_)) TYPE(element);
        ++size_;
        return 1;
      }
    }
    const int64_t old_size = size_;
    if (!SetSize(size_ + 1)) return 0;
    const TYPE& source = inside ? data_[index] : element;
    if (!carray_detail::CopyElement(data_[old_size], source)) {
      DestroyRange(old_size, size_);
      size_ = old_size;
      return 0;
    }
    return 1;
  }

  // Stores a copy at index, growing the array (new entries empty) when needed.
  [[nodiscard]] int SetAtGrow(int64_t index, ARG_TYPE element) {
    if (index < 0) return 0;
    if (index >= size_) {
      if (Holds(std::addressof(element))) {
        TYPE copy;
        if (!carray_detail::CopyElement(copy, element)) return 0;
        if (!SetSize(index + 1)) return 0;
        data_[index] = std::move(copy);
        return 1;
      }
      if (!SetSize(index + 1)) return 0;
    }
    return carray_detail::CopyElement(data_[index], element);
  }

  // Removes count elements from index on; a bad range does nothing.
  void RemoveAt(int64_t index, int64_t count = 1) {
    if (index < 0 || count <= 0 || index > size_ || count > size_ - index) return;
    std::move(data_ + index + count, data_ + size_, data_ + index);
    DestroyRange(size_ - count, size_);
    size_ -= count;
  }

  // Destroys every element and frees the storage.
  void RemoveAll() {
    DestroyRange(0, size_);
    ::operator delete(static_cast<void*>(data_));
    data_ = nullptr;
    size_ = 0;
    capacity_ = 0;
  }

  // Replaces the content with copies of another array's elements.
  [[nodiscard]] int Copy(const CArrayNoThrow& source) {
    if (this == &source) return 1;
    CArrayNoThrow copy;
    copy.grow_by_ = grow_by_;
    if (!copy.Append(source)) return 0;
    RemoveAll();
    Swap(copy);
    return 1;
  }

  // Appends copies of another array's elements; on failure nothing is appended.
  [[nodiscard]] int Append(const CArrayNoThrow& source) {
    if (source.size_ == 0) return 1;
    if (this == &source) {
      CArrayNoThrow copy;
      return copy.Append(source) && Append(copy);
    }
    const int64_t old_size = size_;
    if (!SetSize(size_ + source.size_)) return 0;
    for (int64_t i = 0; i < source.size_; ++i) {
      if (!carray_detail::CopyElement(data_[old_size + i], source.data_[i])) {
        DestroyRange(old_size, size_);
        size_ = old_size;
        return 0;
      }
    }
    return 1;
  }

  // Byte arrays: copies count bytes from sourceIndex into destination at
  // destinationIndex, growing the destination when the copy runs past its end.
  [[nodiscard]] int CopyTo(int64_t source_index, CArrayNoThrow& destination,
                           int64_t destination_index,
                           int64_t count) const requires std::is_trivially_copyable_v<TYPE> {
    if (count == 0) return 1;
    if (source_index < 0 || count < 0 || destination_index < 0) return 0;
    if (source_index > size_ || count > size_ - source_index) return 0;
    if (destination_index >= destination.size_) return 0;
    if (count > destination.size_ - destination_index &&
        !destination.SetSize(destination_index + count)) {
      return 0;
    }
    std::memmove(destination.data_ + destination_index, data_ + source_index,
                 static_cast<size_t>(count) * sizeof(TYPE));
    return 1;
  }

  // Byte arrays: grows by count elements and moves the content up, leaving the
  // first count elements for the caller to overwrite (a header in front).
  [[nodiscard]] int MakeRoomAtFront(int64_t count) requires std::is_trivially_copyable_v<TYPE> {
    if (count <= 0) return 0;
    const int64_t old_size = size_;
    int64_t new_size = 0;
    if (__builtin_add_overflow(size_, count, &new_size)) return 0;
    if (!SetSize(new_size)) return 0;
    std::memmove(data_ + count, data_, static_cast<size_t>(old_size) * sizeof(TYPE));
    return 1;
  }

 private:
  // Nothing the verification code holds comes near 4 GiB (DER lengths stop at
  // 2 GiB); larger requests are refused here instead of asking the heap.
  static constexpr int64_t kMaxBytes = int64_t{1} << 32;
  static constexpr int64_t kMaxElements = kMaxBytes / static_cast<int64_t>(sizeof(TYPE));

  bool Holds(const TYPE* address) const {
    return !std::less<const TYPE*>()(address, data_) &&
           std::less<const TYPE*>()(address, data_ + size_);
  }

  int64_t AutoStep() const {
    if (size_ < carray_detail::kSmallArraySize) return carray_detail::kSmallArrayStep;
    return std::min(size_ / 8, carray_detail::kMaxAutoStep);
  }

  [[nodiscard]] bool Reallocate(int64_t capacity) {
    if (capacity <= 0 || capacity > kMaxElements) return false;
    void* raw = ::operator new(static_cast<size_t>(capacity) * sizeof(TYPE), std::nothrow);
    if (raw == nullptr) return false;
    TYPE* fresh = static_cast<TYPE*>(raw);
    if constexpr (std::is_trivially_copyable_v<TYPE>) {
      if (size_ > 0) std::memcpy(fresh, data_, static_cast<size_t>(size_) * sizeof(TYPE));
    } else {
      for (int64_t i = 0; i < size_; ++i) {
        ::new (static_cast<void*>(fresh + i)) TYPE(std::move(data_[i]));
        data_[i].~TYPE();
      }
    }
    ::operator delete(static_cast<void*>(data_));
    data_ = fresh;
    capacity_ = capacity;
    return true;
  }

  void ConstructRange(int64_t from, int64_t to) {
    for (int64_t i = from; i < to; ++i) ::new (static_cast<void*>(data_ + i)) TYPE();
  }

  void DestroyRange(int64_t from, int64_t to) {
    if constexpr (!std::is_trivially_destructible_v<TYPE>) {
      for (int64_t i = from; i < to; ++i) data_[i].~TYPE();
    }
  }

  void Swap(CArrayNoThrow& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(grow_by_, other.grow_by_);
  }

  TYPE* data_ = nullptr;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
  int64_t grow_by_ = 0;
};
