#include "net/http/http_head.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "net/http/http_challenge.h"
#include "net/http/http_text.h"
#include "platform/util/http1_syntax.h"
#include "platform/util/update_errors.h"

namespace {

constexpr uint32_t kStatusOk = 200;
constexpr uint32_t kStatusNoContent = 204;
constexpr uint32_t kStatusNotModified = 304;
constexpr uint32_t kStatusUnauthorized = 401;
constexpr uint32_t kStatusProxyAuth = 407;

bool IsRedirect(uint32_t status) {
  return status == 301 || status == 302 || status == 307 || status == 308;
}

// Copies value into a record field only when it fits whole.
template <size_t N>
void SetField(char (&field)[N], std::string_view value) {
  if (value.size() >= N) return;
  std::memcpy(field, value.data(), value.size());
  field[value.size()] = '\0';
}

// The first blank-delimited word of a field value.
std::string_view FirstWord(std::string_view value) {
  size_t end = 0;
  while (end < value.size() && !IsBlank(value[end])) ++end;
  return value.substr(0, end);
}

// The names of the headers whose values frame or decode the body.
constexpr std::string_view kFramingNames[] = {"Content-Length",    "Content-Range",
                                              "Transfer-Encoding", "Content-Encoding",
                                              "Connection",        "Content-Type"};

bool IsFramingName(std::string_view name) {
  return std::any_of(std::begin(kFramingNames), std::end(kFramingNames),
                     [&](std::string_view framing) { return EqualsNoCase(name, framing); });
}

}  // namespace

HttpStatusOutcome HttpStatusToResult(uint32_t status) {
  if (status >= 200 && status <= 299) return {kUpdOk, true};
  // A redirect fails as one the session cannot follow until a usable
  // Location names where it leads: its body is never the file asked for.
  if (IsRedirect(status)) return {kUpdUnsupportedScheme, true};
  switch (status) {
    case kStatusNotModified:
      return {kUpdNotModified, true};
    case kStatusUnauthorized:
      return {kUpdAccessDenied, true};
    case 403:
      return {kUpdForbidden, true};
    case 404:
    case 410:
      return {kUpdNotFound, true};
    case 405:
      return {kUpdMethodNotAllowed, true};
    case kStatusProxyAuth:
      return {kUpdProxyAuthRequired, true};
    case 416:
      return {kUpdRangeRefused, true};
    case 503:
      return {kUpdServiceUnavailable, false};
    case 511:
      return {kUpdNetworkAuthRequired, false};
    default:
      break;
  }
  if (status >= 500) return {kUpdServerError, false};
  return {kUpdSourceUnreadable, false};
}

HttpHeadParser::HttpHeadParser(_HTTP_RESPONSE_INFO& response, bool post_with_body)
    : response_(response), post_with_body_(post_with_body) {}

bool HttpHeadParser::Start(std::string_view status_line) {
  if (status_line.size() > kHttpMaxStatusLineBytes) return false;
  const std::optional<http1::StatusLine> parsed = http1::ParseStatusLine(status_line);
  if (!parsed) return false;
  response_.status = parsed->status;
  const HttpStatusOutcome outcome = HttpStatusToResult(parsed->status);
  result_ = outcome.result;
  read_headers_ = outcome.read_headers;
  return true;
}

bool HttpHeadParser::IsLoginPageType(std::string_view name, std::string_view value) const {
  // The download form answers a wrong login with a page of its own: a 200
  // to a POST, without keep-alive, whose type is none of the data types.
  // The form's server writes the name in this very case.
  if (!post_with_body_ || response_.status != kStatusOk || keep_alive_) return false;
  if (name != "Content-Type") return false;
  const std::string_view type = FirstWord(value);
  static constexpr std::string_view kDataTypes[] = {"application/x-unknown", "text/plain",
                                                    "application/xml", "text/xml", "text/html"};
  return std::none_of(std::begin(kDataTypes), std::end(kDataTypes),
                      [&](std::string_view known) { return EqualsNoCase(type, known); });
}

HttpHeadParser::LineEffect HttpHeadParser::Apply(std::string_view line) {
  const std::optional<http1::FieldLine> field = http1::ParseFieldLine(line);
  if (!field) return LineEffect::kMalformed;
  if (IsLoginPageType(field->name, field->value)) return LineEffect::kLoginPage;
  return ApplyField(field->name, field->value);
}

HttpHeadParser::LineEffect HttpHeadParser::ApplyField(std::string_view name,
                                                      std::string_view value) {
  if (IsFramingName(name)) {
    return ApplyFraming(name, value) ? LineEffect::kNone : LineEffect::kMalformed;
  }
  if (EqualsNoCase(name, "ETag")) SetField(response_.etag, FirstWord(value));
  if (EqualsNoCase(name, "Last-Modified")) SetField(response_.last_modified, value);
  const bool challenge = (response_.status == kStatusProxyAuth &&
                          EqualsNoCase(name, "Proxy-Authenticate")) ||
                         (response_.status == kStatusUnauthorized &&
                          EqualsNoCase(name, "WWW-Authenticate"));
  if (challenge) ApplyChallenges(value);
  if (response_.status == kStatusOk && EqualsNoCase(name, "X-Bypass-Cache")) {
    response_.bypass_cache = 1;
  }
  if (IsRedirect(response_.status) && EqualsNoCase(name, "Location")) ApplyLocation(value);
  return LineEffect::kNone;
}

bool HttpHeadParser::ApplyFraming(std::string_view name, std::string_view value) {
  // A value this long is no honest server's; the body's end or form would
  // be a guess.
  if (value.size() > kHttpMaxFramingValueBytes) return false;
  const std::string_view word = FirstWord(value);
  if (EqualsNoCase(name, "Content-Length")) return ApplyContentLength(value);
  if (EqualsNoCase(name, "Content-Range")) ApplyContentRange(value);
  if (EqualsNoCase(name, "Transfer-Encoding") && EqualsNoCase(word, "CHUNKED")) {
    response_.chunked = 1;
  }
  if (EqualsNoCase(name, "Content-Encoding")) {
    if (EqualsNoCase(word, "GZIP")) response_.content_encoding = kHttpEncodingGzip;
    if (EqualsNoCase(word, "DEFLATE")) response_.content_encoding = kHttpEncodingDeflate;
  }
  if (EqualsNoCase(name, "Connection") && !EqualsNoCase(word, "CLOSE")) keep_alive_ = true;
  return true;
}

void HttpHeadParser::ApplyChallenges(std::string_view value) {
  // Challenges of a malformed list after the fault are lost; those before
  // it stand.
  (void)ForEachChallenge(value, [&](std::string_view scheme, std::string_view parameters) {
    const uint32_t id = ChallengeScheme(scheme, parameters);
    // A challenge that does not fit cannot be answered.
    if (kHttpSchemeRanks[id] > kHttpSchemeRanks[response_.auth_scheme] &&
        parameters.size() <= kHttpMaxChallengeBytes) {
      response_.auth_scheme = id;
      response_.challenge.assign(parameters);
    }
    return true;
  });
}

void HttpHeadParser::ApplyLocation(std::string_view value) {
  // A Location that would break the request line, or that the session could
  // not resolve whole, is none.
  http1::Location parts;
  if (value.size() >= sizeof response_.location ||
      http1::ParseLocation(value, &parts) != http1::LocationFault::kNone) {
    return;
  }
  SetField(response_.location, value);
  result_ = kUpdRedirect;
}

bool HttpHeadParser::ApplyContentLength(std::string_view value) {
  const std::optional<uint64_t> length = http1::ParseDecimal(value);
  // A length that does not parse, or a second one that differs, leaves the
  // end of the body unknown: nothing read after it could be trusted.
  if (!length) return false;
  const bool too_large = *length > kHttpMaxBodyBytes;
  const auto stored = static_cast<uint32_t>(too_large ? 0 : *length);
  if (response_.has_content_length != 0 || length_too_large_) {
    return too_large == length_too_large_ && stored == response_.content_length;
  }
  response_.has_content_length = 1;
  response_.content_length = stored;
  length_too_large_ = too_large;
  return true;
}

void HttpHeadParser::ApplyContentRange(std::string_view value) {
  constexpr std::string_view kUnit = "bytes";
  if (!StartsWithNoCase(value, kUnit)) return;
  value = SkipBlanks(value.substr(kUnit.size()));
  const std::optional<uint64_t> first = http1::TakeDecimal(&value);
  if (!first || value.empty() || value.front() != '-') return;
  value.remove_prefix(1);
  const std::optional<uint64_t> last = http1::TakeDecimal(&value);
  if (!last || *last < *first || value.empty() || value.front() != '/') return;
  value.remove_prefix(1);
  uint64_t complete = _HTTP_RESPONSE_INFO::kUnknownComplete;
  if (!value.empty() && value.front() == '*') {
    value.remove_prefix(1);
  } else {
    const std::optional<uint64_t> total = http1::TakeDecimal(&value);
    if (!total || *total <= *last) return;
    complete = *total;
  }
  if (!TrimBlanks(value).empty()) return;
  response_.has_content_range = 1;
  response_.range_first = *first;
  response_.range_last = *last;
  response_.range_complete = complete;
}

bool HttpHeadParser::Finish(HttpMethod method) {
  const uint32_t status = response_.status;
  const bool tunnel = method == HttpMethod::kConnect && status >= 200 && status <= 299;
  if (method == HttpMethod::kHead || status < 200 || status == kStatusNoContent ||
      status == kStatusNotModified || tunnel) {
    response_.no_body = 1;
  }
  if (response_.chunked != 0) {
    response_.has_content_length = 0;
    response_.content_length = 0;
    length_too_large_ = false;
  }
  return response_.no_body != 0 || !length_too_large_;
}
