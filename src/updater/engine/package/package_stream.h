#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/os/os_file.h"
#include "verify/common/input_stream.h"

// Sees every byte a PackageFileStream reads from its file, once and in file
// order, whether or not the consumer of the stream asks for it.
class IPackageByteObserver {
 public:
  virtual ~IPackageByteObserver() = default;
  virtual void Observe(uint64_t offset, std::span<const uint8_t> bytes) = 0;
};

// Reads a file of a known size front to back through a window of its own, so
// that a large package is verified and checked in one pass without being
// held whole: the window stays in the cache while both use it. Forward only:
// Seek answers kStreamNotSupported, so skips read through and are observed.
class PackageFileStream final : public IInputStream {
 public:
  // The caller keeps file open for the stream's life; size is what the
  // stream offers (GetRemaining), the file's size when it was opened.
  PackageFileStream(OS_FILE* file, uint64_t size);
  PackageFileStream(const PackageFileStream&) = delete;
  PackageFileStream& operator=(const PackageFileStream&) = delete;

  // Makes a window of window_size bytes and reads the file's first bytes
  // into it. False when the window cannot be had or the read fails.
  [[nodiscard]] bool Start(uint64_t window_size);
  // The window's bytes not consumed yet; right after Start, the file's start.
  [[nodiscard]] std::span<const uint8_t> Window() const;
  // Shows the window's bytes to observer, then every byte read after them.
  void SetObserver(IPackageByteObserver* observer);
  // Reads on until end (or the file's end), for the observer alone.
  void ReadThrough(uint64_t end);
  // A read failed, or the file ended before its size.
  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] bool short_file() const { return short_; }

  uint32_t Close() override;
  uint32_t GetRemaining(uint64_t* remaining) override;
  uint32_t Read(uint8_t* buffer, uint64_t n, uint64_t* got) override;
  uint32_t ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                      uint64_t* got) override;
  uint32_t Seek(int64_t offset, uint32_t origin) override;
  uint32_t GetPosition(uint64_t* position) override;

 private:
  // Refills an exhausted window from the file; false at the end or on failure.
  bool Fill();

  OS_FILE* file_;
  uint64_t size_;
  std::unique_ptr<uint8_t[]> window_;
  uint64_t capacity_ = 0;
  uint64_t window_at_ = 0;  // file offset of window_[0]
  uint64_t filled_ = 0;     // bytes in the window
  uint64_t used_ = 0;       // bytes of the window consumed
  IPackageByteObserver* observer_ = nullptr;
  bool failed_ = false;
  bool short_ = false;
};
