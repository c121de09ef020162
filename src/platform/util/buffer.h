#pragma once

#include <cstddef>
#include <cstdint>

// Growable byte buffer of the HTTP code, the transports and the update engine.
// The storage comes from the three heap slots below, so a derived class can put
// the bytes on a heap of its own; every growth goes through Realloc and every
// release through Free.
class CBuffer {
 public:
  // Result of the appends on failure.
  static constexpr uint64_t kFailed = ~uint64_t{0};

  CBuffer() = default;
  virtual ~CBuffer();
  CBuffer(const CBuffer&) = delete;
  CBuffer& operator=(const CBuffer&) = delete;

  virtual void* Realloc(void* pointer, size_t size);
  virtual void* Alloc(size_t size);
  virtual void Free(void* pointer);

  // Appends n bytes; returns the length before the append, or kFailed with
  // nothing changed.
  uint64_t Append(const void* data, uint64_t n);
  // Appends the text with its NUL, overwriting a NUL that ends the data, so the
  // buffer holds one terminated string; returns the offset written, or kFailed.
  uint64_t AppendString(const char* text);
  // Room for n more bytes; returns the write position or null.
  [[nodiscard]] uint8_t* Reserve(uint64_t n);
  // Takes n bytes written at the reserved position into the data; 0 when that
  // would pass the capacity.
  [[nodiscard]] int Commit(uint64_t n);
  // Removes n bytes at offset; 0 when the range is not within the data.
  [[nodiscard]] int Erase(uint64_t offset, uint64_t n);
  // Drops n bytes from the front by moving the data start; 0 when n passes
  // the length. The bytes move down only when more room is needed.
  [[nodiscard]] int Consume(uint64_t n);
  void Clear() { length_ = 0; }
  // Hands the storage (allocated by this object's heap) to the caller and
  // leaves the buffer empty; null for an empty buffer.
  [[nodiscard]] uint8_t* Detach(uint64_t* length);
  CBuffer& MoveFrom(CBuffer& other);

  uint8_t* Data() const { return data_; }
  uint64_t Length() const { return length_; }
  uint64_t Capacity() const { return capacity_; }
  // Bytes of storage still free behind the data.
  uint64_t Room() const { return capacity_ - static_cast<uint64_t>(data_ - base_) - length_; }

 private:
  void Compact();
  [[nodiscard]] bool Grow(uint64_t n);

  uint8_t* base_ = nullptr;
  uint8_t* data_ = nullptr;
  uint64_t capacity_ = 0;
  uint64_t length_ = 0;
};
