#include "verify/x509/x509_certificate.h"

#include <sched.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/rsa_pkcs1.h"
#include "verify/asn1/asn1_tags.h"
#include "verify/asn1/asn1_time.h"
#include "verify/asn1/oid_text.h"
#include "verify/x509/pem_decode.h"

namespace {

constexpr uint8_t kTagVersion = Asn1ContextTag(0);
constexpr uint8_t kTagIssuerUniqueId = Asn1ContextPrimitiveTag(1);
constexpr uint8_t kTagSubjectUniqueId = Asn1ContextPrimitiveTag(2);
constexpr uint8_t kTagExtensions = Asn1ContextTag(3);

constexpr uint8_t kOidEcPublicKey[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01};
constexpr uint8_t kOidP256[] = {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};
constexpr uint8_t kOidP384[] = {0x2B, 0x81, 0x04, 0x00, 0x22};
constexpr uint8_t kOidP521[] = {0x2B, 0x81, 0x04, 0x00, 0x23};

// Signature algorithms whose signature value goes to the checker unchanged.
constexpr const char* kPlainSignatureOids[] = {
    "1.2.840.113549.1.1.2",  "1.2.840.113549.1.1.4",  "1.2.840.113549.1.1.5",
    "1.3.14.3.2.29",         "1.2.840.113549.1.1.14", "1.2.840.113549.1.1.11",
    "1.2.840.113549.1.1.12", "1.2.840.113549.1.1.13", "1.2.840.10045.4.3.2",
    "1.2.840.10045.4.3.3",   "1.2.840.10045.4.3.4",
};
constexpr const char* kDsaWithSha1Oid = "1.2.840.10040.4.3";
// A dsa-with-sha1 signature becomes r and s of 20 bytes each.
constexpr int64_t kDsaHalfBytes = 20;

// Certificate keys use small public exponents (65537 nearly always). A larger
// one would let a hostile issuer make each signature check a full-size
// exponentiation, and a chain build makes up to a hundred of them.
constexpr size_t kMaxExponentBytes = 8;

// Spin rounds of the hash-cache lock before it falls back to yielding.
constexpr int kSpinRounds = 5;

template <size_t N>
bool ContentIs(const ASN1& node, const uint8_t (&oid)[N]) {
  return node.ValueEquals(static_cast<int64_t>(N), oid) != 0;
}

void PauseHint() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Right-aligns the last 20 bytes of an INTEGER's content into out.
void CopyRightAligned(std::span<const uint8_t> value, uint8_t* out) {
  if (static_cast<int64_t>(value.size()) > kDsaHalfBytes) {
    value = value.subspan(value.size() - kDsaHalfBytes);
  }
  std::memcpy(out + (kDsaHalfBytes - static_cast<int64_t>(value.size())), value.data(),
              value.size());
}

// Length of an unsigned big-endian number without its leading zero octets.
size_t SignificantBytes(std::span<const uint8_t> number) {
  size_t i = 0;
  while (i < number.size() && number[i] == 0) ++i;
  return number.size() - i;
}

}  // namespace

CountedPtr<X509Certificate> X509Certificate::FromBytes(const ByteArray& bytes) {
  CountedPtr<X509Certificate> certificate = MakeCounted<X509Certificate>(ConstructionKey());
  if (certificate.IsEmpty()) return {};
  if (!bytes.IsEmpty() && bytes.GetAt(0) == '-') {
    ByteArray der;
    if (!PemDecode("CERTIFICATE", bytes, der) || !certificate->Parse(der)) return {};
    return certificate;
  }
  if (!certificate->Parse(bytes)) return {};
  return certificate;
}

bool X509Certificate::Parse(const ByteArray& der) {
  if (der.IsEmpty()) return false;
  CountedPtr<ASN1> root = ASN1::Parse(der, true);
  if (root.IsEmpty() || root->GetTag() != kAsn1Sequence || root->GetChildCount() <= 2) return false;
  ASN1& tbs = *root->GetChild(0);
  if (tbs.GetTag() != kAsn1Sequence || tbs.GetChildCount() < 1) return false;

  version_ = 1;
  int64_t s = 0;
  const ASN1& first = *tbs.GetChild(0);
  if (first.GetTag() == kTagVersion && first.GetChildCount() > 0 &&
      first.GetChild(0)->GetValueLength() > 0) {
    version_ = 1 + first.GetChild(0)->ValueSpan()[0];
    s = 1;
  }
  const ASN1* serial = tbs.GetChildIfTag(s, kAsn1Integer);
  if (serial == nullptr) return false;
  serial_ = serial->Value();

  if (const ASN1* issuer = tbs.GetChildIfTag(s + 2, kAsn1Sequence)) {
    if (!issuer_.CopyFrom(*issuer)) return false;
  }
  const ASN1* validity = tbs.GetChildIfTag(s + 3, kAsn1Sequence);
  if (validity == nullptr || !ParseValidity(*validity)) return false;
  if (const ASN1* subject = tbs.GetChildIfTag(s + 4, kAsn1Sequence)) {
    if (!subject_.CopyFrom(*subject)) return false;
  }
  const ASN1* key_info = tbs.GetChildIfTag(s + 5, kAsn1Sequence);
  if (key_info == nullptr || !ParseKeyInfo(*key_info)) return false;

  const ASN1& signature = *root->GetChild(2);
  if (signature.GetValueLength() < 1) return false;
  signature_ = ByteArray(signature.Value(), 1, signature.GetValueLength() - 1);
  if (!ParseSignatureAlgorithm(*root)) return false;
  if (!ParseExtensions(tbs, s + 6)) return false;

  raw_ = der;
  tbs_ = tbs.Encoding();
  return true;
}

bool X509Certificate::ParseValidity(const ASN1& validity) {
  if (validity.GetChildCount() <= 1) return false;
  return ParseAsn1Time(*validity.GetChild(0), not_before_) &&
         ParseAsn1Time(*validity.GetChild(1), not_after_);
}

bool X509Certificate::ParseKeyInfo(const ASN1& key_info) {
  const ASN1* algorithm = key_info.GetChildIfTag(0, kAsn1Sequence);
  if (algorithm == nullptr) return false;
  const ASN1* algorithm_oid = algorithm->GetChildIfTag(0, kAsn1Oid);
  if (algorithm_oid == nullptr) return false;
  if (ContentIs(*algorithm_oid, kOidEcPublicKey)) {
    key_type_ = kX509KeyEC;
    const ASN1* curve = algorithm->GetChildIfTag(1, kAsn1Oid);
    if (curve == nullptr) return false;
    if (ContentIs(*curve, kOidP256)) curve_ = kCurveP256;
    if (ContentIs(*curve, kOidP384)) curve_ = kCurveP384;
    if (ContentIs(*curve, kOidP521)) curve_ = kCurveP521;
  }
  const ASN1* key = key_info.GetChildIfTag(1, kAsn1BitString);
  if (key == nullptr || key->GetValueLength() < 1) return false;
  // An own copy, so the key outlives nothing but itself.
  ByteArray copy;
  if (!copy.AssignBytes(key->ValueSpan().subspan(1))) return false;
  public_key_ = copy;
  return true;
}

bool X509Certificate::ParseSignatureAlgorithm(const ASN1& root) {
  const ASN1& outer = *root.GetChild(1);
  const ASN1* oid = outer.GetChildIfTag(0, kAsn1Oid);
  if (oid == nullptr || !OidToText(*oid, signature_algorithm_)) return false;
  return HashAlgorithmIdFromOid(signature_algorithm_.GetText(), &hash_id_);
}

bool X509Certificate::ParseExtensions(ASN1& tbs, int64_t position) {
  if (tbs.GetChildIfTag(position, kTagIssuerUniqueId) != nullptr) ++position;
  if (tbs.GetChildIfTag(position, kTagSubjectUniqueId) != nullptr) ++position;
  ASN1* block = tbs.GetChildIfTag(position, kTagExtensions);
  if (block == nullptr || block->GetChildCount() != 1) return true;
  extensions_ = X509ExtensionCollection::Create(*block->GetChild(0));
  return !extensions_.IsEmpty();
}

bool X509Certificate::IsTimeValid(int64_t t) const { return not_before_ < t && t <= not_after_; }

void X509Certificate::LockHashCache() const {
  while (lock_word_.fetch_or(1, std::memory_order_acquire) & 1) {
    bool free = false;
    for (int round = 0, pauses = 1; round < kSpinRounds && !free; ++round, pauses *= 2) {
      for (int i = 0; i < pauses; ++i) PauseHint();
      free = lock_word_.load(std::memory_order_relaxed) != 1;
    }
    while (!free) {
      sched_yield();
      free = lock_word_.load(std::memory_order_relaxed) != 1;
    }
  }
}

void X509Certificate::UnlockHashCache() const {
  lock_word_.fetch_and(~uint32_t{1}, std::memory_order_release);
}

bool X509Certificate::GetTBSHash(ByteArray& out) const {
  LockHashCache();
  const bool ok = ComputeTBSHash(out);
  UnlockHashCache();
  return ok;
}

bool X509Certificate::ComputeTBSHash(ByteArray& out) const {
  if (tbs_hash_.IsEmpty()) {
    if (tbs_.IsEmpty()) return false;
    CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(hash_id_);
    if (hash.IsEmpty()) return false;
    const uint8_t* digest =
        ::ComputeHash(hash.Get(), tbs_.GetData(), 0, static_cast<uint64_t>(tbs_.GetLength()));
    ByteArray value;
    if (digest == nullptr || !value.Assign(hash->GetHashSize(), digest)) return false;
    tbs_hash_ = value;
  }
  ByteArray copy;
  if (!copy.AssignCopy(tbs_hash_)) return false;
  out = copy;
  return true;
}

bool X509Certificate::ComputeHash(uint32_t hash_id, ByteArray& out) const {
  if (raw_.IsEmpty()) return false;
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(hash_id);
  if (hash.IsEmpty()) return false;
  const uint8_t* digest =
      ::ComputeHash(hash.Get(), raw_.GetData(), 0, static_cast<uint64_t>(raw_.GetLength()));
  ByteArray value;
  if (digest == nullptr || !value.Assign(hash->GetHashSize(), digest)) return false;
  out = value;
  return true;
}

CountedPtr<RSAImpl> X509Certificate::GetRSAPublicKey() const {
  if (public_key_.IsEmpty()) return {};
  CountedPtr<ASN1> root = ASN1::Parse(public_key_, true);
  if (root.IsEmpty() || root->GetChildCount() < 2) return {};
  const ASN1* modulus = root->GetChildIfTag(0, kAsn1Integer);
  const ASN1* exponent = root->GetChildIfTag(1, kAsn1Integer);
  if (modulus == nullptr || exponent == nullptr) return {};
  RSAParameters parameters;
  parameters.modulus = modulus->Value();
  if (!parameters.modulus.IsEmpty() && parameters.modulus.GetAt(0) == 0) {
    parameters.modulus = ByteArray(modulus->Value(), 1, modulus->GetValueLength() - 1);
  }
  parameters.exponent = exponent->Value();
  // Oversized keys and exponents are refused here, before any number is
  // built, so a hostile issuer cannot make one check cost seconds.
  const int64_t modulus_bytes = parameters.modulus.GetLength();
  if (modulus_bytes <= 0 || modulus_bytes > kRsaMaxKeyBits / 8) return {};
  const uint32_t bits = static_cast<uint32_t>(modulus_bytes) * 8;
  const size_t exponent_bytes = SignificantBytes(parameters.exponent.AsSpan());
  if (exponent_bytes == 0 || exponent_bytes > kMaxExponentBytes) return {};

  CountedPtr<RSAImpl> key = CreateRSAImpl();
  if (key.IsEmpty() || !key->SetKeySize(bits) || !key->ImportParameters(parameters)) return {};
  return key;
}

CountedPtr<ECCDSA> X509Certificate::GetECCPublicKey() const {
  if (curve_ == 0) return {};
  CountedPtr<ECCDSA> key = MakeCounted<ECCDSA>(curve_);
  if (key.IsEmpty() || !key->ImportPublicKey(public_key_.AsSpan())) return {};
  return key;
}

CountedPtr<AsymmetricSignatureDeformatter> X509Certificate::CreateSignatureDeformatter() const {
  if (key_type_ == kX509KeyEC) {
    CountedPtr<ECCDSA> key = GetECCPublicKey();
    if (key.IsEmpty()) return {};
    return MakeCounted<ECCSignatureDeformatter>(CountedPtr<AsymmetricAlgorithm>(key));
  }
  if (key_type_ == kX509KeyRSA) {
    CountedPtr<RSAImpl> key = GetRSAPublicKey();
    if (key.IsEmpty()) return {};
    return MakeCounted<RSAPKCS1SignatureDeformatter>(CountedPtr<AsymmetricAlgorithm>(key));
  }
  return {};
}

bool X509Certificate::GetSignatureBytes(ByteArray& out) const {
  const char* oid = signature_algorithm_.GetText();
  if (oid == nullptr) return false;
  for (const char* plain : kPlainSignatureOids) {
    if (std::strcmp(oid, plain) == 0) {
      out = signature_;
      return !signature_.IsEmpty();
    }
  }
  if (std::strcmp(oid, kDsaWithSha1Oid) != 0) return false;
  CountedPtr<ASN1> pair = ASN1::Parse(signature_, true);
  if (pair.IsEmpty() || pair->GetTag() != kAsn1Sequence || pair->GetChildCount() != 2) return false;
  ByteArray value;
  if (!value.SetSize(2 * kDsaHalfBytes)) return false;
  std::memset(value.GetData(), 0, 2 * kDsaHalfBytes);
  CopyRightAligned(pair->GetChild(0)->ValueSpan(), value.GetData());
  CopyRightAligned(pair->GetChild(1)->ValueSpan(), value.GetData() + kDsaHalfBytes);
  out = value;
  return true;
}

bool X509Certificate::VerifySignature(const X509Certificate* issuer) const {
  if (issuer == nullptr) return false;
  CountedPtr<AsymmetricSignatureDeformatter> checker = issuer->CreateSignatureDeformatter();
  if (checker.IsEmpty()) return false;
  checker->SetHashAlgorithm(hash_id_);
  ByteArray hash;
  ByteArray signature;
  if (!GetTBSHash(hash) || !GetSignatureBytes(signature)) return false;
  return checker->VerifySignature(hash, signature);
}

bool X509Certificate::IsSelfSigned() const {
  int32_t verdict = self_signed_.load(std::memory_order_relaxed);
  if (verdict == -1) {
    const ByteArray& issuer = issuer_.Encoding();
    const bool same_names = !issuer.IsEmpty() && issuer.Equals(subject_.Encoding());
    verdict = same_names && VerifySignature(this) ? 1 : 0;
    self_signed_.store(verdict, std::memory_order_relaxed);
  }
  return verdict == 1;
}

int X509Certificate::CompareEncoded(const X509Certificate* a, const X509Certificate* b) {
  if (a == nullptr || b == nullptr) return -2;
  const int64_t order = ByteArray::Compare(&a->raw_, &b->raw_);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool X509Certificate::IsSameIssuerAndSerial(const X509Certificate* other) const {
  if (other == nullptr) return false;
  return serial_.Equals(other->serial_) && issuer_.Encoding().Equals(other->issuer_.Encoding());
}
