#include "net/http/smb_transport.h"

#include <memory>
#include <new>

#include "platform/os/os_error.h"
#include "platform/os/os_file.h"
#include "platform/util/buffer.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"

namespace {

// Kind word of the status and file events of a share copy.
constexpr uint32_t kShareEventKind = 1;

UpdError OpenErrorCode(uint32_t os_error) {
  switch (os_error) {
    case kOsNotFound:
      return kUpdMissing;
    case kOsAccessDenied:
      // The update engine treats this like an HTTP 401 of a server.
      return kUpdAccessDenied;
    default:
      return kUpdSourceUnreadable;
  }
}

struct FileCloser {
  void operator()(OS_FILE* file) const { (void)OsFileClose(file); }
};

// The whole content of an open file; empty (size 0) when the size query, the
// allocation or the read fails, or the file is empty. A file larger than
// max_bytes is not read: too_large tells it.
struct FileContent {
  std::unique_ptr<uint8_t[]> bytes;
  uint64_t size = 0;  // the size the file reported
  bool complete = false;
  bool too_large = false;
};

FileContent ReadWhole(OS_FILE* file, uint64_t max_bytes) {
  FileContent content;
  const int64_t size = OsFileGetSize(file);
  if (size <= 0) return content;
  if (static_cast<uint64_t>(size) > max_bytes) {
    content.too_large = true;
    return content;
  }
  content.size = static_cast<uint64_t>(size);
  content.bytes.reset(new (std::nothrow) uint8_t[content.size]);
  if (content.bytes == nullptr) return content;
  content.complete = OsFileReadFully(file, content.bytes.get(), content.size) == size;
  return content;
}

}  // namespace

UpdError CSmbTransport::Download(const FetchConfig& config, const char* source_path,
                                 const char* target_path, uint32_t progress_word,
                                 uint32_t caller_word, CBuffer* target,
                                 const TransferBound& bound) {
  const UpdError result =
      Copy(config, source_path, target_path, progress_word, caller_word, target, bound);
  return IsAborted() ? kUpdStopped : result;
}

UpdError CSmbTransport::Copy(const FetchConfig& config, const char* source_path,
                             const char* target_path, uint32_t progress_word, uint32_t caller_word,
                             CBuffer* target, const TransferBound& bound) {
  FileContent content;
  {
    std::unique_ptr<OS_FILE, FileCloser> source(
        OsFileOpenWait(source_path, nullptr, kOsAccessRead, kOsOpenExisting, kOpenWaitMs));
    if (source == nullptr) return OpenErrorCode(OsGetLastError());
    content = ReadWhole(source.get(), bound.max_bytes);
  }
  if (content.too_large) return bound.over_result;
  // The host sees the file in two halves, one once it is read and the rest
  // once it is written, so that its progress adds up to the whole size.
  const uint64_t half = content.size / 2;
  const IFetchEvents* events = config.events.get();
  if (events != nullptr) {
    if ((progress_word & kProgressStatusBit) != 0) events->Status(caller_word, kShareEventKind, 0);
    events->File(caller_word, kShareEventKind, half, source_path);
  }
  if (!content.complete) return kUpdReadFailed;

  if (target != nullptr) {
    return target->Append(content.bytes.get(), content.size) == CBuffer::kFailed ? kUpdOutOfMemory
                                                                                 : kUpdOk;
  }
  // Written in place, never through a rename: the target may be a device.
  const auto saved =
      static_cast<UpdError>(SaveBufferToFile(target_path, content.bytes.get(), content.size));
  if (saved == kUpdOpenFailed) return saved;
  if (events != nullptr)
    events->File(caller_word, kShareEventKind, content.size - half, source_path);
  return saved;
}
