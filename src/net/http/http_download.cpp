#include <memory>
#include <string>

#include "net/http/http_body_sink.h"
#include "net/http/http_head.h"
#include "net/http/http_transport.h"
#include "net/http/inflate_stream.h"
#include "net/http/transfer_bound.h"
#include "platform/os/os_file.h"
#include "platform/util/update_errors.h"

namespace {

// Receive block of a body. Larger than a page so that a fast peer costs few
// calls; the file events report each block, so their count follows it.
constexpr size_t kBodyBlock = 256 * 1024;
// Kind word of the status and file events of a download.
constexpr uint32_t kDownloadEventKind = 1;
constexpr uint32_t kStatusPartialContent = 206;

// A partial earlier download, open for reading (under a shared lock) from
// the request until the end of the download.
class PartialFile {
 public:
  explicit PartialFile(const char* path) {
    if (path == nullptr || *path == '\0') return;
    file_ = OsFileOpen(path, nullptr, kOsAccessRead | kOsAccessLock, kOsOpenExisting);
    if (file_ == nullptr) return;
    const int64_t size = OsFileGetSize(file_);
    size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
  }
  ~PartialFile() { (void)OsFileClose(file_); }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  [[nodiscard]] OS_FILE* file() const { return file_; }
  // Where the rest starts; 0 (no range) without a usable partial file.
  [[nodiscard]] uint64_t size() const { return size_; }

 private:
  OS_FILE* file_ = nullptr;
  uint64_t size_ = 0;
};

// A 206 continues the partial file only when it starts where the file ends,
// runs to the end of the whole, and is not encoded (an encoded range is a
// range of the encoded bytes, which the partial file does not hold).
bool ContinuesAt(const _HTTP_RESPONSE_INFO& response, uint64_t start) {
  if (response.status != kStatusPartialContent) return true;
  if (response.content_encoding != kHttpEncodingNone || response.has_content_range == 0) {
    return false;
  }
  return response.range_first == start &&
         (response.range_complete == _HTTP_RESPONSE_INFO::kUnknownComplete ||
          response.range_last + 1 == response.range_complete);
}

// The bytes the answer announces for the whole target: its Content-Length,
// after the partial bytes that a 206 continues. An encoded body is measured
// on the wire, where it may be a little larger than the bound it decodes
// within.
bool AnnouncesMoreThan(const _HTTP_RESPONSE_INFO& response, uint64_t partial,
                       const TransferBound& bound) {
  if (response.no_body != 0 || response.chunked != 0 || response.has_content_length == 0) {
    return false;
  }
  if (response.content_encoding != kHttpEncodingNone) {
    return response.content_length > EncodedBodyLimit(bound.max_bytes);
  }
  return response.content_length > bound.max_bytes ||
         partial > bound.max_bytes - response.content_length;
}

}  // namespace

UpdError CHttpTransport::DownloadToFile(const HttpRequestParams& params, const char* target_path,
                                        const FetchConfig& config, _HTTP_RESPONSE_INFO* response,
                                        uint32_t progress_word, uint32_t caller_word,
                                        const char* partial_path) {
  FileBodySink sink(target_path, params.size_bound);
  return Download(params, sink, config, response, progress_word, caller_word, partial_path);
}

UpdError CHttpTransport::DownloadToBuffer(const HttpRequestParams& params, CBuffer* target,
                                          const FetchConfig& config, _HTTP_RESPONSE_INFO* response,
                                          uint32_t progress_word, uint32_t caller_word,
                                          const char* partial_path) {
  BufferBodySink sink(target, params.size_bound);
  return Download(params, sink, config, response, progress_word, caller_word, partial_path);
}

UpdError CHttpTransport::RequestForDownload(const HttpRequestParams& params, uint64_t range_start,
                                            const FetchConfig& config,
                                            _HTTP_RESPONSE_INFO* response, bool* keep_alive) {
  HttpRequestParams get = params;
  get.range_start = range_start;
  get.range_end = 0;
  UpdError result = Request(get, config, response, keep_alive);
  if (result == kUpdOk && !ContinuesAt(*response, range_start)) {
    CloseConnection();
    result = kUpdRangeRefused;
  }
  if (result != kUpdRangeRefused || get.range_start == 0) return result;
  // The server refused the range (or answered one that does not fit): the
  // whole body once more.
  get.range_start = 0;
  *keep_alive = true;
  result = Request(get, config, response, keep_alive);
  if (result == kUpdOk && !ContinuesAt(*response, 0)) {
    CloseConnection();
    result = kUpdRangeRefused;
  }
  return result;
}

UpdError CHttpTransport::Download(const HttpRequestParams& params, HttpBodySink& sink,
                                  const FetchConfig& config, _HTTP_RESPONSE_INFO* response,
                                  uint32_t progress_word, uint32_t caller_word,
                                  const char* partial_path) {
  response->chunked = 0;
  bool keep_alive = true;
  const PartialFile partial(partial_path);
  // A partial file already past the bound (kept before the bound shrank) is
  // no start to resume from: the whole body is asked for.
  const uint64_t range_start = partial.size() <= sink.bound().max_bytes ? partial.size() : 0;
  UpdError result = RequestForDownload(params, range_start, config, response, &keep_alive);
  if (result != kUpdOk) {
    if (!keep_alive) CloseConnection();
    return result;
  }
  // The partial bytes go first only when the answer continues them.
  const bool resumed = range_start != 0 && response->status == kStatusPartialContent;
  if (AnnouncesMoreThan(*response, resumed ? range_start : 0, sink.bound())) {
    CloseConnection();
    return sink.Refuse();
  }
  const DownloadEvents events{config.events.get(), caller_word, std::string(params.file)};
  result = ReceiveInto(sink, resumed ? partial.file() : nullptr, response, progress_word, events);
  if (result != kUpdOk) {
    CloseConnection();
    return result;
  }
  connection_.DrainNoWait();
  if (!keep_alive) CloseConnection();
  return kUpdOk;
}

UpdError CHttpTransport::ReceiveInto(HttpBodySink& sink, OS_FILE* partial,
                                      _HTTP_RESPONSE_INFO* response, uint32_t progress_word,
                                      const DownloadEvents& events) {
  UpdError result = sink.Open();
  if (result != kUpdOk) return result;
  if ((progress_word & kProgressStatusBit) != 0 && events.sink != nullptr) {
    events.sink->Status(events.caller_word, kDownloadEventKind, 0);
  }
  CInflateStream inflater;
  const bool encoded = response->content_encoding != kHttpEncodingNone;
  if (encoded && !inflater.Init(response->content_encoding)) return kUpdBadCompressedData;
  if (partial != nullptr) {
    uint64_t size = 0;
    result = sink.TakePartial(partial, &size);
    if (result != kUpdOk) return result;
    if (events.sink != nullptr) {
      events.sink->File(events.caller_word, kDownloadEventKind, size, events.file.c_str());
    }
  }
  const CInflateStream::Output put = [&sink](const uint8_t* data, size_t size) {
    return sink.Put(data, size);
  };
  const std::unique_ptr<uint8_t[]> block(new uint8_t[kBodyBlock]);
  const uint64_t wire_limit = EncodedBodyLimit(sink.bound().max_bytes);
  BodyCursor cursor;
  for (;;) {
    size_t got = 0;
    result = ReadBody(response, &cursor, block.get(), kBodyBlock, &got);
    if (result != kUpdOk) return result;
    if (cursor.done) break;
    // A plain body is counted by the sink itself.
    if (encoded && cursor.received > wire_limit) return sink.Refuse();
    result = encoded ? inflater.Write(block.get(), got, put) : sink.Put(block.get(), got);
    if (result != kUpdOk) return result;
    if (events.sink != nullptr) {
      events.sink->File(events.caller_word, kDownloadEventKind, got, events.file.c_str());
    }
  }
  // An encoded body cut before the end of its stream must not pass whole.
  if (encoded && inflater.started() && !inflater.finished()) return kUpdBadCompressedData;
  return sink.Finish();
}
