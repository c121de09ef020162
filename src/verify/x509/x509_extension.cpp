#include "verify/x509/x509_extension.h"

#include <cstring>

#include "verify/asn1/asn1_tags.h"
#include "verify/asn1/oid_text.h"

namespace {

constexpr uint8_t kTrue = 0xFF;

bool HasParsedContent(const ASN1& value) {
  return value.GetTag() == kAsn1OctetString && value.GetChildCount() == 1;
}

}  // namespace

X509Extension::X509Extension(const X509Extension& generic) {
  if (!HasParsedContent(generic.value_)) return;
  if (!oid_.CopyFrom(generic.oid_) || !value_.CopyFrom(generic.value_)) {
    oid_ = Oid();
    value_ = ASN1();
    return;
  }
  critical_ = generic.critical_;
}

CountedPtr<X509Extension> X509Extension::Create(ASN1& node) {
  if (node.GetTag() != kAsn1Sequence || !node.EnsureDecoded(true)) return {};
  if (node.GetChildCount() < 2 || node.GetChild(0)->GetTag() != kAsn1Oid) return {};
  CountedPtr<X509Extension> extension = MakeCounted<X509Extension>();
  if (extension.IsEmpty() || !OidToText(*node.GetChild(0), extension->oid_)) return {};
  const ASN1& second = *node.GetChild(1);
  const std::span<const uint8_t> flag = second.ValueSpan();
  extension->critical_ = second.GetTag() == kAsn1Boolean && !flag.empty() && flag[0] == kTrue;
  ASN1& value = extension->value_;
  if (!value.CopyFrom(*node.GetChild(node.GetChildCount() - 1))) return {};
  if (value.GetTag() == kAsn1OctetString && value.GetValueLength() > 0 &&
      value.GetChildCount() == 0) {
    CountedPtr<ASN1> content = ASN1::Parse(value.Value(), true);
    if (content.IsEmpty() || !value.AddChild(std::move(*content))) return {};
  }
  if (!extension->Decode()) return {};
  return extension;
}

ASN1& X509Extension::GetValue() {
  if (!value_.IsValid()) (void)BuildValue();
  return value_;
}

CountedPtr<ASN1> X509Extension::ParseContent() const {
  if (value_.GetValueLength() == 0) return {};
  return ASN1::Parse(value_.Value(), true);
}

const ASN1* X509Extension::GetContent() const {
  return HasParsedContent(value_) ? value_.GetChild(0) : nullptr;
}

CountedPtr<X509ExtensionCollection> X509ExtensionCollection::Create(ASN1& node) {
  CountedPtr<X509ExtensionCollection> collection = MakeCounted<X509ExtensionCollection>();
  if (collection.IsEmpty() || !collection->Parse(node)) return {};
  return collection;
}

int X509ExtensionCollection::Parse(ASN1& node) {
  parsed_ = 1;
  if (node.GetTag() != kAsn1Sequence || !node.EnsureDecoded(true)) return 0;
  extensions_.RemoveAll();
  if (!extensions_.SetSize(0, node.GetChildCount())) return 0;
  for (int64_t i = 0; i < node.GetChildCount(); ++i) {
    CountedPtr<X509Extension> extension = X509Extension::Create(*node.GetChild(i));
    if (extension.IsEmpty() || !extensions_.Add(extension)) return 0;
  }
  return 1;
}

int64_t X509ExtensionCollection::IndexOf(const char* oid) const {
  if (oid == nullptr) return -1;
  for (int64_t i = 0; i < extensions_.GetSize(); ++i) {
    if (!extensions_[i].IsEmpty() && extensions_[i]->GetOid().Equals(oid)) return i;
  }
  return -1;
}

CountedPtr<X509Extension> X509ExtensionCollection::Get(const char* oid) const {
  const int64_t i = IndexOf(oid);
  if (i < 0) return {};
  return extensions_[i];
}

int X509ExtensionCollection::SetAtGrow(int64_t index, const CountedPtr<X509Extension>& extension) {
  return extensions_.SetAtGrow(index, extension);
}
