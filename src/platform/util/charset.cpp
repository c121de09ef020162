#include "platform/util/charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/util/strings.h"

namespace {

constexpr char kUtf8[] = "UTF-8";
constexpr char kUtf16[] = "UTF-16LE";

const char* CodeOrUtf8(const char* code) { return (code == nullptr || *code == 0) ? kUtf8 : code; }

class Converter {
 public:
  // fallback_to is tried when the first target is unavailable.
  Converter(const char* to, const char* from, const char* fallback_to = nullptr)
      : cd_(iconv_open(to, from)) {
    if (!ok() && fallback_to != nullptr) cd_ = iconv_open(fallback_to, from);
  }
  ~Converter() {
    if (ok() && iconv_close(cd_) != 0) std::abort();
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Number of bytes an RFC 2279 sequence takes for the low 31 bits of value.
size_t Utf8SequenceLength(uint32_t value) {
  value &= 0x7FFFFFFF;
  if (value < 0x80) return 1;
  if (value < 0x800) return 2;
  if (value < 0x10000) return 3;
  if (value < 0x200000) return 4;
  if (value < 0x4000000) return 5;
  return 6;
}

void EncodeUtf8(uint32_t value, size_t length, char* out) {
  static constexpr unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
  value &= 0x7FFFFFFF;
  for (size_t i = length - 1; i > 0; --i) {
    out[i] = static_cast<char>(0x80 | (value & 0x3F));
    value >>= 6;
  }
  out[0] = static_cast<char>(length == 1 ? value : (kLead[length] | value));
}

bool IsScalarValue(uint32_t value) {
  return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

// Decodes one strict UTF-8 (RFC 3629) character at text[i]; false for a
// malformed, overlong, surrogate or out-of-range sequence.
bool DecodeUtf8(std::string_view text, size_t* i, uint32_t* value) {
  const auto lead = static_cast<unsigned char>(text[*i]);
  size_t length = 0;
  uint32_t v = 0;
  uint32_t minimum = 0;
  if (lead < 0x80) {
    length = 1, v = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, v = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, v = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, v = lead & 0x07, minimum = 0x10000;
  } else {
    return false;
  }
  if (text.size() - *i < length) return false;
  for (size_t k = 1; k < length; ++k) {
    const auto c = static_cast<unsigned char>(text[*i + k]);
    if ((c & 0xC0) != 0x80) return false;
    v = (v << 6) | (c & 0x3F);
  }
  if (v < minimum || !IsScalarValue(v)) return false;
  *i += length;
  *value = v;
  return true;
}

size_t ScalarPrefix(const wchar_t* values, size_t count) {
  size_t i = 0;
  while (i < count && IsScalarValue(static_cast<uint32_t>(values[i]))) ++i;
  return i;
}

}  // namespace

char* IconvConvert(const char* from_code, const char* to_code, const char* in, size_t in_bytes,
                   char* out, size_t out_bytes, size_t skip_unit, bool* complete) {
  bool whole = true;
  Converter converter(CodeOrUtf8(to_code), CodeOrUtf8(from_code));
  // Callers name fixed converters that every glibc has; one missing is a broken system.
  if (!converter.ok()) std::abort();
  if (skip_unit == 0) skip_unit = 1;
  char* in_pos = const_cast<char*>(in);
  size_t in_left = in_bytes;
  char* out_pos = out;
  size_t out_left = out_bytes;
  while (in_left > 0) {
    if (iconv(converter.get(), &in_pos, &in_left, &out_pos, &out_left) != static_cast<size_t>(-1))
      break;
    whole = false;
    if (errno == EINVAL || errno == E2BIG) break;
    if (errno != EILSEQ) std::abort();
    if (in_left <= skip_unit) break;
    in_pos += skip_unit;
    in_left -= skip_unit;
  }
  if (complete != nullptr) *complete = whole && in_left == 0;
  return out_pos;
}

bool Utf16ToLocal(const char16_t* utf16, char* dst, size_t size) {
  if (size == 0) return false;
  bool whole = false;
  const size_t units = utf16 != nullptr ? Utf16Len(utf16) : 0;
  char* end = IconvConvert(kUtf16, kUtf8, reinterpret_cast<const char*>(utf16), units * 2, dst,
                           size - 1, 2, &whole);
  *end = 0;
  return whole;
}

bool LocalToUtf16(const char* text, char16_t* dst, size_t units) {
  if (units == 0) return false;
  if (text == nullptr) {
    dst[0] = 0;
    return true;
  }
  bool whole = false;
  char* end = IconvConvert(kUtf8, kUtf16, text, std::strlen(text), reinterpret_cast<char*>(dst),
                           (units - 1) * 2, 1, &whole);
  dst[(end - reinterpret_cast<char*>(dst)) / 2] = 0;
  return whole;
}

char16_t* StrCopyN(const char* text, char16_t* dst, size_t units) {
  LocalToUtf16(text, dst, units);
  return dst;
}

std::u16string NarrowToU16String(const char* text, size_t length, bool* complete) {
  if (complete != nullptr) *complete = true;
  if (text == nullptr) return {};
  if (length == kStrToNul) length = std::strlen(text);
  // A UTF-8 byte never yields more than one UTF-16 unit.
  std::u16string result(length, u'\0');
  char* begin = reinterpret_cast<char*>(result.data());
  char* end = IconvConvert(kUtf8, kUtf16, text, length, begin, length * 2, 1, complete);
  result.resize(static_cast<size_t>(end - begin) / 2);
  return result;
}

size_t Utf8ToWide(const char* text, wchar_t* dst, size_t count) {
  if (text == nullptr) return 0;
  const size_t length = std::strlen(text);
  if (dst == nullptr || count == 0) {
    size_t needed = 1;
    for (size_t i = 0; i < length; ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++needed;
    }
    return needed;
  }
  Converter converter("UCS-4LE", kUtf8, "WCHAR_T");
  if (!converter.ok()) std::abort();
  char* in_pos = const_cast<char*>(text);
  size_t in_left = length;
  char* out_pos = reinterpret_cast<char*>(dst);
  size_t out_left = (count - 1) * sizeof(wchar_t);
  const size_t result = iconv(converter.get(), &in_pos, &in_left, &out_pos, &out_left);
  const size_t written =
      static_cast<size_t>(out_pos - reinterpret_cast<char*>(dst)) / sizeof(wchar_t);
  // The converter passes the old 4-byte forms above U+10FFFF; they are not text.
  const size_t valid = ScalarPrefix(dst, written);
  dst[valid] = 0;
  if (result == static_cast<size_t>(-1) || valid != written) return 0;
  return written + 1;
}

size_t Ucs4ToUtf8(const wchar_t* wide, char* dst, size_t size) {
  if (wide == nullptr) return 0;
  if (dst == nullptr || size == 0) {
    size_t needed = 1;
    for (const wchar_t* p = wide; *p != 0; ++p)
      needed += Utf8SequenceLength(static_cast<uint32_t>(*p));
    return needed;
  }
  size_t used = 0;
  for (const wchar_t* p = wide; *p != 0; ++p) {
    const auto value = static_cast<uint32_t>(*p);
    const size_t length = Utf8SequenceLength(value);
    if (length > size - 1 - used) {
      dst[used] = 0;
      return 0;
    }
    EncodeUtf8(value, length, dst + used);
    used += length;
  }
  dst[used] = 0;
  return used + 1;
}

size_t WideToMultiByte(const wchar_t* wide, char* dst, size_t size) {
  size_t needed = 0;
  for (const wchar_t* p = wide; *p != 0; ++p) {
    const auto value = static_cast<uint32_t>(*p);
    if (!IsScalarValue(value)) {
      if (dst != nullptr && size > 0) dst[0] = 0;
      return kStrToNul;
    }
    needed += Utf8SequenceLength(value);
  }
  if (dst == nullptr || size == 0) return needed;
  size_t used = 0;
  for (const wchar_t* p = wide; *p != 0; ++p) {
    const auto value = static_cast<uint32_t>(*p);
    const size_t length = Utf8SequenceLength(value);
    if (used + length > size - 1) {
      dst[used] = 0;
      return size;
    }
    EncodeUtf8(value, length, dst + used);
    used += length;
  }
  dst[used] = 0;
  return used;
}

size_t MultiByteToWide(const char* text, wchar_t* dst, size_t size) {
  const std::string_view input(text);
  size_t needed = 0;
  for (size_t i = 0; i < input.size(); ++needed) {
    uint32_t value = 0;
    if (!DecodeUtf8(input, &i, &value)) {
      if (dst != nullptr && size > 0) dst[0] = 0;
      return kStrToNul;
    }
  }
  if (dst == nullptr || size == 0) return needed;
  size_t used = 0;
  for (size_t i = 0; i < input.size(); ++used) {
    uint32_t value = 0;
    if (!DecodeUtf8(input, &i, &value)) break;  // validated above
    if (used == size - 1) {
      dst[used] = 0;
      return size;
    }
    dst[used] = static_cast<wchar_t>(value);
  }
  dst[used] = 0;
  return used;
}
