#include "verify/x509/general_name.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <span>

#include "verify/asn1/asn1_tags.h"
#include "verify/x509/dns_pattern.h"

namespace {

constexpr uint8_t kTagRfc822Name = Asn1ContextPrimitiveTag(1);
constexpr uint8_t kTagDnsName = Asn1ContextPrimitiveTag(2);
constexpr uint8_t kTagUri = Asn1ContextPrimitiveTag(6);
constexpr uint8_t kTagIpAddress = Asn1ContextPrimitiveTag(7);
constexpr size_t kIpv4Octets = 4;
constexpr size_t kIpv6Octets = 16;
// "hhhh:" eight times, with the NUL.
constexpr size_t kIpTextSize = 40;

}  // namespace

int GeneralName::SetText(const char* text, size_t length) {
  std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
  if (copy == nullptr) return 0;
  std::memcpy(copy.get(), text, length);
  copy[length] = '\0';
  text_ = std::move(copy);
  return 1;
}

int GeneralName::Decode(const ASN1& node) {
  const std::span<const uint8_t> content = node.ValueSpan();
  switch (node.GetTag()) {
    case kTagRfc822Name:
    case kTagDnsName:
    case kTagUri: {
      type_ = node.GetTag() == kTagRfc822Name ? kRfc822Name
              : node.GetTag() == kTagDnsName  ? kDnsName
                                              : kUri;
      if (content.empty()) return 0;
      // A NUL would cut the text short: "good.example\0.evil.example" must
      // not read as "good.example".
      if (std::memchr(content.data(), 0, content.size()) != nullptr) return 0;
      return SetText(reinterpret_cast<const char*>(content.data()), content.size());
    }
    case kTagIpAddress: {
      type_ = kIpAddress;
      char text[kIpTextSize];
      if (content.size() == kIpv4Octets) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", content[0], content[1], content[2],
                      content[3]);
      } else if (content.size() == kIpv6Octets) {
        size_t at = 0;
        for (size_t i = 0; i < kIpv6Octets; i += 2) {
          at += static_cast<size_t>(std::snprintf(text + at, sizeof text - at,
                                                  i == 0 ? "%04x" : ":%04x",
                                                  (content[i] << 8) | content[i + 1]));
        }
      } else {
        return 0;
      }
      return SetText(text, std::strlen(text));
    }
    default:
      return 0;
  }
}

int GeneralName::Matches(const char* text) const {
  if (text == nullptr || text_ == nullptr) return 0;
  if (type_ == kDnsName) return MatchDnsPattern(text, text_.get());
  return std::strcmp(text_.get(), text) == 0 ? 1 : 0;
}

int DistributionPoint::AddNames(ASN1& names) {
  if (names.GetValueLength() == 0 || !names.EnsureDecoded(true)) return 0;
  for (int64_t i = 0; i < names.GetChildCount(); ++i) {
    auto name = std::unique_ptr<GeneralName>(new (std::nothrow) GeneralName());
    if (name == nullptr || !name->Decode(*names.GetChild(i))) return 0;
    const int64_t at = names_.GetSize();
    if (!names_.SetSize(at + 1)) return 0;
    names_[at] = std::move(name);
  }
  return 1;
}
