#include "verify/openpgp/pgp_key_block.h"

#include <cstring>
#include <memory>
#include <new>

#include "verify/openpgp/pgp_key.h"
#include "verify/openpgp/pgp_packet_tags.h"
#include "verify/openpgp/pgp_signature_check.h"

namespace {

constexpr uint8_t kKeyBlockVersion = 1;
// User-ID certifications: generic, persona, casual and positive.
constexpr uint8_t kFirstCertification = 0x10;
constexpr uint8_t kLastCertification = 0x13;
constexpr uint8_t kUserIdPrefix = 0xB4;

struct UserId {
  std::unique_ptr<uint8_t[]> bytes;
  uint64_t size = 0;
  std::span<const uint8_t> View() const { return {bytes.get(), bytes ? size : 0}; }
};

PgpResult ReadUserId(PgpBodyReader* nested, UserId* user_id) {
  const uint64_t size = nested->Left();
  if (size == 0) return kPgpMalformed;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size]);
  if (bytes == nullptr) return kPgpNoMemory;
  const PgpResult rc = nested->Read(std::span<uint8_t>(bytes.get(), size));
  if (rc != kPgpOk) return rc;
  user_id->bytes = std::move(bytes);
  user_id->size = size;
  return kPgpOk;
}

bool UserIdMatches(const PGP_USER_ID& expected, std::span<const uint8_t> user_id) {
  if (expected.length == 0 || expected.bytes == nullptr) return false;
  if (user_id.size() != expected.length) return false;
  return std::memcmp(user_id.data(), expected.bytes, expected.length) == 0;
}

void Refuse(PgpResult code, const PgpKeyBlockKey& key, PgpKeyBlockVerdict* verdict) {
  verdict->code = code;
  verdict->creation_time = key.creation_time;
  verdict->key_id = PgpKeyIdValue(key.key.key_id);
}

// The checks a signature inside the block goes through, in order.
void ExamineSignature(_PGP_VERIFY_CONTEXT* context, const PgpVerifyInputs& inputs,
                      std::span<const uint8_t> user_id, const _PGP_SIGNATURE& sig,
                      PgpKeyBlockVerdict* verdict) {
  const PgpKeyBlockKey& key = context->block_key;
  if (!key.IsComplete() || inputs.certifying_keys == nullptr) return;
  if (PgpIsKeyIdBlocked(inputs.blocked_ids, key.key.key_id)) {
    Refuse(kPgpKeyBlocked, key, verdict);
    return;
  }
  const int64_t created = key.creation_time;
  if (inputs.minimum_time != nullptr && *inputs.minimum_time != 0 && created != 0 &&
      created < *inputs.minimum_time) {
    Refuse(kPgpKeyTooOld, key, verdict);
    return;
  }
  if (inputs.expected_user_id != nullptr && !UserIdMatches(*inputs.expected_user_id, user_id)) {
    Refuse(kPgpUserIdMismatch, key, verdict);
    return;
  }
  (void)PgpVerifyKeyCertification(context, inputs.certifying_keys, user_id, sig, verdict);
}

// Reads one nested packet; a failure ends the block.
PgpResult ReadNested(_PGP_VERIFY_CONTEXT* context, PgpBodyReader* nested,
                     const PgpPacketHeader& header, const PgpVerifyInputs& inputs, bool* key_seen,
                     UserId* user_id, PgpKeyBlockVerdict* verdict) {
  switch (header.tag) {
    case kPgpTagPublicKey:
      // One key per block: a second one would replace the key being certified.
      if (*key_seen) return kPgpMalformed;
      *key_seen = true;
      return PgpReadPublicKey(nested, header, &context->block_key);
    case kPgpTagUserId:
      return ReadUserId(nested, user_id);
    case kPgpTagSignature: {
      _PGP_SIGNATURE sig;
      const PgpResult rc = PgpReadSignature(nested, &sig);
      if (rc != kPgpOk) return rc;
      if (!inputs.locate_only && verdict->code != kPgpOk) {
        ExamineSignature(context, inputs, user_id->View(), sig, verdict);
      }
      return kPgpOk;
    }
    default:
      return nested->SkipRest();
  }
}

PgpResult ReadVersion1(_PGP_VERIFY_CONTEXT* context, PgpBodyReader* body,
                       const PgpVerifyInputs& inputs, PgpKeyBlockVerdict* verdict, bool* aligned) {
  bool key_seen = false;
  UserId user_id;
  while (body->Left() > 0) {
    PgpPacketHeader nested_header;
    PgpResult rc = PgpReadPacketHeader(body, &nested_header);
    if (rc != kPgpOk) return rc;
    if (!body->Reserve(nested_header.body_length)) return kPgpMalformed;
    PgpBodyReader nested(body->Stream(), nested_header.body_length);
    rc = ReadNested(context, &nested, nested_header, inputs, &key_seen, &user_id, verdict);
    if (rc != kPgpOk) {
      // Pass over the unread rest of the nested packet; when even that fails
      // the block's remainder stays unread and the caller sees it.
      *aligned = nested.SkipRest() == kPgpOk;
      return rc;
    }
  }
  return kPgpOk;
}

}  // namespace

PgpResult PgpReadKeyBlock(_PGP_VERIFY_CONTEXT* context, PgpBodyReader* body,
                          const PgpPacketHeader& header, const PgpVerifyInputs& inputs,
                          PgpKeyBlockVerdict* verdict) {
  if (context == nullptr || body == nullptr || verdict == nullptr) return kPgpMissingArgument;
  verdict->code = kPgpNotVerified;
  if (header.body_length == 0) return kPgpMalformed;
  uint8_t version = 0;
  PgpResult rc = body->ReadUInt8(&version);
  if (rc != kPgpOk) return rc;
  if (version != kKeyBlockVersion) return body->SkipRest();
  bool aligned = true;
  rc = ReadVersion1(context, body, inputs, verdict, &aligned);
  // Whatever ended the block early, its unread rest is not read as packets.
  if (aligned && body->Left() > 0 && body->SkipRest() != kPgpOk) return kPgpMalformed;
  return rc;
}

PgpResult PgpVerifyKeyCertification(_PGP_VERIFY_CONTEXT* context,
                                    const PGP_KEY_LIST* certifying_keys,
                                    std::span<const uint8_t> user_id, const _PGP_SIGNATURE& sig,
                                    PgpKeyBlockVerdict* verdict) {
  verdict->code = kPgpNotVerified;
  if (certifying_keys == nullptr || certifying_keys->keys == nullptr || !sig.has_issuer) {
    return kPgpNotVerified;
  }
  const _PGP_PUBLIC_KEY* certifier = nullptr;
  for (uint64_t i = 0; i < certifying_keys->count && certifier == nullptr; ++i) {
    const _PGP_PUBLIC_KEY* candidate = certifying_keys->keys[i];
    if (candidate != nullptr && PgpKeyIdEquals(candidate->key_id, sig.issuer)) {
      certifier = candidate;
    }
  }
  if (certifier == nullptr) return kPgpNotVerified;
  if (sig.type < kFirstCertification || sig.type > kLastCertification) return kPgpNotVerified;
  CountedPtr<IHashAlgorithm> hash;
  PgpResult rc = PgpCreateHash(sig.hash_algorithm, &hash);
  if (rc == kPgpOk) rc = PgpHashPublicKey(hash.Get(), context->block_key);
  if (rc != kPgpOk) return rc;
  if (user_id.empty()) return kPgpMalformed;
  const uint64_t n = user_id.size();
  const uint8_t head[] = {kUserIdPrefix, static_cast<uint8_t>(n >> 24),
                          static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                          static_cast<uint8_t>(n)};
  hash->HashCore(head, 0, sizeof(head));
  hash->HashCore(user_id.data(), 0, n);
  rc = PgpVerifySignature(sig, hash.Get(), *certifier);
  if (rc != kPgpOk || !context->block_key.IsComplete()) return rc;
  if (!verdict->certified_key.CopyFrom(context->block_key)) return kPgpNoMemory;
  verdict->code = kPgpOk;
  verdict->creation_time = context->block_key.creation_time;
  verdict->key_id = PgpKeyIdValue(context->block_key.key.key_id);
  return kPgpOk;
}
