#pragma once

#include <cstdint>
#include <string_view>

#include "net/http/http_response_info.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// Parsing of one HTTP response head, line by line, into _HTTP_RESPONSE_INFO.
// Pure functions over bounded views: the transport reads the lines, these
// decide what they mean, through the HTTP/1.1 syntax both clients share.

// A server must not make the client hold an unbounded head, but a head of
// one large header (a long cookie or policy, a long challenge) is an honest
// one. So the head is bounded as a whole, at 256 KiB: what Chromium takes
// (curl takes 300 KiB), so that a head these clients read is read here too.
// Within it a line may be of any length; the lines are limited in number.
// A head beyond either limit is refused as malformed.
inline constexpr size_t kHttpMaxHeadBytes = 256 * 1024;
inline constexpr uint32_t kHttpMaxHeadLines = 100;
// A header the client does not use is skipped whatever its length. One it
// acts on keeps a limit of its own, far above what servers send, so that no
// oversized text reaches the code acting on it: the status line (its reason
// phrase is never used), the values that frame or decode the body
// (Content-Length, Content-Range, Transfer-Encoding, Content-Encoding,
// Connection, Content-Type; beyond this the head is refused, as the body's
// end or form would be a guess), and a chunk-size line with its extensions.
// Location, the validators and the challenges have theirs beside the
// record (http_response_info.h).
inline constexpr size_t kHttpMaxStatusLineBytes = 4096;
inline constexpr size_t kHttpMaxFramingValueBytes = 4096;
inline constexpr size_t kHttpMaxChunkLineBytes = 4096;
// The body counts of a download are 32-bit; a body this large is refused
// before any byte of it is written.
inline constexpr uint64_t kHttpMaxBodyBytes = 0xFFFFFFFFu;

// What a status does to the exchange: its result, and whether the head is
// read at all (statuses nobody handles close the connection at once).
struct HttpStatusOutcome {
  UpdError result;
  bool read_headers;
};
[[nodiscard]] HttpStatusOutcome HttpStatusToResult(uint32_t status);

// Reads the lines of one head after the status line. The caller feeds every
// line (CR LF removed) until the empty one, then calls Finish.
class HttpHeadParser {
 public:
  // post_with_body: the request was a POST that carried a body, whose 200
  // answer may be the download form's login page.
  HttpHeadParser(_HTTP_RESPONSE_INFO& response, bool post_with_body);

  // The status line: false when it is not one or is longer than
  // kHttpMaxStatusLineBytes. Sets the status and the result of the status
  // table.
  [[nodiscard]] bool Start(std::string_view status_line);

  enum class LineEffect {
    kNone,
    kLoginPage,  // the body is a page to scan for a refused login
    kMalformed,  // no header line, or one acted on that cannot be trusted
  };
  // One header line, CR LF removed.
  [[nodiscard]] LineEffect Apply(std::string_view line);

  // After the empty line: settles the body framing of the record (chunked
  // wins over a length; no body for HEAD, 1xx, 204, 304 and an opened
  // tunnel). False when the body announced is too large to take.
  [[nodiscard]] bool Finish(HttpMethod method);

  [[nodiscard]] UpdError result() const { return result_; }
  [[nodiscard]] bool read_headers() const { return read_headers_; }
  [[nodiscard]] bool keep_alive() const { return keep_alive_; }

 private:
  [[nodiscard]] LineEffect ApplyField(std::string_view name, std::string_view value);
  [[nodiscard]] bool ApplyFraming(std::string_view name, std::string_view value);
  void ApplyChallenges(std::string_view value);
  [[nodiscard]] bool ApplyContentLength(std::string_view value);
  void ApplyContentRange(std::string_view value);
  void ApplyLocation(std::string_view value);
  [[nodiscard]] bool IsLoginPageType(std::string_view name, std::string_view value) const;

  _HTTP_RESPONSE_INFO& response_;
  bool post_with_body_;
  UpdError result_ = kUpdOk;
  bool read_headers_ = false;
  bool keep_alive_ = false;
  bool length_too_large_ = false;
};
