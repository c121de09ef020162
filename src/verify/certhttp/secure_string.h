#pragma once

#include <cstddef>
#include <cstdint>

// Zero-fills count bytes one at a time, in a way the compiler cannot drop;
// for short-lived records that point at plain secrets.
void WipeBytes(void* pointer, size_t count);

// A text held plain or scrambled (ScrambleBytes over the whole length, NUL
// included). Every byte of storage outside the text is zero, and storage is
// zero-filled before it is reused or freed.
class SecureString {
 public:
  enum Kind : uint32_t { kEmpty = 0, kPlain = 1, kScrambled = 2 };
  enum Width : uint32_t { kNarrow = 1, kWide = 2 };

  SecureString() = default;
  ~SecureString() { Free(); }
  SecureString(const SecureString&) = delete;
  SecureString& operator=(const SecureString&) = delete;

  // All fields zero (storage is not released: use Free first).
  void Init();
  // Wipes and frees the storage and leaves the object empty.
  void Free();

  // Stores length narrow characters of text as kind (1 plain, 2 scrambled).
  [[nodiscard]] bool Assign(uint64_t length, const char* text, uint32_t kind);
  // The same for count units of unit_size (1 or 4) bytes.
  [[nodiscard]] bool AssignBuffer(const void* text, uint64_t count, uint64_t unit_size,
                                  uint32_t kind);
  [[nodiscard]] bool IsSet() const;

  // A plain, NUL-terminated copy of a set source; the target's owner frees it
  // with Free as soon as it has been used.
  [[nodiscard]] static bool CopyPlain(const SecureString& source, SecureString& target);

  uint32_t kind() const { return kind_; }
  uint32_t width() const { return width_; }
  uint64_t capacity() const { return capacity_; }
  // Bytes in use, the terminating NUL unit included.
  uint64_t length() const { return length_; }
  const uint8_t* storage() const { return storage_; }
  // The storage as text (meaningful for plain narrow strings).
  const char* text() const { return reinterpret_cast<const char*>(storage_); }

 private:
  // Zero-fills and keeps storage of at least needed bytes, or replaces it.
  [[nodiscard]] bool Prepare(uint64_t needed);

  uint32_t kind_ = kEmpty;
  uint32_t width_ = 0;
  uint64_t capacity_ = 0;
  uint64_t length_ = 0;
  uint8_t* storage_ = nullptr;  // owned; released only through Free
};
