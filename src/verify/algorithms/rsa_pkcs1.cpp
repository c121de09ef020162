#include "verify/algorithms/rsa_pkcs1.h"

#include <algorithm>
#include <array>
#include <vector>

#include "verify/asn1/asn1_tags.h"

namespace {

// Content octets of the digest algorithm OIDs of DigestInfo.
struct DigestOid {
  uint32_t id;
  uint8_t length;
  std::array<uint8_t, 9> content;
};

constexpr DigestOid kDigestOids[] = {
    {kHashMD2, 8, {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x02}},           // 1.2.840.113549.2.2
    {kHashMD5, 8, {0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x02, 0x05}},           // 1.2.840.113549.2.5
    {kHashSHA1, 5, {0x2b, 0x0e, 0x03, 0x02, 0x1a}},                            // 1.3.14.3.2.26
    {kHashSHA224, 9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x04}},  // ...3.4.2.4
    {kHashSHA256, 9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}},  // ...3.4.2.1
    {kHashSHA384, 9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x02}},  // ...3.4.2.2
    {kHashSHA512, 9, {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03}},  // ...3.4.2.3
};

constexpr size_t kMinPadding = 8;

const DigestOid* FindDigestOid(uint32_t id) {
  for (const DigestOid& oid : kDigestOids) {
    if (oid.id == id) return &oid;
  }
  return nullptr;
}

// DER of SEQUENCE { SEQUENCE { oid, NULL }, OCTET STRING digest }; every
// length here is below 128, so each header is two octets.
void AppendDigestInfo(const DigestOid& oid, std::span<const uint8_t> digest,
                      std::vector<uint8_t>& out) {
  const uint8_t algorithm_length = static_cast<uint8_t>(2 + oid.length + 2);
  const uint8_t total = static_cast<uint8_t>(2 + algorithm_length + 2 + digest.size());
  out.insert(out.end(),
             {kAsn1Sequence, total, kAsn1Sequence, algorithm_length, kAsn1Oid, oid.length});
  out.insert(out.end(), oid.content.begin(), oid.content.begin() + oid.length);
  out.insert(out.end(), {kAsn1Null, 0x00, kAsn1OctetString, static_cast<uint8_t>(digest.size())});
  out.insert(out.end(), digest.begin(), digest.end());
}

bool EncodeBlock(IHashAlgorithm* hash, std::span<const uint8_t> digest, uint32_t k,
                 bool with_digest_info, std::vector<uint8_t>& block) {
  if (hash == nullptr || digest.size() != hash->GetHashSize()) return false;
  std::vector<uint8_t> t;
  const DigestOid* oid = with_digest_info ? FindDigestOid(hash->GetAlgorithmId()) : nullptr;
  if (oid != nullptr) {
    AppendDigestInfo(*oid, digest, t);
  } else {
    t.assign(digest.begin(), digest.end());
  }
  const size_t padding = k >= t.size() + 3 + kMinPadding ? k - t.size() - 3 : kMinPadding;
  block.assign({0x00, 0x01});
  block.insert(block.end(), padding, 0xff);
  block.push_back(0x00);
  block.insert(block.end(), t.begin(), t.end());
  return true;
}

std::span<const uint8_t> WithoutLeadingZeros(std::span<const uint8_t> bytes) {
  size_t skip = 0;
  while (skip + 1 < bytes.size() && bytes[skip] == 0) ++skip;
  return bytes.subspan(skip);
}

// The public operation's result as exactly k bytes, right-aligned.
bool ToModulusLength(std::span<const uint8_t> result, uint32_t k, std::vector<uint8_t>& em) {
  em.assign(k, 0);
  if (result.size() > k) {
    std::span<const uint8_t> dropped = result.first(result.size() - k);
    if (std::any_of(dropped.begin(), dropped.end(), [](uint8_t b) { return b != 0; })) {
      return false;
    }
    result = result.last(k);
  }
  std::copy(result.begin(), result.end(), em.end() - static_cast<std::ptrdiff_t>(result.size()));
  return true;
}

}  // namespace

bool RSAPKCS1EncodeSignature(IHashAlgorithm* hash, std::span<const uint8_t> digest, uint32_t k,
                             ByteArray& block, bool with_digest_info) {
  std::vector<uint8_t> bytes;
  if (!EncodeBlock(hash, digest, k, with_digest_info, bytes)) return false;
  return block.Assign(static_cast<int64_t>(bytes.size()), bytes.data()) != 0;
}

bool RSAPKCS1VerifySignature(RSAImpl* key, IHashAlgorithm* hash, std::span<const uint8_t> digest,
                             std::span<const uint8_t> signature, bool digest_info_first) {
  if (key == nullptr || hash == nullptr || signature.empty()) return false;
  const uint32_t k = key->GetKeySize() / 8;
  std::span<const uint8_t> s = WithoutLeadingZeros(signature);
  // Longer than the modulus: refused before any arithmetic.
  if (s.size() > k) return false;
  ByteArray result;
  if (!key->PublicOperation(s, result)) return false;
  std::vector<uint8_t> em;
  if (!ToModulusLength(result.AsSpan(), k, em)) return false;
  std::vector<uint8_t> first;
  std::vector<uint8_t> second;
  if (!EncodeBlock(hash, digest, k, digest_info_first, first) ||
      !EncodeBlock(hash, digest, k, !digest_info_first, second)) {
    return false;
  }
  return em == first || em == second;
}

bool RSAVerifyHash(RSAImpl* key, std::span<const uint8_t> digest, uint32_t hash_id,
                   std::span<const uint8_t> signature, bool digest_info_first) {
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(hash_id == kHashNone ? kHashSHA1 : hash_id);
  if (!hash) return false;
  return RSAPKCS1VerifySignature(key, hash.Get(), digest, signature, digest_info_first);
}

RSAPKCS1SignatureDeformatter::RSAPKCS1SignatureDeformatter(
    const CountedPtr<AsymmetricAlgorithm>& key) {
  SetKey(key);
}

void RSAPKCS1SignatureDeformatter::SetKey(const CountedPtr<AsymmetricAlgorithm>& key) {
  if (!key || key->GetAlgorithmType() != kAlgorithmTypeRSA) return;
  key_ = key;
}

bool RSAPKCS1SignatureDeformatter::VerifySignature(const ByteArray& hash,
                                                   const ByteArray& signature) {
  if (!key_ || hash_id_ == kHashNone || hash.IsEmpty() || signature.IsEmpty()) return false;
  auto* rsa = dynamic_cast<RSAImpl*>(key_.Get());
  CountedPtr<IHashAlgorithm> hash_object = CreateHashAlgorithm(hash_id_);
  if (rsa == nullptr || !hash_object) return false;
  return RSAPKCS1VerifySignature(rsa, hash_object.Get(), hash.AsSpan(), signature.AsSpan(), true);
}
