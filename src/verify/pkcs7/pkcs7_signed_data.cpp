#include "verify/pkcs7/pkcs7_signed_data.h"

#include "verify/asn1/asn1.h"
#include "verify/asn1/asn1_tags.h"

namespace {

constexpr uint8_t kTagContent = Asn1ContextTag(0);
constexpr uint8_t kTagCertificates = Asn1ContextTag(0);
constexpr uint8_t kTagCrls = Asn1ContextTag(1);
// version, digestAlgorithms, contentInfo, signerInfos at the least.
constexpr int64_t kMinSignedDataElements = 4;

// Tag and length of the element at the start of `bytes`; false when they do
// not fit or the length is indefinite and allow_indefinite is false. For the
// indefinite form the length runs up to (not including) the end-of-contents.
bool ReadHeader(std::span<const uint8_t> bytes, bool allow_indefinite, int64_t& header,
                int64_t& length) {
  if (bytes.size() < 2) return false;
  int length_octets = 0;
  bool indefinite = false;
  if (!ASN1::DecodeLength(bytes.subspan(1), length, length_octets, indefinite)) return false;
  header = 1 + length_octets;
  if (header > static_cast<int64_t>(bytes.size())) return false;
  if (!indefinite) return length <= static_cast<int64_t>(bytes.size()) - header;
  if (!allow_indefinite) return false;
  int64_t end = header;
  if (!ASN1::FindEndOfContents(bytes, end, true)) return false;
  // FindEndOfContents stops just past the 00 00 that closes the element.
  length = end - header - 2;
  return length >= 0;
}

}  // namespace

namespace CPKCS7 {

SignedData::SignedData() = default;
SignedData::~SignedData() = default;

CountedPtr<SignedData> SignedData::Parse(const ByteArray& bytes, bool decode_all) {
  CountedPtr<ASN1> root = ASN1::Parse(bytes, decode_all);
  if (root.IsEmpty()) return {};
  CountedPtr<SignedData> result = MakeCounted<SignedData>();
  if (result.IsEmpty() || !result->ParseNode(*root)) return {};
  return result;
}

bool SignedData::ParseCertificates(ASN1& certificates) {
  if (!certificates.EnsureDecoded(false)) return false;
  for (int64_t i = 0; i < certificates.GetChildCount(); ++i) {
    const ASN1& child = *certificates.GetChild(i);
    if (child.GetTag() != kAsn1Sequence) continue;
    CountedPtr<X509Certificate> certificate = X509Certificate::FromBytes(child.Encoding());
    // One unreadable certificate refuses the whole message.
    if (certificate.IsEmpty() || !certificates_->Add(certificate)) return false;
  }
  return true;
}

bool SignedData::ParseNode(ASN1& root) {
  if (!root.EnsureDecoded(false) || !root.HasChild(0)) return false;
  ASN1& body = *root.GetChild(0);
  if (!body.EnsureDecoded(false) || body.GetTag() != kAsn1Sequence ||
      body.GetChildCount() < kMinSignedDataElements) {
    return false;
  }
  const ASN1* version = body.GetChildIfTag(0, kAsn1Integer);
  if (version == nullptr || version->GetValueLength() == 0) return false;

  ASN1& digests = *body.GetChild(1);
  if (digests.GetTag() != kAsn1Set || !digests.EnsureDecoded(false)) return false;
  for (int64_t i = 0; i < digests.GetChildCount(); ++i) {
    ASN1& member = *digests.GetChild(i);
    if (!member.EnsureDecoded(false) || AlgorithmIdentifier::Parse(member).IsEmpty()) return false;
  }

  content_info_ = ContentInfo::Parse(body.GetChild(2)->Encoding(), false);

  certificates_ = MakeCounted<X509CertificateCollection>();
  if (certificates_.IsEmpty()) return false;
  int64_t position = 3;
  if (body.GetChild(position)->GetTag() == kTagCertificates) {
    if (!ParseCertificates(*body.GetChild(position))) return false;
    ++position;
  }
  if (body.HasChild(position)) {
    ASN1& next = *body.GetChild(position);
    if (!next.EnsureDecoded(false)) return false;
    // Revocation lists are carried but never consulted.
    if (next.GetTag() == kTagCrls) ++position;
  }
  if (body.HasChild(position)) {
    ASN1& signers = *body.GetChild(position);
    if (!signers.EnsureDecoded(false)) return false;
    // Only the first SignerInfo is read; one this reader cannot parse leaves
    // the message without a signer rather than refusing it.
    if (signers.GetChildCount() > 0) signer_info_ = SignerInfo::Parse(*signers.GetChild(0));
  }
  has_authenticated_attributes_ =
      (!signer_info_.IsEmpty() && !signer_info_->GetAuthenticatedAttributes().IsEmpty()) ? 1 : 0;
  return true;
}

bool SignedData::LocateContent(const ByteArray& field, std::span<const uint8_t>& out) {
  out = {};
  const std::span<const uint8_t> bytes = field.AsSpan();
  if (bytes.size() < 2 || bytes[0] != kTagContent) return false;
  int64_t header = 0;
  int64_t length = 0;
  if (!ReadHeader(bytes, true, header, length) || length < 2) return false;
  const std::span<const uint8_t> inside =
      bytes.subspan(static_cast<size_t>(header), static_cast<size_t>(length));
  // The digest must bind exactly the octets that readers of the content take:
  // an inner element of indefinite length has no delimited octets, and a
  // constructed OCTET STRING's octets are its segments' headers, not its value.
  if (inside[0] == (kAsn1OctetString | kAsn1Constructed)) return false;
  int64_t inner_header = 0;
  int64_t inner_length = 0;
  if (!ReadHeader(inside, false, inner_header, inner_length)) return false;
  out = inside.subspan(static_cast<size_t>(inner_header), static_cast<size_t>(inner_length));
  return true;
}

}  // namespace CPKCS7
