#pragma once

#include <cstdint>
#include <memory>

// An owned, NUL-terminated dotted OID text. Allocation failure is a result (0).
class Oid {
 public:
  Oid() = default;
  Oid(const Oid&) = delete;
  Oid& operator=(const Oid&) = delete;
  Oid(Oid&& other) noexcept;
  Oid& operator=(Oid&& other) noexcept;
  ~Oid() = default;

  // Makes room for n bytes; a growing reserve drops the old text.
  [[nodiscard]] int Reserve(uint64_t n);
  [[nodiscard]] int Assign(const char* text);
  // Copies the other's capacity and text; an empty source gives an empty Oid.
  [[nodiscard]] int CopyFrom(const Oid& other);
  [[nodiscard]] int Equals(const char* text) const;
  bool IsEmpty() const { return capacity_ == 0; }
  // The text, or null when none.
  const char* GetText() const { return text_.get(); }
  char* GetBuffer() { return text_.get(); }
  uint64_t GetCapacity() const { return capacity_; }

 private:
  std::unique_ptr<char[]> text_;
  uint64_t capacity_ = 0;
};
