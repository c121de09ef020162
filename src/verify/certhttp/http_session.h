#pragma once

#include <cstdint>
#include <memory>

#include "platform/util/buffer.h"
#include "verify/certhttp/http_response.h"
#include "verify/certhttp/http_result.h"
#include "verify/certhttp/http_transport.h"

namespace http {

struct CHTTPRequestHeaders;

enum SessionState : uint32_t {
  kStateUploadKnown = 1,
  kStateUploadChunked = 2,
  kStateSent = 3,  // request sent, headers not read yet
  kStateBody = 4,
  kStateComplete = 5,
  kStateFailed = 6,
};

// Where the reading of one body stands.
struct CHTTPBodyState {
  uint64_t position = 0;        // of the body, or of the current chunk
  uint64_t length = kNoLength;  // Content-Length or the chunk size; unknown: kNoLength
  uint32_t trailer_lines = 0;
  uint8_t done = 0;
  CBuffer partial_line;  // a chunk-size line begun by a read that did not wait

  void Reset() {
    position = 0;
    length = kNoLength;
    trailer_lines = 0;
    done = 0;
    partial_line.Clear();
  }
};

// An open request; the caller reads the body through it and closes it.
struct CHTTPSession {
  CHTTPSession();
  ~CHTTPSession();

  std::unique_ptr<CTransportSSL> transport;
  std::unique_ptr<CHTTPRequestHeaders> request;  // only for an upload
  std::unique_ptr<CHTTPResponse, void (*)(CHTTPResponse*)> response;
  uint32_t state = kStateFailed;
  CHTTPBodyState body;
  CBuffer partial_line;  // a header line begun by a read that did not wait
};

// Reads the next piece of the body: 0 with bytes, kEnd at its end (at once for
// 204, 304 and 1xx), kNoData when not waiting, kCutShort, kMalformed, ...
[[nodiscard]] Result HttpReadBody(CTransport* transport, const CHTTPResponse* response,
                                  CHTTPBodyState* body, void* buffer, uint64_t size,
                                  uint64_t* received, int wait);
[[nodiscard]] Result HttpReadBody(CHTTPSession* session, void* buffer, uint64_t size,
                                  uint64_t* received, int wait);

[[nodiscard]] Result HttpSessionGetContentLength(const CHTTPSession* session, uint64_t* length);
[[nodiscard]] Result HttpSessionRead(CHTTPSession* session, void* buffer, uint64_t size,
                                     uint64_t* received, int wait, CHTTPErrorInfo* info);
Result HttpSessionClose(CHTTPSession* session);

}  // namespace http
