#pragma once

#include "verify/asn1/asn1.h"
#include "verify/asn1/oid.h"
#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"

// Content types that the signed-data reader names.
inline constexpr char kOidPkcs7SignedData[] = "1.2.840.113549.1.7.2";
inline constexpr char kOidPkcs7Data[] = "1.2.840.113549.1.7.1";

// One member of a digestAlgorithms SET: the algorithm's OID text only.
class AlgorithmIdentifier {
 public:
  // A SEQUENCE of one or two elements whose first is an OID; empty otherwise.
  [[nodiscard]] static CountedPtr<AlgorithmIdentifier> Parse(const ASN1& node);
  const Oid& GetOid() const { return oid_; }

 private:
  Oid oid_;
};

namespace CPKCS7 {

// contentType and the full [0] content element (empty when absent).
class ContentInfo {
 public:
  [[nodiscard]] static CountedPtr<ContentInfo> Parse(const ByteArray& bytes, bool decode_all);
  [[nodiscard]] bool ParseNode(ASN1& node);

  const Oid& GetContentType() const { return content_type_; }
  const ByteArray& GetContent() const { return content_; }

 private:
  Oid content_type_;
  ByteArray content_;
};

}  // namespace CPKCS7
