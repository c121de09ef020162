#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The text of HTTP/1.1 messages as RFC 9112 and RFC 9110 write it, shared by
// the two HTTP clients (the update transport and the certificate client):
// status lines, field lines, chunk-size lines, quoted strings and Location
// values. Pure functions over bounded views; a line comes without its line
// end. They tell only whether the text is well formed and what it holds:
// each client turns a refusal into a code of its own.
namespace http1 {

// Field names, tokens and codings compare ignoring the case of A to Z only.
[[nodiscard]] constexpr char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

[[nodiscard]] constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

[[nodiscard]] constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// SP and HTAB, the white space of OWS and BWS.
[[nodiscard]] constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }

[[nodiscard]] constexpr std::string_view SkipBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

[[nodiscard]] constexpr std::string_view TrimBlanks(std::string_view text) {
  text = SkipBlanks(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// tchar: the characters of field names, codings and parameter names.
[[nodiscard]] bool IsTokenChar(char c);

// The token at the start of text, possibly empty; text moves past it.
[[nodiscard]] std::string_view TakeToken(std::string_view* text);

// Decimal digits at the start of text as a number of at most 64 bits; text
// moves past them. nullopt, text unchanged, without a digit or on overflow.
[[nodiscard]] std::optional<uint64_t> TakeDecimal(std::string_view* text);

// The whole text as 1*DIGIT (a Content-Length, a Retry-After).
[[nodiscard]] std::optional<uint64_t> ParseDecimal(std::string_view text);

// A quoted-string at the start of text: its content, each quoted-pair
// ("\" and the character it escapes) unescaped, goes to *content (when
// given) and text moves past the closing quote. False, text unchanged, for
// no opening or no closing quote, or a character no quoted-string holds (a
// control character other than HTAB); *content is then of no use.
[[nodiscard]] bool TakeQuotedString(std::string_view* text, std::string* content);

// value as a quoted-string, '"' and '\' escaped, that TakeQuotedString reads
// back as value; nullopt for a value holding a control character other than
// HTAB, which no quoted-string carries.
[[nodiscard]] std::optional<std::string> QuoteString(std::string_view value);

// The HTTP-name and its slash, case-sensitive as RFC 9112 writes it.
inline constexpr std::string_view kVersionPrefix = "HTTP/";

struct StatusLine {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t status = 0;
};

// "HTTP/" DIGIT "." DIGIT, blanks, a status of three digits (100 to 999),
// then the end or a blank and a reason phrase (never used). nullopt for
// anything else, a control character in the reason phrase included.
[[nodiscard]] std::optional<StatusLine> ParseStatusLine(std::string_view line);

struct FieldLine {
  std::string_view name;
  std::string_view value;  // without the white space around it
};

// field-name ":" OWS field-value OWS. nullopt for a line that begins with a
// blank (obs-fold: a continuation of the line before, which a reader that
// does not join it would take for something else), a name that is not a
// token (white space before the colon among them), no colon, or a value
// holding a control character other than HTAB (CR, LF and NUL cut or end a
// line where another reader would not).
[[nodiscard]] std::optional<FieldLine> ParseFieldLine(std::string_view line);

// chunk-size [ chunk-ext ]: hexadecimal digits, then extensions
// ";name[=token or quoted-string]" with BWS around ';' and '=' (and blanks
// at the end). The size; nullopt without a digit, beyond 64 bits, or with
// anything after the digits that is no extension.
[[nodiscard]] std::optional<uint64_t> ParseChunkSizeLine(std::string_view line);

// The forms of a URI reference in a Location.
enum class LocationForm : uint8_t {
  kAbsolute,      // "scheme:...", with or without an authority
  kNetworkPath,   // "//authority/path"
  kAbsolutePath,  // "/path"
  kRelativePath,  // "path", relative to the request's own
};

struct Location {
  LocationForm form = LocationForm::kRelativePath;
  std::string_view scheme;  // kAbsolute: without its ':'
  // With an authority ("//"): its host (an IP literal with its brackets) and
  // the port it names; the host may be empty.
  bool has_authority = false;
  std::string_view host;
  std::optional<uint16_t> port;
  // Path and query, the fragment left off; empty when there is none.
  std::string_view path;
};

enum class LocationFault : uint8_t {
  kNone,
  kEmpty,
  // White space or a control character: it would break the request line the
  // Location goes into.
  kBadCharacter,
  // User information (it only hides the real host), an unclosed IP literal
  // or a host character no host name holds.
  kBadAuthority,
  // A port that is not 0 to 65535 in decimal digits.
  kBadPort,
};

// A Location value (RFC 9110 10.2.2: a URI reference). A '\' counts as '/',
// as servers on Windows write them and both clients have always taken them.
// On kNone *location holds the parts, views into value.
[[nodiscard]] LocationFault ParseLocation(std::string_view value, Location* location);

}  // namespace http1
