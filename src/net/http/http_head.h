#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "net/http/http_response_info.h"
#include "updater.h"

// Parsing of one HTTP response head, line by line, into _HTTP_RESPONSE_INFO.
// Pure functions over bounded views: the transport reads the lines, these
// decide what they mean.

// A server must not make the client hold unbounded heads: a line (its CR LF
// included) and the lines of one head are limited, and a head beyond either
// is refused as malformed.
inline constexpr size_t kHttpMaxLineBytes = 4095;
inline constexpr uint32_t kHttpMaxHeadLines = 100;
// The body counts of a download are 32-bit; a body this large is refused
// before any byte of it is written.
inline constexpr uint64_t kHttpMaxBodyBytes = 0xFFFFFFFFu;

// What a status does to the exchange: its result, and whether the head is
// read at all (statuses nobody handles close the connection at once).
struct HttpStatusOutcome {
  UPD_ERROR result;
  bool read_headers;
};
[[nodiscard]] HttpStatusOutcome HttpStatusToResult(uint32_t status);

// "HTTP/" major, one character, minor, one character, status (100 to 999);
// nullopt for anything else.
[[nodiscard]] std::optional<uint32_t> ParseStatusLine(std::string_view line);

// The first white-space-delimited word after prefix (white space before it
// skipped); nullopt when line does not begin with prefix. Letters of the
// prefix match either case, as header names do.
[[nodiscard]] std::optional<std::string_view> ParseHeaderValue(std::string_view line,
                                                               std::string_view prefix);

// A chunk-size line: hexadecimal digits (extensions after them ignored);
// nullopt when it holds no digit or more than 64 bits.
[[nodiscard]] std::optional<uint64_t> ParseChunkSizeLine(std::string_view line);

// Reads the lines of one head after the status line. The caller feeds every
// line (CR LF removed) until the empty one, then calls Finish.
class HttpHeadParser {
 public:
  // post_with_body: the request was a POST that carried a body, whose 200
  // answer may be the download form's login page.
  HttpHeadParser(_HTTP_RESPONSE_INFO& response, bool post_with_body);

  // The status line: false when it is not one. Sets the status and the
  // result of the status table.
  [[nodiscard]] bool Start(std::string_view status_line);

  enum class LineEffect {
    kNone,
    kLoginPage,  // the body is a page to scan for a refused login
    kMalformed,  // a framing header that cannot be trusted
  };
  [[nodiscard]] LineEffect Apply(std::string_view line);

  // After the empty line: settles the body framing of the record (chunked
  // wins over a length; no body for HEAD, 1xx, 204, 304 and an opened
  // tunnel). False when the body announced is too large to take.
  [[nodiscard]] bool Finish(HttpMethod method);

  [[nodiscard]] UPD_ERROR result() const { return result_; }
  [[nodiscard]] bool read_headers() const { return read_headers_; }
  [[nodiscard]] bool keep_alive() const { return keep_alive_; }

 private:
  void ApplyChallenge(std::string_view value);
  [[nodiscard]] bool ApplyContentLength(std::string_view value);
  void ApplyContentRange(std::string_view value);
  [[nodiscard]] bool IsLoginPageType(std::string_view line) const;

  _HTTP_RESPONSE_INFO& response_;
  bool post_with_body_;
  UPD_ERROR result_ = 0;
  bool read_headers_ = false;
  bool keep_alive_ = false;
  bool length_too_large_ = false;
};
