#include "verify/asn1/oid.h"

#include <cstring>
#include <new>

Oid::Oid(Oid&& other) noexcept : text_(std::move(other.text_)), capacity_(other.capacity_) {
  other.capacity_ = 0;
}

Oid& Oid::operator=(Oid&& other) noexcept {
  if (this == &other) return *this;
  text_ = std::move(other.text_);
  capacity_ = other.capacity_;
  other.capacity_ = 0;
  return *this;
}

int Oid::Reserve(uint64_t n) {
  if (capacity_ >= n) return 1;
  text_.reset();
  capacity_ = 0;
  text_.reset(new (std::nothrow) char[n]);
  if (text_ == nullptr) return 0;
  text_[0] = '\0';
  capacity_ = n;
  return 1;
}

int Oid::Assign(const char* text) {
  if (text == nullptr) return 0;
  const size_t length = std::strlen(text);
  if (text == text_.get()) return 1;
  if (!Reserve(length + 1)) return 0;
  std::memcpy(text_.get(), text, length + 1);
  return 1;
}

int Oid::CopyFrom(const Oid& other) {
  if (this == &other) return 1;
  if (other.IsEmpty()) {
    text_.reset();
    capacity_ = 0;
    return 1;
  }
  std::unique_ptr<char[]> copy(new (std::nothrow) char[other.capacity_]);
  if (copy == nullptr) return 0;
  std::memcpy(copy.get(), other.text_.get(), other.capacity_);
  text_ = std::move(copy);
  capacity_ = other.capacity_;
  return 1;
}

int Oid::Equals(const char* text) const {
  if (text == nullptr || text_ == nullptr) return 0;
  return std::strcmp(text_.get(), text) == 0 ? 1 : 0;
}
