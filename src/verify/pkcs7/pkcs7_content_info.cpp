#include "verify/pkcs7/pkcs7_content_info.h"

#include "verify/asn1/oid_text.h"

namespace {

constexpr uint8_t kTagOid = 0x06;
constexpr uint8_t kTagSequence = 0x30;
constexpr uint8_t kTagContext0 = 0xA0;

}  // namespace

CountedPtr<AlgorithmIdentifier> AlgorithmIdentifier::Parse(const ASN1& node) {
  if (node.GetTag() != kTagSequence) return {};
  const int64_t count = node.GetChildCount();
  if (count < 1 || count > 2) return {};
  const ASN1* oid = node.GetChildIfTag(0, kTagOid);
  if (oid == nullptr) return {};
  CountedPtr<AlgorithmIdentifier> result = MakeCounted<AlgorithmIdentifier>();
  if (result.IsEmpty() || !OidToText(*oid, result->oid_)) return {};
  return result;
}

namespace CPKCS7 {

CountedPtr<ContentInfo> ContentInfo::Parse(const ByteArray& bytes, bool decode_all) {
  CountedPtr<ASN1> root = ASN1::Parse(bytes, decode_all);
  if (root.IsEmpty()) return {};
  CountedPtr<ContentInfo> result = MakeCounted<ContentInfo>();
  if (result.IsEmpty() || !result->ParseNode(*root)) return {};
  return result;
}

bool ContentInfo::ParseNode(ASN1& node) {
  if (node.GetTag() != kTagSequence || !node.EnsureDecoded(false)) return false;
  const int64_t count = node.GetChildCount();
  if (count < 1 || count > 2) return false;
  const ASN1* type = node.GetChildIfTag(0, kTagOid);
  if (type == nullptr || !OidToText(*type, content_type_)) return false;
  if (count == 1) return true;
  const ASN1* content = node.GetChildIfTag(1, kTagContext0);
  if (content == nullptr) return false;
  content_ = content->Encoding();
  return true;
}

}  // namespace CPKCS7
