#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Character level of the XML store: stored values are escaped UTF-8 exactly as
// written in a file; they are decoded one character at a time when read and
// escaped again when written.

// Reads the characters of one stored value range.
class XmlValueCursor {
 public:
  explicit XmlValueCursor(std::string_view raw) : raw_(raw) {}
  [[nodiscard]] bool AtEnd();
  // Next decoded character. False when the value ends or cannot be decoded;
  // Failed() tells the two apart.
  [[nodiscard]] bool Next(wchar_t* out);
  [[nodiscard]] bool Failed() const { return failed_; }

 private:
  void SkipLineBreaks();
  bool ReadUtf8(uint8_t lead, wchar_t* out);
  bool ReadReference(wchar_t* out);
  bool ReadNumericReference(wchar_t* out);
  bool ReadNamedReference(wchar_t* out);
  bool Fail() {
    failed_ = true;
    return false;
  }

  std::string_view raw_;
  size_t pos_ = 0;
  bool failed_ = false;
};

// Reads one character of a value (line breaks skipped, TAB as a space, UTF-8
// and references decoded). False at the end of the value or on a character
// that cannot be decoded.
[[nodiscard]] bool MemStoreReadChar(XmlValueCursor* cursor, wchar_t* out);

// Decodes a whole stored value; false when a character cannot be decoded.
[[nodiscard]] bool XmlDecodeValue(std::string_view raw, std::wstring* out);

// Appends one character escaped for a value. False for a character that cannot
// be written (0 without the ASCII-output flag, codes above 0x7FFFFFFF).
[[nodiscard]] bool MemStoreWriteEscaped(std::string* out, wchar_t c, bool ascii_output);
[[nodiscard]] bool XmlAppendEscaped(std::string* out, std::wstring_view value, bool ascii_output);
// Decodes a stored value and appends it escaped again, one character at a
// time; false at the first character that cannot be read or written (the
// characters before it stay appended).
[[nodiscard]] bool XmlAppendReescaped(std::string* out, std::string_view raw, bool ascii_output);

// Blanks between markup: space, TAB, CR and LF.
[[nodiscard]] constexpr bool XmlIsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
// Characters of element, attribute and declaration names.
[[nodiscard]] constexpr bool XmlIsNameChar(uint32_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == ':';
}
