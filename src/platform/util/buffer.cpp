#include "platform/util/buffer.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Storage grows in whole pages so that a run of small appends reallocates rarely.
constexpr uint64_t kGrowthStep = 4096;

uint64_t GrownCapacity(uint64_t capacity, uint64_t need) {
  uint64_t grown = capacity + capacity / 2;
  if (grown < capacity || grown < need) grown = need;
  if (grown > std::numeric_limits<uint64_t>::max() - (kGrowthStep - 1)) return need;
  return (grown + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
}

}  // namespace

CBuffer::~CBuffer() {
  // The destructor cannot reach a derived heap any more; a class that supplies
  // its own heap releases its storage in its own destructor.
  std::free(base_);
}

void* CBuffer::Realloc(void* pointer, size_t size) { return std::realloc(pointer, size); }

void* CBuffer::Alloc(size_t size) { return std::malloc(size); }

void CBuffer::Free(void* pointer) { std::free(pointer); }

void CBuffer::Compact() {
  if (data_ == base_) return;
  if (length_ != 0) std::memmove(base_, data_, length_);
  data_ = base_;
}

bool CBuffer::Grow(uint64_t n) {
  Compact();
  if (n > std::numeric_limits<uint64_t>::max() - length_) return false;
  uint64_t need = length_ + n;
  if (need <= capacity_) return true;
  uint64_t capacity = GrownCapacity(capacity_, need);
  if (capacity > std::numeric_limits<size_t>::max()) return false;
  void* storage = Realloc(base_, static_cast<size_t>(capacity));
  if (storage == nullptr) return false;
  base_ = static_cast<uint8_t*>(storage);
  data_ = base_;
  capacity_ = capacity;
  return true;
}

uint64_t CBuffer::Append(const void* data, uint64_t n) {
  if (n == 0) return length_;
  if (data == nullptr || !Grow(n)) return kFailed;
  uint64_t before = length_;
  std::memcpy(data_ + length_, data, n);
  length_ += n;
  return before;
}

uint64_t CBuffer::AppendString(const char* text) {
  if (text == nullptr) return kFailed;
  uint64_t size = std::strlen(text) + 1;
  bool joins = length_ != 0 && data_[length_ - 1] == 0;
  uint64_t growth = joins ? size - 1 : size;
  if (!Grow(growth)) return kFailed;
  uint64_t offset = joins ? length_ - 1 : length_;
  std::memcpy(data_ + offset, text, size);
  length_ = offset + size;
  return offset;
}

uint8_t* CBuffer::Reserve(uint64_t n) {
  if (n == 0) return data_;
  if (!Grow(n)) return nullptr;
  return data_ + length_;
}

int CBuffer::Commit(uint64_t n) {
  if (n > Room()) return 0;
  length_ += n;
  return 1;
}

int CBuffer::Erase(uint64_t offset, uint64_t n) {
  if (offset > length_ || n > length_ - offset) return 0;
  if (n == 0) return 1;
  std::memmove(data_ + offset, data_ + offset + n, length_ - offset - n);
  length_ -= n;
  return 1;
}

int CBuffer::Consume(uint64_t n) {
  if (n > length_) return 0;
  data_ += n;
  length_ -= n;
  return 1;
}

uint8_t* CBuffer::Detach(uint64_t* length) {
  Compact();
  uint8_t* storage = base_;
  uint64_t held = length_;
  if (held == 0 && storage != nullptr) {
    Free(storage);
    storage = nullptr;
  } else if (held < capacity_) {
    // A failed shrink still hands out the data in its larger block; returning
    // null there would lose the bytes and leak the storage.
    void* shrunk = Realloc(storage, static_cast<size_t>(held));
    if (shrunk != nullptr) storage = static_cast<uint8_t*>(shrunk);
  }
  if (length != nullptr) *length = held;
  base_ = data_ = nullptr;
  capacity_ = length_ = 0;
  return storage;
}

CBuffer& CBuffer::MoveFrom(CBuffer& other) {
  if (&other == this) return *this;
  Free(base_);
  base_ = other.base_;
  data_ = other.data_;
  capacity_ = other.capacity_;
  length_ = other.length_;
  other.base_ = other.data_ = nullptr;
  other.capacity_ = other.length_ = 0;
  return *this;
}
