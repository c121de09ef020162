#include "updater/engine/package/package_stream.h"

#include <algorithm>
#include <new>

PackageFileStream::PackageFileStream(OS_FILE* file, uint64_t size) : file_(file), size_(size) {}

bool PackageFileStream::Start(uint64_t window_size) {
  capacity_ = std::max<uint64_t>(window_size, 1);
  window_.reset(new (std::nothrow) uint8_t[capacity_]);
  if (window_ == nullptr) return false;
  return Fill() || (!failed_ && size_ == 0);
}

std::span<const uint8_t> PackageFileStream::Window() const {
  return {window_.get() + used_, filled_ - used_};
}

void PackageFileStream::SetObserver(IPackageByteObserver* observer) {
  observer_ = observer;
  if (observer_ != nullptr && filled_ != 0) {
    observer_->Observe(window_at_, {window_.get(), filled_});
  }
}

bool PackageFileStream::Fill() {
  window_at_ += filled_;
  filled_ = used_ = 0;
  if (failed_ || short_ || window_at_ >= size_ || window_ == nullptr) return false;
  const uint64_t want = std::min(capacity_, size_ - window_at_);
  const int64_t got = OsFileReadFully(file_, window_.get(), want);
  if (got < 0) {
    failed_ = true;
    return false;
  }
  filled_ = static_cast<uint64_t>(got);
  if (filled_ < want) short_ = true;
  if (observer_ != nullptr && filled_ != 0)
    observer_->Observe(window_at_, {window_.get(), filled_});
  return filled_ != 0;
}

void PackageFileStream::ReadThrough(uint64_t end) {
  while (window_at_ + filled_ < end && Fill()) {
  }
}

uint32_t PackageFileStream::Close() { return kStreamOk; }

uint32_t PackageFileStream::GetRemaining(uint64_t* remaining) {
  if (remaining == nullptr) return kStreamInvalidArgument;
  *remaining = size_ - (window_at_ + used_);
  return kStreamOk;
}

uint32_t PackageFileStream::GetPosition(uint64_t* position) {
  if (position == nullptr) return kStreamInvalidArgument;
  *position = window_at_ + used_;
  return kStreamOk;
}

uint32_t PackageFileStream::Seek(int64_t, uint32_t) { return kStreamNotSupported; }

uint32_t PackageFileStream::ReadDirect(ReadDirectCallback callback, void* context, uint64_t n,
                                       uint64_t* got) {
  if (callback == nullptr || got == nullptr) return kStreamInvalidArgument;
  uint64_t total = 0;
  while (total < n) {
    if (used_ == filled_ && !Fill()) break;
    const uint64_t piece = std::min(n - total, filled_ - used_);
    uint64_t consumed = 0;
    if (callback(this, context, window_.get() + used_, total, piece, &consumed) != kStreamOk) {
      break;
    }
    consumed = std::min(consumed, piece);
    used_ += consumed;
    total += consumed;
    if (consumed < piece) break;
  }
  *got = total;
  return kStreamOk;
}

uint32_t PackageFileStream::Read(uint8_t* buffer, uint64_t n, uint64_t* got) {
  if (buffer == nullptr || got == nullptr) return kStreamInvalidArgument;
  uint64_t total = 0;
  while (total < n) {
    if (used_ == filled_ && !Fill()) break;
    const uint64_t piece = std::min(n - total, filled_ - used_);
    std::copy_n(window_.get() + used_, piece, buffer + total);
    used_ += piece;
    total += piece;
  }
  *got = total;
  return kStreamOk;
}
