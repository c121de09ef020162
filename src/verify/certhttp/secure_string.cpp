#include "verify/certhttp/secure_string.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/util/scrambler.h"

void WipeBytes(void* pointer, size_t count) {
  auto* bytes = static_cast<volatile uint8_t*>(pointer);
  for (size_t i = 0; i < count; ++i) bytes[i] = 0;
}

void SecureString::Init() {
  kind_ = kEmpty;
  width_ = 0;
  capacity_ = 0;
  length_ = 0;
  storage_ = nullptr;
}

void SecureString::Free() {
  if (storage_ != nullptr) {
    WipeBytes(storage_, static_cast<size_t>(capacity_));
    std::free(storage_);
  }
  // Emptied rather than left pointing at freed storage, so a second Free or
  // a later IsSet is harmless.
  Init();
}

bool SecureString::Prepare(uint64_t needed) {
  if (storage_ != nullptr && capacity_ >= needed) {
    WipeBytes(storage_, static_cast<size_t>(capacity_));
    kind_ = kEmpty;
    length_ = 0;
    return true;
  }
  Free();
  if (needed == 0 || needed > std::numeric_limits<size_t>::max()) return false;
  storage_ = static_cast<uint8_t*>(std::calloc(1, static_cast<size_t>(needed)));
  if (storage_ == nullptr) return false;
  capacity_ = needed;
  return true;
}

bool SecureString::Assign(uint64_t length, const char* text, uint32_t kind) {
  return AssignBuffer(text, length, 1, kind);
}

bool SecureString::AssignBuffer(const void* text, uint64_t count, uint64_t unit_size,
                                uint32_t kind) {
  if (kind == kEmpty || (unit_size != 1 && unit_size != 4)) return false;
  if (text == nullptr && count != 0) return false;
  if (count >= std::numeric_limits<uint64_t>::max() / unit_size - 1) {
    Free();
    return false;
  }
  const uint64_t needed = (count + 1) * unit_size;
  if (!Prepare(needed)) return false;
  if (count != 0) std::memcpy(storage_, text, static_cast<size_t>(count * unit_size));
  length_ = needed;
  width_ = unit_size == 1 ? kNarrow : kWide;
  if (kind == kScrambled) ScrambleBytes(storage_, 0, length_);
  if (kind != kPlain && kind != kScrambled) return false;
  kind_ = kind;
  return true;
}

bool SecureString::IsSet() const { return kind_ != kEmpty && length_ != 0 && storage_ != nullptr; }

bool SecureString::CopyPlain(const SecureString& source, SecureString& target) {
  if (!source.IsSet()) return false;
  bool copied = false;
  if (source.width_ == kNarrow) {
    copied = target.AssignBuffer(source.storage_, source.length_, 1, kPlain);
  } else if (source.width_ == kWide) {
    copied = target.AssignBuffer(source.storage_, source.length_ / 4, 4, kPlain);
  }
  if (!copied) return false;
  if (source.kind_ == kScrambled) ScrambleBytes(target.storage_, 0, target.length_);
  return true;
}
