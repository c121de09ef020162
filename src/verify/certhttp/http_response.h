#pragma once

#include <cstdint>
#include <string_view>

#include "platform/util/buffer.h"
#include "verify/certhttp/http_result.h"
#include "verify/certhttp/http_transport.h"
#include "verify/common/carray.h"

namespace http {

// A hostile server must not make the client hold unbounded headers: one line
// (CR LF included) and the lines of one response are limited, and a response
// beyond either is refused as malformed.
inline constexpr uint64_t kMaxHeaderLine = 8192;
inline constexpr uint32_t kMaxHeaderLines = 100;

// One header value as NUL-terminated text (empty: no bytes at all).
class CHTTPBuffer : public CBuffer {
 public:
  CHTTPBuffer() = default;
  CHTTPBuffer(CHTTPBuffer&& other) noexcept { MoveFrom(other); }
  CHTTPBuffer& operator=(CHTTPBuffer&& other) noexcept {
    MoveFrom(other);
    return *this;
  }
  [[nodiscard]] int CopyFrom(const CHTTPBuffer& other);

  // Replaces the content with the text; false when memory runs out.
  [[nodiscard]] bool SetText(std::string_view text);
  // The text, "" when empty.
  const char* Text() const;
  bool IsEmptyText() const { return Length() <= 1; }
};

using CHTTPBufferArray = CArrayNoThrow<CHTTPBuffer, const CHTTPBuffer&>;

// Index tables of the Transfer-Encoding and (Proxy-)Connection values.
enum TransferCoding : uint32_t { kCodingIdentity = 0, kCodingChunked = 1 };
enum ConnectionValue : uint32_t { kConnectionKeepAlive = 0, kConnectionClose = 1 };
inline constexpr uint32_t kNoIndex = ~uint32_t{0};

struct CHTTPResponse {
  uint32_t status = 0;
  uint32_t major = 0;
  uint32_t minor = 0;
  CHTTPBuffer content_type;
  uint32_t transfer_coding = kNoIndex;
  uint32_t connection = kNoIndex;
  uint32_t proxy_connection = kNoIndex;
  uint64_t content_length = kNoLength;
  CHTTPBufferArray proxy_challenges;
  CHTTPBufferArray server_challenges;
  CHTTPBuffer location;
  CHTTPBuffer etag;
  CHTTPBuffer last_modified;
  uint32_t retry_after = 0;
  uint8_t end_of_headers = 0;
  uint8_t bypass = 0;
  // Lines read for this response so far, and whether a read that did not wait
  // stopped in the middle of the headers.
  uint32_t line_count = 0;
  uint8_t reading = 0;
};

// What a caller may keep of each response.
struct CHTTPErrorInfo {
  uint32_t retry_after = 0;
  uint32_t status = 0;
  CHTTPBuffer etag;
  CHTTPBuffer last_modified;
};

[[nodiscard]] CHTTPResponse* HttpResponseCreate();
void HttpResponseDestroy(CHTTPResponse* response);
void HttpResponseClear(CHTTPResponse* response);

[[nodiscard]] Result HttpStatusToError(uint32_t status);
void HttpGetErrorInfo(CHTTPErrorInfo* info, uint32_t code, const CHTTPResponse* response);

// Whether the connection may carry another request after this response.
[[nodiscard]] bool HttpKeepConnection(const CHTTPResponse* response);

// Reads one line (CR LF kept) into line, one byte at a time so that nothing
// of the body is consumed: 0, kSocketError when a receive fails or the peer
// closes, kMalformed when the line passes kMaxHeaderLine.
[[nodiscard]] Result HttpReadLine(CTransport* transport, CBuffer* line);
// The same without waiting, continuing the partial line: 0 with the whole
// line in partial, kNoData with what arrived kept in partial.
[[nodiscard]] Result HttpReadLineNoWait(CTransport* transport, CBuffer* partial);

// Reads the headers of the next response (a 100 Continue is skipped). Without
// waiting, partial carries a line begun by an earlier call. 0, kNoData,
// kMalformed, kCutShort or kBadRequest.
[[nodiscard]] Result HttpReadResponseHeaders(CTransport* transport, CHTTPResponse* response,
                                             int wait, CBuffer* partial);

// Strips trailing CR and LF characters.
std::string_view HttpTrimLineEnd(std::string_view line);

}  // namespace http
