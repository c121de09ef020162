#include <string.h>  // explicit_bzero

#include <charconv>
#include <cwctype>
#include <new>
#include <string>
#include <vector>

#include "platform/store/typed_values.h"
#include "platform/util/base64.h"
#include "platform/util/charset.h"
#include "platform/util/scrambler.h"

namespace {

// A number is at most 16 hexadecimal digits; the buffer holds one more to see
// a longer value, and the NUL.
constexpr size_t kNumberBufferChars = 17;

template <typename T>
uint32_t SetHex(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name, T value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof(digits), value, 16);
  std::wstring text;
  for (const char* c = digits; c != result.ptr; ++c) {
    text.push_back(static_cast<wchar_t>(*c >= 'a' ? *c - 'a' + 'A' : *c));
  }
  return MemStoreSetAttribute(document, element, name, text.c_str());
}

uint32_t GetHex(const _XML_DOCUMENT* document, const _XML_NODE* element, const wchar_t* name,
                uint64_t* out) {
  wchar_t text[kNumberBufferChars];
  size_t size = kNumberBufferChars;
  if (MemStoreGetAttribute(document, element, name, text, &size) != kXmlOk) return kXmlFailure;
  uint64_t value = 0;
  for (const wchar_t* c = text; *c != 0; ++c) {
    const auto upper = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(*c)));
    uint64_t digit = 0;
    if (upper >= L'0' && upper <= L'9') {
      digit = static_cast<uint64_t>(upper - L'0');
    } else if (upper >= L'A' && upper <= L'F') {
      digit = static_cast<uint64_t>(upper - L'A' + 10);
    } else {
      return kXmlFailure;
    }
    value = value << 4 | digit;
  }
  *out = value;
  return kXmlOk;
}

bool WidenUtf8(const char* text, std::wstring* out) {
  const size_t needed = MultiByteToWide(text, nullptr, 0);
  if (needed == kStrToNul) return false;
  out->assign(needed + 1, L'\0');
  if (MultiByteToWide(text, out->data(), out->size()) != needed) return false;
  out->resize(needed);
  return true;
}

bool NarrowUtf8(const std::wstring& wide, std::string* out) {
  const size_t needed = WideToMultiByte(wide.c_str(), nullptr, 0);
  if (needed == kStrToNul) return false;
  out->assign(needed + 1, '\0');
  if (WideToMultiByte(wide.c_str(), out->data(), out->size()) != needed) return false;
  out->resize(needed);
  return true;
}

// Longest prefix of UTF-8 text that fits in limit bytes without cutting a
// character.
size_t Utf8Prefix(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

uint32_t SetBase64(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                   const void* bytes, size_t length) {
  uint64_t needed = 0;
  (void)Base64Encode(bytes, length, nullptr, 0, &needed);
  std::string encoded(static_cast<size_t>(needed), '\0');
  uint64_t written = 0;
  if (Base64Encode(bytes, length, encoded.data(), encoded.size(), &written) != 1) {
    return kXmlFailure;
  }
  const std::wstring wide(encoded.begin(), encoded.begin() + static_cast<ptrdiff_t>(written - 1));
  return MemStoreSetAttribute(document, element, name, wide.c_str());
}

// Decodes the attribute's base64 into out. False when it is missing or holds
// a character outside the alphabet.
bool DecodeBase64(const _XML_DOCUMENT* document, const _XML_NODE* element, const wchar_t* name,
                  std::vector<unsigned char>* out) {
  const _XML_NODE* attribute = MemStoreFindAttributeNode(element, name);
  std::wstring wide;
  if (attribute == nullptr || !MemStoreDecodeNode(document, attribute, &wide)) return false;
  std::string text;
  for (wchar_t c : wide) {
    if (c <= 0 || c >= 0x80) return false;
    text.push_back(static_cast<char>(c));
  }
  uint64_t needed = 0;
  if (Base64Decode(text.data(), text.size(), nullptr, 0, &needed) == 1) needed = 0;
  out->assign(static_cast<size_t>(needed), 0);
  uint64_t written = 0;
  if (Base64Decode(text.data(), text.size(), out->data(), out->size(), &written) != 1) {
    return false;
  }
  out->resize(static_cast<size_t>(written));
  return true;
}

struct Wiper {
  void* data;
  size_t bytes;
  ~Wiper() {
    if (data != nullptr) explicit_bzero(data, bytes);
  }
};

}  // namespace

uint32_t MemStoreSetDword(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                          uint32_t value) {
  return SetHex(document, element, name, value);
}

uint32_t MemStoreSetQword(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                          uint64_t value) {
  return SetHex(document, element, name, value);
}

uint32_t MemStoreGetDword(const _XML_DOCUMENT* document, const _XML_NODE* element,
                          const wchar_t* name, uint32_t* out) {
  uint64_t value = 0;
  if (out == nullptr || GetHex(document, element, name, &value) != kXmlOk) return kXmlFailure;
  *out = static_cast<uint32_t>(value);
  return kXmlOk;
}

uint32_t MemStoreGetQword(const _XML_DOCUMENT* document, const _XML_NODE* element,
                          const wchar_t* name, uint64_t* out) {
  if (out == nullptr) return kXmlFailure;
  return GetHex(document, element, name, out);
}

uint32_t MemStoreSetString(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                           const char* text) {
  if (text == nullptr) return kXmlFailure;
  try {
    std::wstring wide;
    if (!WidenUtf8(text, &wide)) return kXmlFailure;
    return MemStoreSetAttribute(document, element, name, wide.c_str());
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreGetString(const _XML_DOCUMENT* document, const _XML_NODE* element,
                           const wchar_t* name, char* buffer, size_t* size) {
  if (size == nullptr) return kXmlFailure;
  if (buffer != nullptr && *size > 0) buffer[0] = 0;
  try {
    const _XML_NODE* attribute = MemStoreFindAttributeNode(element, name);
    std::wstring wide;
    std::string text;
    if (attribute == nullptr || !MemStoreDecodeNode(document, attribute, &wide) ||
        !NarrowUtf8(wide, &text)) {
      return kXmlFailure;
    }
    if (buffer == nullptr) {
      *size = text.size() + 1;
      return kXmlOk;
    }
    if (*size == 0) return kXmlFailure;
    const size_t stored = Utf8Prefix(text, *size - 1);
    text.copy(buffer, stored);
    buffer[stored] = 0;
    *size = stored + 1;
    return kXmlOk;
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreSetBinary(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                           const void* bytes, size_t length) {
  if (bytes == nullptr) return kXmlFailure;
  try {
    return SetBase64(document, element, name, bytes, length);
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreGetBinary(const _XML_DOCUMENT* document, const _XML_NODE* element,
                           const wchar_t* name, void* buffer, size_t* size) {
  if (size == nullptr) return kXmlFailure;
  try {
    std::vector<unsigned char> bytes;
    if (!DecodeBase64(document, element, name, &bytes)) return kXmlFailure;
    Wiper wipe{bytes.data(), bytes.size()};
    if (buffer == nullptr) {
      if (*size != 0) return kXmlFailure;
      *size = bytes.size();
      return kXmlOk;
    }
    if (bytes.size() > *size) {
      *size = bytes.size();
      return kXmlFailure;
    }
    std::copy(bytes.begin(), bytes.end(), static_cast<unsigned char*>(buffer));
    *size = bytes.size();
    return kXmlOk;
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreSetUtf16(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                          const char* text) {
  if (text == nullptr) return kXmlFailure;
  try {
    bool complete = false;
    std::u16string units = NarrowToU16String(text, kStrToNul, &complete);
    Wiper wipe{units.data(), units.size() * sizeof(char16_t)};
    if (!complete) return kXmlFailure;
    ScrambleBytes(units.data(), 0, units.size() * sizeof(char16_t));
    return SetBase64(document, element, name, units.data(), units.size() * sizeof(char16_t));
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreGetUtf16(const _XML_DOCUMENT* document, const _XML_NODE* element,
                          const wchar_t* name, char* buffer, size_t* size) {
  if (buffer == nullptr || size == nullptr || *size == 0) return kXmlFailure;
  buffer[0] = 0;
  try {
    std::vector<unsigned char> bytes;
    if (!DecodeBase64(document, element, name, &bytes)) return kXmlFailure;
    Wiper wipe_bytes{bytes.data(), bytes.size()};
    const size_t units = bytes.size() / sizeof(char16_t);
    if (bytes.size() % sizeof(char16_t) != 0 || units > *size) return kXmlFailure;
    ScrambleBytes(bytes.data(), 0, bytes.size());
    std::u16string text(units, u'\0');
    Wiper wipe_text{text.data(), text.size() * sizeof(char16_t)};
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<unsigned char*>(text.data()));
    // Each UTF-16 unit needs at most three UTF-8 bytes.
    std::string narrow(units * 3 + 1, '\0');
    Wiper wipe_narrow{narrow.data(), narrow.size()};
    if (!Utf16ToLocal(text.c_str(), narrow.data(), narrow.size())) return kXmlFailure;
    const size_t length = std::char_traits<char>::length(narrow.c_str());
    if (length + 1 > *size) return kXmlFailure;
    narrow.copy(buffer, length);
    buffer[length] = 0;
    *size = units;
    return kXmlOk;
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}
