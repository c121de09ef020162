#pragma once

#include <cstdint>
#include <memory>

#include "verify/asn1/asn1.h"
#include "verify/common/carray.h"

// One alternative name of a certificate or a CRL distribution point, held as text.
class GeneralName {
 public:
  static constexpr int32_t kNone = -1;
  static constexpr int32_t kRfc822Name = 1;
  static constexpr int32_t kDnsName = 2;
  static constexpr int32_t kUri = 6;
  static constexpr int32_t kIpAddress = 7;

  GeneralName() = default;

  // Reads an rfc822Name, dNSName, URI (as text) or iPAddress (dotted or eight
  // hexadecimal groups); other forms, empty names and names with a NUL fail.
  [[nodiscard]] int Decode(const ASN1& node);
  // dNSName: the stored name is a pattern for the host text; others compare exactly.
  [[nodiscard]] int Matches(const char* text) const;
  const char* GetText() const { return text_.get(); }
  int32_t GetType() const { return type_; }

 private:
  [[nodiscard]] int SetText(const char* text, size_t length);

  int32_t type_ = kNone;
  std::unique_ptr<char[]> text_;
};

// The names of one distribution point (its fullName), or a subjectAltName list.
class DistributionPoint {
 public:
  // Decodes every child of a GeneralNames node (decoding the node first when
  // needed) and appends it; names added before a failure stay.
  [[nodiscard]] int AddNames(ASN1& names);
  int64_t GetCount() const { return names_.GetSize(); }
  const GeneralName* GetAt(int64_t i) const { return names_[i].get(); }

 private:
  CArrayNoThrow<std::unique_ptr<GeneralName>> names_;
};
