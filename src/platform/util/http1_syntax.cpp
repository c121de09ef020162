#include "platform/util/http1_syntax.h"

#include <string_view>

namespace http1 {
namespace {

constexpr uint16_t kMaxPort = 65535;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::optional<uint32_t> HexValue(char c) {
  if (IsDigit(c)) return static_cast<uint32_t>(c - '0');
  const char upper = AsciiUpper(c);
  if (upper >= 'A' && upper <= 'F') return static_cast<uint32_t>(upper - 'A' + 10);
  return std::nullopt;
}

// HTAB, SP, VCHAR and obs-text: what field values, reason phrases and
// quoted strings may hold.
bool IsTextChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return c == '\t' || (byte >= 0x20 && byte != 0x7f);
}

bool IsText(std::string_view text) {
  for (const char c : text) {
    if (!IsTextChar(c)) return false;
  }
  return true;
}

// scheme = ALPHA *( ALPHA / DIGIT / "+" / "-" / "." )
bool IsScheme(std::string_view text) {
  if (text.empty() || !IsAlpha(text.front())) return false;
  for (const char c : text) {
    if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

// unreserved / sub-delims, and '%' of a pct-encoded triple (its digits are
// checked by the caller's loop through IsHostText).
bool IsHostChar(char c) {
  if (IsAlpha(c) || IsDigit(c)) return true;
  constexpr std::string_view kOthers = "-._~!$&'()*+,;=%";
  return kOthers.find(c) != std::string_view::npos;
}

bool IsHostText(std::string_view text, bool in_brackets) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (in_brackets && c == ':') continue;
    if (!IsHostChar(c)) return false;
    if (c == '%' && (i + 2 >= text.size() || !HexValue(text[i + 1]) || !HexValue(text[i + 2]))) {
      return false;
    }
  }
  return true;
}

bool IsSlash(char c) { return c == '/' || c == '\\'; }

LocationFault ReadPort(std::string_view text, Location* location) {
  if (text.empty()) return LocationFault::kNone;  // "host:" names the default port
  std::string_view rest = text;
  const std::optional<uint64_t> port = TakeDecimal(&rest);
  if (!port || !rest.empty() || *port > kMaxPort) return LocationFault::kBadPort;
  location->port = static_cast<uint16_t>(*port);
  return LocationFault::kNone;
}

LocationFault ReadAuthority(std::string_view authority, Location* location) {
  location->has_authority = true;
  if (authority.find('@') != std::string_view::npos) return LocationFault::kBadAuthority;
  if (!authority.empty() && authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos || !IsHostText(authority.substr(1, close - 1), true)) {
      return LocationFault::kBadAuthority;
    }
    location->host = authority.substr(0, close + 1);
    const std::string_view rest = authority.substr(close + 1);
    if (rest.empty()) return LocationFault::kNone;
    if (rest.front() != ':') return LocationFault::kBadAuthority;
    return ReadPort(rest.substr(1), location);
  }
  const size_t colon = authority.find(':');
  location->host = authority.substr(0, colon);
  if (!IsHostText(location->host, false)) return LocationFault::kBadAuthority;
  if (colon == std::string_view::npos) return LocationFault::kNone;
  return ReadPort(authority.substr(colon + 1), location);
}

// The extensions after a chunk size: *( BWS ";" BWS name [ BWS "=" BWS value ] ).
bool IsChunkExtensions(std::string_view text) {
  text = SkipBlanks(text);
  while (!text.empty()) {
    if (text.front() != ';') return false;
    text = SkipBlanks(text.substr(1));
    if (TakeToken(&text).empty()) return false;
    text = SkipBlanks(text);
    if (text.empty() || text.front() != '=') continue;
    text = SkipBlanks(text.substr(1));
    const bool value = !text.empty() && text.front() == '"' ? TakeQuotedString(&text, nullptr)
                                                            : !TakeToken(&text).empty();
    if (!value) return false;
    text = SkipBlanks(text);
  }
  return true;
}

}  // namespace

bool IsTokenChar(char c) {
  if (IsAlpha(c) || IsDigit(c)) return true;
  constexpr std::string_view kOthers = "!#$%&'*+-.^_`|~";
  return kOthers.find(c) != std::string_view::npos;
}

std::string_view TakeToken(std::string_view* text) {
  size_t length = 0;
  while (length < text->size() && IsTokenChar((*text)[length])) ++length;
  const std::string_view token = text->substr(0, length);
  text->remove_prefix(length);
  return token;
}

std::optional<uint64_t> TakeDecimal(std::string_view* text) {
  size_t i = 0;
  uint64_t value = 0;
  for (; i < text->size() && IsDigit((*text)[i]); ++i) {
    const auto digit = static_cast<uint64_t>((*text)[i] - '0');
    if (value > (~uint64_t{0} - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (i == 0) return std::nullopt;
  text->remove_prefix(i);
  return value;
}

std::optional<uint64_t> ParseDecimal(std::string_view text) {
  const std::optional<uint64_t> value = TakeDecimal(&text);
  if (!value || !text.empty()) return std::nullopt;
  return value;
}

bool TakeQuotedString(std::string_view* text, std::string* content) {
  if (text->empty() || text->front() != '"') return false;
  if (content != nullptr) content->clear();
  for (size_t i = 1; i < text->size(); ++i) {
    char c = (*text)[i];
    if (c == '"') {
      text->remove_prefix(i + 1);
      return true;
    }
    if (c == '\\') {
      if (++i == text->size()) return false;
      c = (*text)[i];
    }
    if (!IsTextChar(c)) return false;
    if (content != nullptr) content->push_back(c);
  }
  return false;
}

std::optional<std::string> QuoteString(std::string_view value) {
  if (!IsText(value)) return std::nullopt;
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted.push_back('"');
  for (const char c : value) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

std::optional<StatusLine> ParseStatusLine(std::string_view line) {
  if (!line.starts_with(kVersionPrefix)) return std::nullopt;
  line.remove_prefix(kVersionPrefix.size());
  if (line.size() < 3 || !IsDigit(line[0]) || line[1] != '.' || !IsDigit(line[2])) {
    return std::nullopt;
  }
  StatusLine status;
  status.major = static_cast<uint32_t>(line[0] - '0');
  status.minor = static_cast<uint32_t>(line[2] - '0');
  line.remove_prefix(3);
  // One SP by the grammar; more blanks are read as one, as clients do.
  if (line.empty() || !IsBlank(line.front())) return std::nullopt;
  line = SkipBlanks(line);
  if (line.size() < 3 || line[0] < '1' || line[0] > '9' || !IsDigit(line[1]) ||
      !IsDigit(line[2])) {
    return std::nullopt;
  }
  status.status = static_cast<uint32_t>((line[0] - '0') * 100 + (line[1] - '0') * 10 +
                                        (line[2] - '0'));
  line.remove_prefix(3);
  if (!line.empty() && (!IsBlank(line.front()) || !IsText(line))) return std::nullopt;
  return status;
}

std::optional<FieldLine> ParseFieldLine(std::string_view line) {
  std::string_view rest = line;
  const std::string_view name = TakeToken(&rest);
  if (name.empty() || rest.empty() || rest.front() != ':') return std::nullopt;
  const std::string_view value = TrimBlanks(rest.substr(1));
  if (!IsText(value)) return std::nullopt;
  return FieldLine{name, value};
}

std::optional<uint64_t> ParseChunkSizeLine(std::string_view line) {
  uint64_t size = 0;
  size_t digits = 0;
  for (; digits < line.size(); ++digits) {
    const std::optional<uint32_t> value = HexValue(line[digits]);
    if (!value) break;
    if (size >> 60 != 0) return std::nullopt;
    size = size << 4 | *value;
  }
  if (digits == 0 || !IsChunkExtensions(line.substr(digits))) return std::nullopt;
  return size;
}

LocationFault ParseLocation(std::string_view value, Location* location) {
  *location = Location{};
  if (value.empty()) return LocationFault::kEmpty;
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f) return LocationFault::kBadCharacter;
  }
  std::string_view rest = value.substr(0, value.find('#'));
  const size_t colon = rest.find_first_of(":/\\?");
  if (colon != std::string_view::npos && rest[colon] == ':' && IsScheme(rest.substr(0, colon))) {
    location->form = LocationForm::kAbsolute;
    location->scheme = rest.substr(0, colon);
    rest.remove_prefix(colon + 1);
  }
  if (rest.size() >= 2 && IsSlash(rest[0]) && IsSlash(rest[1])) {
    if (location->form != LocationForm::kAbsolute) location->form = LocationForm::kNetworkPath;
    rest.remove_prefix(2);
    const std::string_view authority = rest.substr(0, rest.find_first_of("/\\?"));
    rest.remove_prefix(authority.size());
    const LocationFault fault = ReadAuthority(authority, location);
    if (fault != LocationFault::kNone) return fault;
  } else if (location->form != LocationForm::kAbsolute) {
    location->form = !rest.empty() && IsSlash(rest.front()) ? LocationForm::kAbsolutePath
                                                             : LocationForm::kRelativePath;
  }
  location->path = rest;
  return LocationFault::kNone;
}

}  // namespace http1
