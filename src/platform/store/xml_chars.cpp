#include "platform/store/xml_chars.h"

#include <array>
#include <cstdio>

namespace {

// Longest entity name the reader knows ("nbsp", "copy"...) is far below this;
// longer names are refused rather than scanned without end.
constexpr size_t kMaxEntityName = 8;

struct NamedEntity {
  const char* name;
  wchar_t value;
};
constexpr std::array<NamedEntity, 8> kEntities{{{"lt", L'<'},
                                                {"gt", L'>'},
                                                {"amp", L'&'},
                                                {"apos", L'\''},
                                                {"quot", L'"'},
                                                {"nbsp", L' '},
                                                {"copy", wchar_t{0xA9}},
                                                {"reg", wchar_t{0xAE}}}};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, const char* b) {
  size_t i = 0;
  for (; i < a.size(); ++i) {
    if (b[i] == 0 || AsciiLower(a[i]) != b[i]) return false;
  }
  return b[i] == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Number of bytes of the UTF-8 sequence a lead byte starts; 0 for bytes that
// read as a space (lone continuation bytes, 0xFE, 0xFF).
int Utf8Length(uint8_t lead) {
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  if ((lead & 0xFC) == 0xF8) return 5;
  if ((lead & 0xFE) == 0xFC) return 6;
  return 0;
}

void AppendHexReference(std::string* out, uint32_t code) {
  char text[16];
  const int n = std::snprintf(text, sizeof(text), "&#x%04X;", code);
  out->append(text, static_cast<size_t>(n));
}

void AppendUtf8(std::string* out, uint32_t code) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
    return;
  }
  int extra = 1;
  uint8_t lead_mark = 0xC0;
  if (code >= 0x4000000) {
    extra = 5;
    lead_mark = 0xFC;
  } else if (code >= 0x200000) {
    extra = 4;
    lead_mark = 0xF8;
  } else if (code >= 0x10000) {
    extra = 3;
    lead_mark = 0xF0;
  } else if (code >= 0x800) {
    extra = 2;
    lead_mark = 0xE0;
  }
  out->push_back(static_cast<char>(lead_mark | (code >> (6 * extra))));
  for (int i = extra - 1; i >= 0; --i) {
    out->push_back(static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3F)));
  }
}

}  // namespace

void XmlValueCursor::SkipLineBreaks() {
  while (pos_ < raw_.size() && (raw_[pos_] == '\r' || raw_[pos_] == '\n')) ++pos_;
}

bool XmlValueCursor::AtEnd() {
  SkipLineBreaks();
  return pos_ >= raw_.size();
}

bool XmlValueCursor::Next(wchar_t* out) {
  if (failed_ || AtEnd()) return false;
  const auto byte = static_cast<uint8_t>(raw_[pos_++]);
  if (byte == '\t') {
    *out = L' ';
    return true;
  }
  if (byte == '&') return ReadReference(out);
  if (byte < 0x80) {
    *out = static_cast<wchar_t>(byte);
    return true;
  }
  return ReadUtf8(byte, out);
}

bool XmlValueCursor::ReadUtf8(uint8_t lead, wchar_t* out) {
  const int length = Utf8Length(lead);
  if (length == 0) {
    *out = L' ';
    return true;
  }
  uint32_t code = lead & (0x7F >> length);
  for (int i = 1; i < length; ++i) {
    if (pos_ >= raw_.size()) return Fail();
    const auto next = static_cast<uint8_t>(raw_[pos_]);
    if ((next & 0xC0) != 0x80) return Fail();
    ++pos_;
    code = (code << 6) | (next & 0x3F);
  }
  *out = static_cast<wchar_t>(code);
  return true;
}

bool XmlValueCursor::ReadReference(wchar_t* out) {
  if (AtEnd()) return Fail();
  if (raw_[pos_] == '#') {
    ++pos_;
    return ReadNumericReference(out);
  }
  return ReadNamedReference(out);
}

bool XmlValueCursor::ReadNumericReference(wchar_t* out) {
  bool hex = false;
  if (!AtEnd() && (raw_[pos_] == 'x' || raw_[pos_] == 'X')) {
    hex = true;
    ++pos_;
  }
  uint32_t code = 0;  // wraps at 32 bits as the format allows any number of digits
  while (true) {
    if (AtEnd()) return Fail();
    const char c = raw_[pos_++];
    if (c == ';') break;
    const int digit = HexDigit(c);
    if (digit < 0 || (!hex && digit > 9)) return Fail();
    code = code * (hex ? 16u : 10u) + static_cast<uint32_t>(digit);
  }
  *out = static_cast<wchar_t>(code);
  return true;
}

bool XmlValueCursor::ReadNamedReference(wchar_t* out) {
  std::string name;
  while (true) {
    if (AtEnd()) return Fail();
    const char c = raw_[pos_++];
    if (c == ';') break;
    if (name.size() == kMaxEntityName) return Fail();
    name.push_back(c);
  }
  for (const NamedEntity& entity : kEntities) {
    if (EqualsIgnoreCase(name, entity.name)) {
      *out = entity.value;
      return true;
    }
  }
  return Fail();
}

bool MemStoreReadChar(XmlValueCursor* cursor, wchar_t* out) { return cursor->Next(out); }

bool XmlDecodeValue(std::string_view raw, std::wstring* out) {
  out->clear();
  XmlValueCursor cursor(raw);
  wchar_t c;
  while (MemStoreReadChar(&cursor, &c)) out->push_back(c);
  return !cursor.Failed();
}

bool MemStoreWriteEscaped(std::string* out, wchar_t c, bool ascii_output) {
  const auto code = static_cast<uint32_t>(c);
  switch (code) {
    case '<':
      out->append("&lt;");
      return true;
    case '>':
      out->append("&gt;");
      return true;
    case '&':
      out->append("&amp;");
      return true;
    case '\'':
      out->append("&apos;");
      return true;
    case '"':
      out->append("&quot;");
      return true;
    case '\r':
    case '\n':
    case '\t':
      // A raw TAB would read back as a space, a raw line break not at all.
      AppendHexReference(out, code);
      return true;
    default:
      break;
  }
  if (code >= 0x20 && code <= 0x7E) {
    out->push_back(static_cast<char>(code));
    return true;
  }
  if (ascii_output) {
    AppendHexReference(out, code);
    return true;
  }
  if (code == 0 || code > 0x7FFFFFFF) return false;
  AppendUtf8(out, code);
  return true;
}

bool XmlAppendEscaped(std::string* out, std::wstring_view value, bool ascii_output) {
  for (wchar_t c : value) {
    if (!MemStoreWriteEscaped(out, c, ascii_output)) return false;
  }
  return true;
}

namespace {

// Bytes that decode to themselves and are written as they are.
bool IsPlain(std::string_view raw) {
  for (char c : raw) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x20 || byte > 0x7E || c == '<' || c == '>' || c == '&' || c == '\'' || c == '"') {
      return false;
    }
  }
  return true;
}

}  // namespace

bool XmlAppendReescaped(std::string* out, std::string_view raw, bool ascii_output) {
  if (IsPlain(raw)) {
    out->append(raw);
    return true;
  }
  XmlValueCursor cursor(raw);
  wchar_t c;
  while (MemStoreReadChar(&cursor, &c)) {
    if (!MemStoreWriteEscaped(out, c, ascii_output)) return false;
  }
  return !cursor.Failed();
}
