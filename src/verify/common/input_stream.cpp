#include "verify/common/input_stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

// Scratch size of the last-resort skip.
constexpr uint64_t kSkipChunk = 4096;

uint32_t CopyOut(IInputStream*, void* context, const uint8_t* data, uint64_t offset, uint64_t n,
                 uint64_t* consumed) {
  if (context == nullptr) return kStreamInvalidArgument;
  std::memcpy(static_cast<uint8_t*>(context) + offset, data, n);
  *consumed = n;
  return kStreamOk;
}

uint32_t ConsumeAll(IInputStream*, void*, const uint8_t*, uint64_t, uint64_t n,
                    uint64_t* consumed) {
  *consumed = n;
  return kStreamOk;
}

// Relays chunks of the inner stream to the caller's callback with the outer
// stream, the caller's context and offsets relative to the whole request.
struct Relay {
  IInputStream* outer;
  ReadDirectCallback callback;
  void* context;
  uint64_t delivered;
  uint64_t requested;
  uint32_t callback_result;
};

uint32_t RelayChunk(IInputStream*, void* context, const uint8_t* data, uint64_t offset, uint64_t n,
                    uint64_t* consumed) {
  auto* relay = static_cast<Relay*>(context);
  relay->callback_result =
      relay->callback(relay->outer, relay->context, data, offset + relay->delivered, n, consumed);
  return relay->callback_result;
}

uint16_t FromBigEndian(uint16_t v) {
  return std::endian::native == std::endian::little ? __builtin_bswap16(v) : v;
}
uint32_t FromBigEndian(uint32_t v) {
  return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v;
}
uint64_t FromBigEndian(uint64_t v) {
  return std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
}

}  // namespace

uint32_t BinaryInputStream::Attach(IInputStream* inner) {
  inner_ = inner;
  return kStreamOk;
}

uint32_t BinaryInputStream::Close() { return inner_ ? inner_->Close() : kStreamNotAttached; }

uint32_t BinaryInputStream::GetRemaining(uint64_t* remaining) {
  return inner_ ? inner_->GetRemaining(remaining) : kStreamNotAttached;
}

uint32_t BinaryInputStream::Seek(int64_t offset, uint32_t origin) {
  return inner_ ? inner_->Seek(offset, origin) : kStreamNotAttached;
}

uint32_t BinaryInputStream::GetPosition(uint64_t* position) {
  return inner_ ? inner_->GetPosition(position) : kStreamNotAttached;
}

uint32_t BinaryInputStream::Read(uint8_t* buffer, uint64_t n, uint64_t* got) {
  if (inner_ == nullptr) {
    *got = 0;
    return kStreamNotAttached;
  }
  uint64_t total = 0;
  while (total < n) {
    uint64_t part = 0;
    const uint32_t rc = inner_->Read(buffer + total, n - total, &part);
    if (rc == kStreamEnd && total > 0) break;
    if (rc != kStreamOk) {
      *got = total;
      return rc;
    }
    if (part == 0) break;
    total += part;
  }
  *got = total;
  return kStreamOk;
}

uint32_t BinaryInputStream::ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                                       uint64_t* got) {
  if (inner_ == nullptr) return kStreamNotAttached;
  Relay relay{this, callback, context, 0, n, kStreamOk};
  while (relay.delivered < n) {
    uint64_t part = 0;
    const uint32_t rc = inner_->ReadDirect(RelayChunk, &relay, n - relay.delivered, &part);
    if (rc == kStreamEnd) {
      if (relay.delivered == 0) return kStreamEnd;
      break;
    }
    if (rc != kStreamOk) return rc;
    relay.delivered += part;
    if (part == 0 || relay.callback_result != kStreamOk) break;
  }
  *got = relay.delivered;
  return kStreamOk;
}

template <typename T>
uint32_t BinaryInputStream::ReadFixed(T* value) {
  std::array<uint8_t, sizeof(T)> bytes{};
  uint64_t got = 0;
  const uint32_t rc = Read(bytes.data(), bytes.size(), &got);
  if (rc != kStreamOk) return rc;
  if (got < bytes.size()) return kStreamShortRead;
  std::memcpy(value, bytes.data(), bytes.size());
  return kStreamOk;
}

uint32_t BinaryInputStream::ReadBool(bool* value) {
  uint8_t byte = 0;
  const uint32_t rc = ReadFixed(&byte);
  if (rc == kStreamOk) *value = byte != 0;
  return rc;
}

uint32_t BinaryInputStream::ReadUInt8(uint8_t* value) { return ReadFixed(value); }
uint32_t BinaryInputStream::ReadUInt16(uint16_t* value) { return ReadFixed(value); }
uint32_t BinaryInputStream::ReadUInt32(uint32_t* value) { return ReadFixed(value); }
uint32_t BinaryInputStream::ReadUInt64(uint64_t* value) { return ReadFixed(value); }

uint32_t BinaryInputStream::ReadUInt16BE(uint16_t* value) {
  const uint32_t rc = ReadFixed(value);
  if (rc == kStreamOk) *value = FromBigEndian(*value);
  return rc;
}

uint32_t BinaryInputStream::ReadUInt32BE(uint32_t* value) {
  const uint32_t rc = ReadFixed(value);
  if (rc == kStreamOk) *value = FromBigEndian(*value);
  return rc;
}

uint32_t BinaryInputStream::ReadUInt64BE(uint64_t* value) {
  const uint32_t rc = ReadFixed(value);
  if (rc == kStreamOk) *value = FromBigEndian(*value);
  return rc;
}

uint32_t MemoryInputStream::Open(const uint8_t* data, uint64_t size) {
  Close();
  if (data == nullptr || size == 0) return kStreamInvalidArgument;
  data_ = data;
  size_ = size;
  return kStreamOk;
}

uint32_t MemoryInputStream::Open(std::unique_ptr<uint8_t[]> data, uint64_t size) {
  Close();
  if (data == nullptr || size == 0) return kStreamInvalidArgument;
  owned_ = std::move(data);
  data_ = owned_.get();
  size_ = size;
  return kStreamOk;
}

uint32_t MemoryInputStream::Close() {
  owned_.reset();
  data_ = nullptr;
  position_ = 0;
  size_ = 0;
  return kStreamOk;
}

uint32_t MemoryInputStream::GetRemaining(uint64_t* remaining) {
  if (data_ == nullptr) return kStreamNoData;
  *remaining = size_ - position_;
  return kStreamOk;
}

uint32_t MemoryInputStream::GetPosition(uint64_t* position) {
  if (data_ == nullptr) return kStreamNoData;
  *position = position_;
  return kStreamOk;
}

uint32_t MemoryInputStream::Read(uint8_t* buffer, uint64_t n, uint64_t* got) {
  if (data_ == nullptr) return kStreamNoData;
  // A missing destination copies nothing and leaves the position and count
  // alone; the result stays 0 as the copying callback's refusal is not passed on.
  if (buffer == nullptr) return kStreamOk;
  return ReadDirect(CopyOut, buffer, n, got);
}

uint32_t MemoryInputStream::ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                                       uint64_t* got) {
  if (data_ == nullptr) return kStreamNoData;
  const uint64_t available = std::min(n, size_ - position_);
  uint64_t consumed = 0;
  if (available > 0 &&
      callback(this, context, data_ + position_, 0, available, &consumed) == kStreamOk) {
    consumed = std::min(consumed, available);
    position_ += consumed;
  } else {
    consumed = 0;
  }
  *got = consumed;
  return kStreamOk;
}

uint32_t MemoryInputStream::Seek(int64_t offset, uint32_t origin) {
  if (data_ == nullptr) return kStreamNoData;
  int64_t base = 0;
  switch (origin) {
    case kSeekBegin:
      base = 0;
      break;
    case kSeekCurrent:
      base = static_cast<int64_t>(position_);
      break;
    case kSeekEnd:
      base = static_cast<int64_t>(size_);
      break;
    default:
      return kStreamInvalidArgument;
  }
  // Sizes are bounded by memory, so base fits; guard the addition itself.
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target)) return kStreamInvalidArgument;
  if (target < 0 || static_cast<uint64_t>(target) > size_) return kStreamInvalidArgument;
  position_ = static_cast<uint64_t>(target);
  return kStreamOk;
}

namespace {

uint32_t SkipByReading(IInputStream* stream, uint64_t n) {
  std::array<uint8_t, kSkipChunk> scratch{};
  while (n > 0) {
    const uint64_t want = std::min<uint64_t>(n, scratch.size());
    uint64_t got = 0;
    const uint32_t rc = stream->Read(scratch.data(), want, &got);
    if (rc != kStreamOk) return rc;
    if (got < want) return kStreamShortSkip;
    n -= got;
  }
  return kStreamOk;
}

}  // namespace

uint32_t InputStreamSkip(IInputStream* stream, uint64_t n) {
  if (stream == nullptr) return kStreamInvalidArgument;
  if (n == 0) return kStreamOk;
  if (n <= static_cast<uint64_t>(INT64_MAX)) {
    const uint32_t rc = stream->Seek(static_cast<int64_t>(n), kSeekCurrent);
    if (rc != kStreamNotSupported) return rc;
  }
  uint64_t got = 0;
  const uint32_t rc = stream->ReadDirect(ConsumeAll, nullptr, n, &got);
  if (rc == kStreamOk) return got == n ? kStreamOk : kStreamShortSkip;
  if (rc == kStreamNotSupported) return kStreamNotSupported;
  return SkipByReading(stream, n);
}
