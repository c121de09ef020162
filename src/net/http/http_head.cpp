#include "net/http/http_head.h"

#include <algorithm>
#include <cstring>

#include "net/http/http_challenge.h"
#include "net/http/http_text.h"
#include "platform/util/update_errors.h"

namespace {

constexpr uint32_t kStatusOk = 200;
constexpr uint32_t kStatusNoContent = 204;
constexpr uint32_t kStatusNotModified = 304;
constexpr uint32_t kStatusUnauthorized = 401;
constexpr uint32_t kStatusProxyAuth = 407;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits at the start of text into a value of at most 64 bits;
// nullopt without a digit or on overflow.
std::optional<uint64_t> TakeDecimal(std::string_view* text) {
  size_t i = 0;
  uint64_t value = 0;
  for (; i < text->size() && IsDigit((*text)[i]); ++i) {
    const uint64_t digit = static_cast<uint64_t>((*text)[i] - '0');
    if (value > (~uint64_t{0} - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (i == 0) return std::nullopt;
  text->remove_prefix(i);
  return value;
}

bool IsRedirect(uint32_t status) {
  return status == 301 || status == 302 || status == 307 || status == 308;
}

// A Location that can lead somewhere: a URI reference holds no white space
// or control character, and one longer than the record's field would be
// followed cut, to another place.
bool IsUsableLocation(std::string_view value) {
  if (value.empty() || value.size() >= kHttpLocationSize) return false;
  return std::none_of(value.begin(), value.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= ' ' || byte == 0x7F;
  });
}

// Copies value into a record field only when it fits whole.
template <size_t N>
void SetField(char (&field)[N], std::string_view value) {
  if (value.size() >= N) return;
  std::memcpy(field, value.data(), value.size());
  field[value.size()] = '\0';
}

std::string_view FirstWord(std::string_view text) {
  text = SkipBlanks(text);
  size_t end = 0;
  while (end < text.size() && !IsBlank(text[end]) && text[end] != '\r' && text[end] != '\n') ++end;
  return text.substr(0, end);
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

std::optional<uint32_t> ParseStatusLine(std::string_view line) {
  constexpr std::string_view kPrefix = "HTTP/";
  if (line.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  line.remove_prefix(kPrefix.size());
  // Major and minor version, each followed by one separator character.
  for (int part = 0; part < 2; ++part) {
    if (!TakeDecimal(&line) || line.empty()) return std::nullopt;
    line.remove_prefix(1);
  }
  line = SkipBlanks(line);
  const std::optional<uint64_t> status = TakeDecimal(&line);
  if (!status || *status < 100 || *status > 999) return std::nullopt;
  return static_cast<uint32_t>(*status);
}

std::optional<std::string_view> ParseHeaderValue(std::string_view line, std::string_view prefix) {
  if (!StartsWithNoCase(line, prefix)) return std::nullopt;
  return FirstWord(line.substr(prefix.size()));
}

std::optional<uint64_t> ParseChunkSizeLine(std::string_view line) {
  line = SkipBlanks(line);
  uint64_t size = 0;
  size_t digits = 0;
  for (; digits < line.size(); ++digits) {
    const char c = line[digits];
    uint64_t value = 0;
    if (IsDigit(c)) {
      value = static_cast<uint64_t>(c - '0');
    } else if (AsciiUpper(c) >= 'A' && AsciiUpper(c) <= 'F') {
      value = static_cast<uint64_t>(AsciiUpper(c) - 'A' + 10);
    } else {
      break;
    }
    if (size >> 60 != 0) return std::nullopt;
    size = size << 4 | value;
  }
  if (digits == 0) return std::nullopt;
  return size;
}

HttpHeadParser::HttpHeadParser(_HTTP_RESPONSE_INFO& response, bool post_with_body)
    : response_(response), post_with_body_(post_with_body) {}

bool HttpHeadParser::Start(std::string_view status_line) {
  const std::optional<uint32_t> status = ParseStatusLine(status_line);
  if (!status) return false;
  response_.status = *status;
  const HttpStatusOutcome outcome = HttpStatusToResult(*status);
  result_ = outcome.result;
  read_headers_ = outcome.read_headers;
  return true;
}

bool HttpHeadParser::IsLoginPageType(std::string_view line) const {
  // The download form answers a wrong login with a page of its own: a 200
  // to a POST, without keep-alive, whose type is none of the data types.
  if (!post_with_body_ || response_.status != kStatusOk || keep_alive_) return false;
  constexpr std::string_view kName = "Content-Type:";
  if (line.substr(0, kName.size()) != kName) return false;
  const std::string_view type = FirstWord(line.substr(kName.size()));
  static constexpr std::string_view kDataTypes[] = {"application/x-unknown", "text/plain",
                                                    "application/xml", "text/xml", "text/html"};
  return std::none_of(std::begin(kDataTypes), std::end(kDataTypes),
                      [&](std::string_view known) { return EqualsNoCase(type, known); });
}

HttpHeadParser::LineEffect HttpHeadParser::Apply(std::string_view line) {
  if (IsLoginPageType(line)) return LineEffect::kLoginPage;
  if (auto v = ParseHeaderValue(line, "ETAG:")) SetField(response_.etag, *v);
  if (auto v = ParseHeaderValue(line, "TRANSFER-ENCODING:")) {
    if (EqualsNoCase(*v, "CHUNKED")) response_.chunked = 1;
  }
  if (auto v = ParseHeaderValue(line, "CONTENT-ENCODING:")) {
    if (EqualsNoCase(*v, "GZIP")) response_.content_encoding = kHttpEncodingGzip;
    if (EqualsNoCase(*v, "DEFLATE")) response_.content_encoding = kHttpEncodingDeflate;
  }
  if (auto v = ParseHeaderValue(line, "CONNECTION:")) {
    if (!EqualsNoCase(*v, "CLOSE")) keep_alive_ = true;
  }
  if (StartsWithNoCase(line, "CONTENT-LENGTH:") &&
      !ApplyContentLength(line.substr(std::string_view("CONTENT-LENGTH:").size()))) {
    return LineEffect::kMalformed;
  }
  if (StartsWithNoCase(line, "CONTENT-RANGE:")) {
    ApplyContentRange(line.substr(std::string_view("CONTENT-RANGE:").size()));
  }
  if (StartsWithNoCase(line, "LAST-MODIFIED:")) {
    SetField(response_.last_modified,
             SkipBlanks(line.substr(std::string_view("LAST-MODIFIED:").size())));
  }
  if (response_.status == kStatusProxyAuth && StartsWithNoCase(line, "PROXY-AUTHENTICATE:")) {
    ApplyChallenge(line.substr(std::string_view("PROXY-AUTHENTICATE:").size()));
  }
  if (response_.status == kStatusUnauthorized && StartsWithNoCase(line, "WWW-AUTHENTICATE:")) {
    ApplyChallenge(line.substr(std::string_view("WWW-AUTHENTICATE:").size()));
  }
  if (response_.status == kStatusOk && StartsWithNoCase(line, "X-Bypass-Cache")) {
    response_.bypass_cache = 1;
  }
  if (IsRedirect(response_.status) && StartsWithNoCase(line, "LOCATION:")) {
    const std::string_view value =
        TrimBlanks(line.substr(std::string_view("LOCATION:").size()));
    if (IsUsableLocation(value)) {
      SetField(response_.location, value);
      result_ = kUpdRedirect;
    }
  }
  return LineEffect::kNone;
}

void HttpHeadParser::ApplyChallenge(std::string_view value) {
  value = SkipBlanks(value);
  const uint32_t scheme = ChallengeScheme(value);
  if (kHttpSchemeRanks[scheme] <= kHttpSchemeRanks[response_.auth_scheme]) return;
  const std::string_view parameters = ChallengeParameters(value);
  // A challenge whose parameters do not fit cannot be answered.
  if (parameters.size() >= sizeof response_.challenge) return;
  response_.auth_scheme = scheme;
  SetField(response_.challenge, parameters);
}

bool HttpHeadParser::ApplyContentLength(std::string_view value) {
  value = SkipBlanks(value);
  const std::optional<uint64_t> length = TakeDecimal(&value);
  // A length that does not parse, or a second one that differs, leaves the
  // end of the body unknown: nothing read after it could be trusted.
  if (!length || !TrimBlanks(value).empty()) return false;
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
  value = SkipBlanks(value);
  constexpr std::string_view kUnit = "bytes";
  if (!StartsWithNoCase(value, kUnit)) return;
  value = SkipBlanks(value.substr(kUnit.size()));
  const std::optional<uint64_t> first = TakeDecimal(&value);
  if (!first || value.empty() || value.front() != '-') return;
  value.remove_prefix(1);
  const std::optional<uint64_t> last = TakeDecimal(&value);
  if (!last || *last < *first || value.empty() || value.front() != '/') return;
  value.remove_prefix(1);
  uint64_t complete = _HTTP_RESPONSE_INFO::kUnknownComplete;
  if (!value.empty() && value.front() == '*') {
    value.remove_prefix(1);
  } else {
    const std::optional<uint64_t> total = TakeDecimal(&value);
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
