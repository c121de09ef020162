#pragma once

#include <cstdint>
#include <memory>
#include <span>

// Byte sources through which the OpenPGP verifier reads signed data. Every
// operation returns a small code (0 success) and reports values through
// out-parameters; nothing throws.

enum InputStreamCode : uint32_t {
  kStreamOk = 0,
  kStreamNoData = 2,            // the memory stream holds no data
  kStreamEnd = 3,               // end of data, as an inner source may report it
  kStreamNotSupported = 6,      // InputStreamSkip then falls back
  kStreamShortSkip = 9,         // a skip ended short
  kStreamNotAttached = 12,      // no inner stream attached
  kStreamInvalidArgument = 13,  // missing stream or buffer, bad origin, seek out of range
  kStreamShortRead = 15,        // a fixed-size read got fewer bytes than it needs
};

enum SeekOrigin : uint32_t { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class IInputStream;

// Hands the consumer a view of the stream's own storage: offset is where the
// chunk falls within the caller's request; the callback sets consumed and
// returns 0 to continue.
using ReadDirectCallback = uint32_t (*)(IInputStream* stream, void* context, const uint8_t* data,
                                        uint64_t offset, uint64_t n, uint64_t* consumed);

class IInputStream {
 public:
  virtual ~IInputStream() = default;
  virtual uint32_t Close() = 0;
  virtual uint32_t GetRemaining(uint64_t* remaining) = 0;
  virtual uint32_t Read(uint8_t* buffer, uint64_t n, uint64_t* got) = 0;
  virtual uint32_t ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                              uint64_t* got) = 0;
  virtual uint32_t Seek(int64_t offset, uint32_t origin) = 0;
  virtual uint32_t GetPosition(uint64_t* position) = 0;
};

class IBinaryInputStream : public IInputStream {
 public:
  virtual uint32_t Attach(IInputStream* inner) = 0;
  virtual uint32_t ReadBool(bool* value) = 0;
  virtual uint32_t ReadUInt8(uint8_t* value) = 0;
  virtual uint32_t ReadUInt16BE(uint16_t* value) = 0;
  virtual uint32_t ReadUInt16(uint16_t* value) = 0;
  virtual uint32_t ReadUInt32BE(uint32_t* value) = 0;
  virtual uint32_t ReadUInt32(uint32_t* value) = 0;
  virtual uint32_t ReadUInt64BE(uint64_t* value) = 0;
  virtual uint32_t ReadUInt64(uint64_t* value) = 0;
};

// Fixed-size integer reader over an attached source, which it does not own.
class BinaryInputStream final : public IBinaryInputStream {
 public:
  uint32_t Close() override;
  uint32_t GetRemaining(uint64_t* remaining) override;
  uint32_t Read(uint8_t* buffer, uint64_t n, uint64_t* got) override;
  uint32_t ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                      uint64_t* got) override;
  uint32_t Seek(int64_t offset, uint32_t origin) override;
  uint32_t GetPosition(uint64_t* position) override;

  uint32_t Attach(IInputStream* inner) override;
  uint32_t ReadBool(bool* value) override;
  uint32_t ReadUInt8(uint8_t* value) override;
  uint32_t ReadUInt16BE(uint16_t* value) override;
  uint32_t ReadUInt16(uint16_t* value) override;
  uint32_t ReadUInt32BE(uint32_t* value) override;
  uint32_t ReadUInt32(uint32_t* value) override;
  uint32_t ReadUInt64BE(uint64_t* value) override;
  uint32_t ReadUInt64(uint64_t* value) override;

 private:
  // Reads exactly sizeof(T) bytes in host order; fewer is kStreamShortRead.
  template <typename T>
  uint32_t ReadFixed(T* value);

  IInputStream* inner_ = nullptr;
};

// A byte source over memory: either a view of the caller's buffer or a
// buffer the stream owns.
class MemoryInputStream final : public IInputStream {
 public:
  MemoryInputStream() = default;
  MemoryInputStream(const MemoryInputStream&) = delete;
  MemoryInputStream& operator=(const MemoryInputStream&) = delete;

  // Views data without taking ownership. Empty data gives 13 and leaves the
  // stream empty (a previously owned buffer is freed either way).
  uint32_t Open(const uint8_t* data, uint64_t size);
  // Adopts an owned buffer of size bytes.
  uint32_t Open(std::unique_ptr<uint8_t[]> data, uint64_t size);

  uint32_t Close() override;
  uint32_t GetRemaining(uint64_t* remaining) override;
  uint32_t Read(uint8_t* buffer, uint64_t n, uint64_t* got) override;
  uint32_t ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                      uint64_t* got) override;
  uint32_t Seek(int64_t offset, uint32_t origin) override;
  uint32_t GetPosition(uint64_t* position) override;

 private:
  std::unique_ptr<uint8_t[]> owned_;
  const uint8_t* data_ = nullptr;
  uint64_t position_ = 0;
  uint64_t size_ = 0;
};

// Passes over n bytes by the cheapest means the stream offers: a relative
// seek, else a consuming ReadDirect, else reading into a scratch buffer.
uint32_t InputStreamSkip(IInputStream* stream, uint64_t n);
