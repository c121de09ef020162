#include "net/http/http_body_sink.h"

#include <algorithm>

#include "net/http/http_head.h"
#include "platform/os/os_file_info.h"
#include "platform/os/os_file_ops.h"
#include "platform/util/buffer.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"

UpdError HttpBodySink::Put(const uint8_t* data, size_t size) {
  if (!Count(size)) return Refuse();
  return Write(data, size);
}

UpdError HttpBodySink::Refuse() {
  Discard();
  return bound_.over_result;
}

bool HttpBodySink::Count(uint64_t size) {
  const uint64_t limit = std::min(bound_.max_bytes, kHttpMaxBodyBytes);
  if (taken_ > limit || size > limit - taken_) return false;
  taken_ += size;
  return true;
}

FileBodySink::~FileBodySink() { (void)OsFileClose(file_); }

UpdError FileBodySink::Open() {
  // Blocks are large: the stream's own buffer would only split each write.
  file_ = FileOpen(path_, kOsAccessWrite | kOsAccessUnbuffered, kOsCreateAlways,
                   kFileOpenCreateFolder);
  return file_ != nullptr ? kUpdOk : kUpdOpenFailed;
}

UpdError FileBodySink::TakePartial(OS_FILE* partial, uint64_t* size) {
  const int64_t copied = OsFileCopyStream(partial, file_, kOsCopyToEnd);
  if (copied < 0) return static_cast<UpdError>(MapDiskFullError(kUpdCopyFailed));
  *size = static_cast<uint64_t>(copied);
  return Count(*size) ? kUpdOk : Refuse();
}

UpdError FileBodySink::Write(const uint8_t* data, size_t size) {
  if (OsFileWrite(file_, data, size) != static_cast<int64_t>(size)) {
    return static_cast<UpdError>(MapDiskFullError(kUpdWriteFailed));
  }
  return kUpdOk;
}

UpdError FileBodySink::Finish() {
  OS_FILE* file = file_;
  file_ = nullptr;
  // Bytes still in the stream's buffer reach the disk only here.
  return OsFileClose(file) == 0 ? kUpdOk : static_cast<UpdError>(MapDiskFullError(kUpdWriteFailed));
}

void FileBodySink::Discard() {
  if (file_ == nullptr) return;
  (void)OsFileClose(file_);
  file_ = nullptr;
  uint32_t attributes = 0;
  if (OsGetFileAttributes(path_, nullptr, &attributes) == 0 &&
      (attributes & kOsAttrRegular) != 0) {
    (void)DeleteFileChecked(path_, 0);
  }
}

UpdError BufferBodySink::Open() { return target_ != nullptr ? kUpdOk : kUpdResultTooSmall; }

UpdError BufferBodySink::TakePartial(OS_FILE* partial, uint64_t* size) {
  const int64_t length = OsFileGetSize(partial);
  if (length < 0) return kUpdReadFailed;
  *size = static_cast<uint64_t>(length);
  if (!Count(*size)) return Refuse();
  uint8_t* room = target_->Reserve(*size);
  if (room == nullptr && *size != 0) return kUpdOutOfMemory;
  if (OsFileReadFully(partial, room, *size) != length) return kUpdReadFailed;
  return target_->Commit(*size) != 0 ? kUpdOk : kUpdResultTooSmall;
}

UpdError BufferBodySink::Write(const uint8_t* data, size_t size) {
  return target_->Append(data, size) == CBuffer::kFailed ? kUpdOutOfMemory : kUpdOk;
}

void BufferBodySink::Discard() {
  if (target_ != nullptr) target_->Clear();
}
