#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "verify/common/carray.h"
#include "verify/common/refcount.h"

using ByteStorage = CArrayNoThrow<unsigned char, const unsigned char&>;

// A view (offset, length) of a shared, reference-counted byte array. Slices
// and copies share the bytes; writes through one view are seen by all. Every
// accessor clamps the view to the bytes the shared array holds now, so a view
// never reaches past storage that another view has shrunk.
class ByteArray {
 public:
  ByteArray() = default;
  ByteArray(const ByteArray& other) = default;
  // View of `length` bytes at `offset` into the source view; the caller
  // guarantees offset + length <= source length.
  ByteArray(const ByteArray& source, int64_t offset, int64_t length);
  ByteArray(ByteArray&& other) noexcept;
  virtual ~ByteArray() = default;

  ByteArray& operator=(const ByteArray& other);
  ByteArray& operator=(ByteArray&& other) noexcept;

  // Makes this a view of `length` bytes at `offset` within the source view;
  // 0 (this unchanged) when the source has no storage or the range is bad.
  [[nodiscard]] int Slice(const ByteArray& source, int64_t offset, int64_t length);

  int64_t GetLength() const;
  int64_t GetSize() const { return GetLength(); }
  bool IsEmpty() const { return GetLength() == 0; }
  int64_t GetOffset() const { return offset_; }

  // First byte of the view; null when there is no storage.
  unsigned char* GetData() const;
  uintptr_t GetBuffer() const { return reinterpret_cast<uintptr_t>(GetData()); }
  // Byte i of the view or its address; i must be below the length.
  unsigned char GetAt(int64_t i) const { return GetData()[i]; }
  std::span<const uint8_t> AsSpan() const;
  ByteStorage* GetArray() const { return storage_.Get(); }

  [[nodiscard]] int Equals(const ByteArray& other) const;
  [[nodiscard]] int Equals(int64_t length, const void* bytes) const;
  // -2 when either is null; else the length difference, or memcmp's order.
  [[nodiscard]] static int64_t Compare(const ByteArray* a, const ByteArray* b);

  // Copies the bytes and a NUL into buffer; returns the length, 0 when the
  // buffer is null or too small.
  [[nodiscard]] int64_t CopyToString(char* buffer, int64_t size) const;

  // The writing operations resize the shared array in place (other views see it).
  [[nodiscard]] int Assign(int64_t length, const void* bytes, int64_t grow_by = -1);
  [[nodiscard]] int SetSize(int64_t n, int64_t grow_by = -1);
  // Appends after the view; the view must start at offset 0.
  [[nodiscard]] int Append(int64_t length, const void* bytes, int64_t grow_by = -1);
  [[nodiscard]] int CopyTo(int64_t source_offset, ByteArray& destination, int64_t destination_index,
                           int64_t count) const;
  void Reverse();

  // Takes ownership of a whole array; 0 for a null array or when the control
  // block cannot be allocated (the view is then empty and the array freed).
  [[nodiscard]] int Attach(std::unique_ptr<ByteStorage> array);

  // These build new private storage; on failure the old view is kept.
  [[nodiscard]] int AssignTail(const ByteArray& source, int64_t start);
  [[nodiscard]] int AssignArray(const ByteStorage& array);
  [[nodiscard]] int AssignCopy(const ByteArray& source);
  // Private copy of just this view's bytes (an empty view gives an empty array).
  [[nodiscard]] int AssignBytes(std::span<const uint8_t> bytes);

  void Clear();

 private:
  // Creates storage when there is none.
  [[nodiscard]] bool EnsureStorage();
  // Fresh storage holding a copy of `bytes`.
  [[nodiscard]] static CountedPtr<ByteStorage> NewStorage(std::span<const uint8_t> bytes);

  CountedPtr<ByteStorage> storage_;
  int64_t offset_ = 0;
  int64_t length_ = 0;
};
