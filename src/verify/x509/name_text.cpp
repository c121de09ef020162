#include "verify/x509/name_text.h"

#include <cstring>
#include <cwchar>
#include <new>

#include "platform/util/charset.h"
#include "verify/asn1/asn1_tags.h"
#include "verify/asn1/oid_text.h"
#include "verify/common/carray.h"

namespace {

// The comparison's value buffer: longer values count as malformed.
constexpr size_t kCompareValueCapacity = 512;
constexpr size_t kAllocFirstCapacity = 256;
constexpr size_t kAllocLastCapacity = 4096;
constexpr wchar_t kSeparator[] = L", ";
constexpr wchar_t kUnknownAttribute[] = L"OID.Unknown";
constexpr wchar_t kQuoted[] = L",+\"\\<>;";

struct AttributeName {
  const uint8_t* oid;
  size_t oid_length;
  const wchar_t* name;
};

constexpr uint8_t kCN[] = {0x55, 0x04, 0x03};
constexpr uint8_t kL[] = {0x55, 0x04, 0x07};
constexpr uint8_t kO[] = {0x55, 0x04, 0x0A};
constexpr uint8_t kOU[] = {0x55, 0x04, 0x0B};
constexpr uint8_t kE[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01};
constexpr uint8_t kC[] = {0x55, 0x04, 0x06};
constexpr uint8_t kS[] = {0x55, 0x04, 0x08};
constexpr uint8_t kSTREET[] = {0x55, 0x04, 0x09};
constexpr uint8_t kT[] = {0x55, 0x04, 0x0C};
constexpr uint8_t kG[] = {0x55, 0x04, 0x2A};
constexpr uint8_t kI[] = {0x55, 0x04, 0x2B};
constexpr uint8_t kSN[] = {0x55, 0x04, 0x04};
constexpr uint8_t kSERIALNUMBER[] = {0x55, 0x04, 0x05};
constexpr uint8_t kDC[] = {0x09, 0x92, 0x26, 0x89, 0x93, 0xF2, 0x2C, 0x64, 0x01, 0x19};
constexpr uint8_t kDescription[] = {0x55, 0x04, 0x0D};
constexpr uint8_t kPostalCode[] = {0x55, 0x04, 0x11};
constexpr uint8_t kPOBox[] = {0x55, 0x04, 0x12};
constexpr uint8_t kPhone[] = {0x55, 0x04, 0x14};
constexpr uint8_t kX21Address[] = {0x55, 0x04, 0x18};
constexpr uint8_t kDnQualifier[] = {0x55, 0x04, 0x2E};
constexpr uint8_t kUID[] = {0x09, 0x92, 0x26, 0x89, 0x93, 0xF2, 0x2C, 0x64, 0x01, 0x01};

#define UPD_ATTRIBUTE(oid, name) \
  { oid, sizeof(oid), name }
constexpr AttributeName X500AttributeNames[] = {
    UPD_ATTRIBUTE(kCN, L"CN"),
    UPD_ATTRIBUTE(kL, L"L"),
    UPD_ATTRIBUTE(kO, L"O"),
    UPD_ATTRIBUTE(kOU, L"OU"),
    UPD_ATTRIBUTE(kE, L"E"),
    UPD_ATTRIBUTE(kC, L"C"),
    UPD_ATTRIBUTE(kS, L"S"),
    UPD_ATTRIBUTE(kSTREET, L"STREET"),
    UPD_ATTRIBUTE(kT, L"T"),
    UPD_ATTRIBUTE(kG, L"G"),
    UPD_ATTRIBUTE(kI, L"I"),
    UPD_ATTRIBUTE(kSN, L"SN"),
    UPD_ATTRIBUTE(kSERIALNUMBER, L"SERIALNUMBER"),
    UPD_ATTRIBUTE(kDC, L"DC"),
    UPD_ATTRIBUTE(kDescription, L"Description"),
    UPD_ATTRIBUTE(kPostalCode, L"PostalCode"),
    UPD_ATTRIBUTE(kPOBox, L"POBox"),
    UPD_ATTRIBUTE(kPhone, L"Phone"),
    UPD_ATTRIBUTE(kX21Address, L"X21Address"),
    UPD_ATTRIBUTE(kDnQualifier, L"dnQualifier"),
    UPD_ATTRIBUTE(kUID, L"UID"),
};
#undef UPD_ATTRIBUTE

// Appends to a caller's fixed buffer, always NUL-terminated.
class WideText {
 public:
  WideText(wchar_t* buffer, size_t capacity) : buffer_(buffer), capacity_(capacity) {
    if (capacity_ > 0) buffer_[0] = 0;
  }
  [[nodiscard]] bool Append(const wchar_t* text, size_t n) {
    if (buffer_ == nullptr || length_ + n + 1 > capacity_) return false;
    std::wmemcpy(buffer_ + length_, text, n);
    length_ += n;
    buffer_[length_] = 0;
    return true;
  }
  [[nodiscard]] bool Append(const wchar_t* text) { return Append(text, std::wcslen(text)); }
  const wchar_t* Get() const { return buffer_; }

 private:
  wchar_t* buffer_;
  size_t capacity_;
  size_t length_ = 0;
};

// A private, NUL-terminated wide copy of a string value.
struct WideValue {
  std::unique_ptr<wchar_t[]> text;
  size_t length = 0;
};

bool DecodeBmp(std::span<const uint8_t> bytes, WideValue& out) {
  const size_t units = bytes.size() / 2;
  out.text.reset(new (std::nothrow) wchar_t[units + 1]);
  if (!out.text) return false;
  for (size_t i = 0; i < units; ++i) {
    out.text[i] = static_cast<wchar_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]);
  }
  out.text[units] = 0;
  out.length = units;
  return true;
}

bool DecodeNarrow(std::span<const uint8_t> bytes, bool teletex, WideValue& out) {
  std::unique_ptr<char[]> narrow(new (std::nothrow) char[bytes.size() + 1]);
  if (!narrow) return false;
  if (!bytes.empty()) std::memcpy(narrow.get(), bytes.data(), bytes.size());
  narrow[bytes.size()] = 0;
  const size_t needed =
      teletex ? MultiByteToWide(narrow.get(), nullptr, 0) : Utf8ToWide(narrow.get(), nullptr, 0);
  if (needed == kStrToNul || (needed == 0 && !bytes.empty())) return false;
  out.text.reset(new (std::nothrow) wchar_t[needed + 1]);
  if (!out.text) return false;
  out.text[0] = 0;
  if (needed > 0) {
    const size_t written = teletex ? MultiByteToWide(narrow.get(), out.text.get(), needed + 1)
                                   : Utf8ToWide(narrow.get(), out.text.get(), needed + 1);
    if (written == 0 || written == kStrToNul) return false;
  }
  out.length = std::wcslen(out.text.get());
  return true;
}

bool NeedsQuotes(const WideValue& value) {
  if (value.length == 0) return false;
  if (value.text[0] == L' ' || value.text[value.length - 1] == L' ') return true;
  return std::wcspbrk(value.text.get(), kQuoted) != nullptr;
}

bool AppendValue(const ASN1& value, bool quote, WideText& out) {
  WideValue text;
  if (value.GetTag() == kAsn1BmpString) {
    // BMP values are shown as they are: never quoted, nothing when empty.
    return DecodeBmp(value.ValueSpan(), text) && out.Append(text.text.get(), text.length);
  }
  if (!DecodeNarrow(value.ValueSpan(), value.GetTag() == kAsn1TeletexString, text)) return false;
  if (text.length == 0) return out.Append(L"\"\"");
  if (quote && NeedsQuotes(text)) {
    return out.Append(L"\"") && out.Append(text.text.get(), text.length) && out.Append(L"\"");
  }
  return out.Append(text.text.get(), text.length);
}

bool AppendRdn(const ASN1& rdn, WideText& out) {
  bool first = true;
  for (int64_t i = 0; i < rdn.GetChildCount(); ++i) {
    const ASN1& element = *rdn.GetChild(i);
    if (element.GetChildCount() < 2) continue;
    if (!first && !out.Append(kSeparator)) return false;
    first = false;
    const wchar_t* name = X500AttributeName(*element.GetChild(0));
    if (!out.Append(name != nullptr ? name : kUnknownAttribute) || !out.Append(L"=") ||
        !AppendValue(*element.GetChild(1), true, out)) {
      return false;
    }
  }
  return true;
}

// A fully decoded tree of the Name, whatever state the caller's node is in.
CountedPtr<ASN1> DecodedName(const ASN1& name) { return ASN1::Parse(name.Encoding(), true); }

// The attribute's table name or, for other OIDs, its dotted text, widened.
bool AttributeNameText(const ASN1& oid, wchar_t* buffer, size_t capacity) {
  const wchar_t* known = X500AttributeName(oid);
  WideText out(buffer, capacity);
  if (known != nullptr) return out.Append(known);
  Oid dotted;
  if (oid.GetTag() != kAsn1Oid || !OidToText(oid, dotted) || dotted.GetText() == nullptr) {
    return false;
  }
  for (const char* p = dotted.GetText(); *p != 0; ++p) {
    const wchar_t c = static_cast<wchar_t>(static_cast<unsigned char>(*p));
    if (!out.Append(&c, 1)) return false;
  }
  return true;
}

}  // namespace

const wchar_t* X500AttributeName(const ASN1& oid) {
  const std::span<const uint8_t> content = oid.ValueSpan();
  for (const AttributeName& entry : X500AttributeNames) {
    if (content.size() == entry.oid_length &&
        std::memcmp(content.data(), entry.oid, entry.oid_length) == 0) {
      return entry.name;
    }
  }
  return nullptr;
}

bool NameToText(const ASN1& name, wchar_t* buffer, size_t capacity, bool reverse) {
  if (buffer == nullptr || capacity == 0) return false;
  WideText out(buffer, capacity);
  CountedPtr<ASN1> tree = DecodedName(name);
  if (tree.IsEmpty()) return false;
  const int64_t count = tree->GetChildCount();
  for (int64_t k = 0; k < count; ++k) {
    const int64_t i = reverse ? count - 1 - k : k;
    if (k != 0 && !out.Append(kSeparator)) return false;
    if (!AppendRdn(*tree->GetChild(i), out)) return false;
  }
  return true;
}

bool NameToTextAlloc(const ASN1& name, std::unique_ptr<wchar_t[]>& text, bool reverse) {
  text.reset();
  for (size_t capacity = kAllocFirstCapacity; capacity <= kAllocLastCapacity; capacity *= 2) {
    text.reset(new (std::nothrow) wchar_t[capacity]);
    if (!text) return false;
    if (NameToText(name, text.get(), capacity, reverse)) return true;
  }
  // The longest attempt keeps the text that fitted.
  return true;
}

uint32_t DistinguishedNameCompare(const ASN1& name, const NameRequirementList* list) {
  if (list == nullptr || list->count == 0 || list->entries == nullptr) {
    return kNameNothingToCompare;
  }
  CountedPtr<ASN1> tree = DecodedName(name);
  if (tree.IsEmpty()) return kNameMalformed;
  if (tree->GetChildCount() == 0) return kNameNothingToCompare;
  CArrayNoThrow<uint32_t> verdicts;
  std::unique_ptr<wchar_t[]> value(new (std::nothrow) wchar_t[kCompareValueCapacity]);
  std::unique_ptr<wchar_t[]> attribute(new (std::nothrow) wchar_t[kCompareValueCapacity]);
  if (!value || !attribute || !verdicts.SetSize(list->count)) return kNameNoMemory;
  for (uint32_t i = 0; i < list->count; ++i) verdicts[i] = 0;

  bool unmentioned = false;
  for (int64_t r = 0; r < tree->GetChildCount(); ++r) {
    const ASN1& rdn = *tree->GetChild(r);
    if (!rdn.HasChild(0) || rdn.GetChild(0)->GetChildCount() < 2) return kNameMalformed;
    const ASN1& element = *rdn.GetChild(0);
    if (!AttributeNameText(*element.GetChild(0), attribute.get(), kCompareValueCapacity)) {
      return kNameMalformed;
    }
    WideText text(value.get(), kCompareValueCapacity);
    if (!AppendValue(*element.GetChild(1), false, text)) return kNameMalformed;
    bool mentioned = false;
    for (uint32_t i = 0; i < list->count && !mentioned; ++i) {
      const NameRequirement& entry = list->entries[i];
      if (entry.name == nullptr || std::wcscmp(entry.name, attribute.get()) != 0) continue;
      mentioned = true;
      const bool same = entry.value != nullptr && std::wcscmp(entry.value, value.get()) == 0;
      verdicts[i] = same ? kNameExactMatch : kNameMismatch;
    }
    if (!mentioned) unmentioned = true;
  }
  for (uint32_t i = 0; i < list->count; ++i) {
    if (verdicts[i] != kNameExactMatch) return kNameMismatch;
  }
  return unmentioned ? kNameMatchWithMore : kNameExactMatch;
}
