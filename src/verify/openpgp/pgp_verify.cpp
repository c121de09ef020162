#include "verify/openpgp/pgp_verify.h"

#include <algorithm>
#include <memory>
#include <new>
#include <span>

#include "verify/common/step.h"
#include "verify/openpgp/pgp_key_block.h"
#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_packet_tags.h"
#include "verify/openpgp/pgp_signature.h"
#include "verify/openpgp/pgp_signature_check.h"

namespace {

// The literal content is hashed through one buffer of this size.
constexpr uint64_t kScratchSize = 4096;
// Format byte, name length and 4-byte date around the file name.
constexpr uint64_t kLiteralFixedFields = 6;
// The one-pass packet's hash algorithm and key ID.
constexpr uint32_t kOnePassHashAt = 2;
constexpr uint32_t kOnePassKeyIdAt = 4;

// Signature types of a signed document.
constexpr uint8_t kBinaryDocument = 0x00;
constexpr uint8_t kTextDocument = 0x01;

// What a packet handler decides: go on to the next packet, or end the loop.
using PacketStep = Step<PgpResult>;

struct Loop {
  _PGP_VERIFY_CONTEXT* context;
  IBinaryInputStream* stream;
  const PgpVerifyInputs& inputs;
  const PgpVerifyOutputs& outputs;
  std::span<uint8_t> scratch;
  CountedPtr<IHashAlgorithm> hash;
  uint64_t position = 0;
};

bool KeyListValid(const PGP_KEY_LIST* list) {
  if (list == nullptr) return true;
  if (list->count == 0 || list->keys == nullptr) return false;
  for (uint64_t i = 0; i < list->count; ++i) {
    if (list->keys[i] == nullptr || !PgpIsKeyComplete(*list->keys[i])) return false;
  }
  return true;
}

int64_t FirstSigningKey(const PGP_KEY_LIST* keys, const uint8_t* key_id) {
  if (keys == nullptr || keys->keys == nullptr) return kPgpNoKeySelected;
  for (uint64_t i = 0; i < keys->count; ++i) {
    if (keys->keys[i] != nullptr && PgpKeyIdEquals(keys->keys[i]->key_id, key_id)) {
      return static_cast<int64_t>(i);
    }
  }
  return kPgpNoKeySelected;
}

// The result when literal data or a signature is met with no key selected.
// A certified key that no one-pass packet selected authenticates nothing.
PgpResult NoKeyResult(const PgpKeyBlockVerdict& verdict) {
  if (verdict.code == kPgpNotVerified) return kPgpNoKey;
  if (verdict.code == kPgpOk) return kPgpMalformed;
  return verdict.code;
}

// The stream's position counted from the first packet, or the loop's own
// count when the stream reports no positions.
bool StreamOffset(const Loop& loop, uint64_t* offset) {
  const _PGP_VERIFY_CONTEXT& ctx = *loop.context;
  uint64_t at = 0;
  if (!ctx.has_stream_start || loop.stream->GetPosition(&at) != kStreamOk) return false;
  if (at < ctx.stream_start) return false;
  *offset = at - ctx.stream_start;
  return true;
}

PacketStep SelectBlockKey(_PGP_VERIFY_CONTEXT* ctx) {
  if (!ctx->selected_block_key.CopyFrom(ctx->verdict.certified_key)) return kPgpNoMemory;
  ctx->selected = kPgpKeyBlockKeySelected;
  return kCarryOn;
}

PacketStep OnOnePass(Loop& loop, PgpBodyReader& body) {
  _PGP_VERIFY_CONTEXT* ctx = loop.context;
  // A longer packet would hide packets in its tail from the position count.
  if (body.Left() != kPgpOnePassSize) return kPgpMalformed;
  uint8_t packet[kPgpOnePassSize] = {};
  if (body.Read(packet) != kPgpOk) return kPgpUnreadable;
  const uint8_t* key_id = packet + kOnePassKeyIdAt;
  int64_t select = kPgpNoKeySelected;
  if (ctx->verdict.code == kPgpOk &&
      PgpKeyIdEquals(ctx->verdict.certified_key.key.key_id, key_id)) {
    select = kPgpKeyBlockKeySelected;
  } else if (PgpIsKeyIdBlocked(loop.inputs.blocked_ids, key_id)) {
    return kCarryOn;
  } else {
    select = FirstSigningKey(loop.inputs.signing_keys, key_id);
    const bool first = ctx->one_pass_position < 0;
    if (!first && static_cast<uint64_t>(select) >= static_cast<uint64_t>(ctx->selected)) {
      return kCarryOn;
    }
  }
  ctx->one_pass_position = static_cast<int64_t>(loop.position);
  std::copy(packet, packet + kPgpOnePassSize, ctx->one_pass);
  if (select == kPgpKeyBlockKeySelected) return SelectBlockKey(ctx);
  ctx->selected = select;
  return kCarryOn;
}

PgpResult HashContent(Loop& loop, PgpBodyReader& body) {
  while (body.Left() > 0) {
    const uint64_t piece = std::min<uint64_t>(body.Left(), loop.scratch.size());
    if (body.Read(loop.scratch.first(piece)) != kPgpOk) return kPgpUnreadable;
    loop.hash->HashCore(loop.scratch.data(), 0, piece);
  }
  return kPgpOk;
}

PgpResult ReadLiteralFields(Loop& loop, PgpBodyReader& body, const PgpPacketHeader& header) {
  PgpLiteralRecord& lit = loop.context->literal;
  lit = {};
  lit.position = static_cast<int64_t>(loop.position);
  lit.header_size = header.header_size;
  lit.body_length = header.body_length;
  if (body.ReadUInt8(&lit.format) != kPgpOk || body.ReadUInt8(&lit.name_length) != kPgpOk) {
    return kPgpUnreadable;
  }
  // A name longer than the body would leave a negative content length.
  if (kLiteralFixedFields + lit.name_length > header.body_length) return kPgpUnreadable;
  if (body.Read(std::span<uint8_t>(reinterpret_cast<uint8_t*>(lit.name), lit.name_length)) !=
          kPgpOk ||
      body.ReadUInt32BE(&lit.date) != kPgpOk) {
    return kPgpUnreadable;
  }
  lit.name[lit.name_length] = '\0';
  lit.content_length = body.Left();
  lit.content_offset = loop.position + header.header_size + kLiteralFixedFields + lit.name_length;
  // The reported window is where the stream stands now, the first byte hashed.
  uint64_t at = 0;
  if (StreamOffset(loop, &at) && at != lit.content_offset) return kPgpMalformed;
  return kPgpOk;
}

PacketStep OnLiteral(Loop& loop, PgpBodyReader& body, const PgpPacketHeader& header) {
  _PGP_VERIFY_CONTEXT* ctx = loop.context;
  if (!loop.inputs.locate_only && ctx->selected == kPgpNoKeySelected) {
    if (ctx->verdict.code != kPgpNotVerified) {
      if (loop.outputs.key_index != nullptr) *loop.outputs.key_index = kPgpKeyBlockKeySelected;
      if (loop.outputs.reported_value != nullptr) {
        *loop.outputs.reported_value = ctx->verdict.creation_time;
      }
    }
    return NoKeyResult(ctx->verdict);
  }
  PgpResult rc = ReadLiteralFields(loop, body, header);
  if (rc != kPgpOk) return rc;
  if (header.body_length <= kLiteralFixedFields) return kPgpUnreadable;
  if (loop.inputs.locate_only) {
    if (body.SkipRest() != kPgpOk) return kPgpUnreadable;
  } else {
    loop.hash.Reset();
    if (PgpCreateHash(ctx->one_pass[kOnePassHashAt], &loop.hash) != kPgpOk) {
      return kPgpHashUnsupported;
    }
    rc = HashContent(loop, body);
    if (rc != kPgpOk) return rc;
  }
  ctx->literal.completed = true;
  return kCarryOn;
}

PacketStep OnSignature(Loop& loop, PgpBodyReader& body) {
  _PGP_VERIFY_CONTEXT* ctx = loop.context;
  _PGP_SIGNATURE sig;
  const PgpResult rc = PgpReadSignature(&body, &sig);
  if (rc != kPgpOk) return rc;
  if (loop.inputs.locate_only) return kCarryOn;
  if (ctx->selected == kPgpNoKeySelected) return NoKeyResult(ctx->verdict);
  if (loop.outputs.key_index != nullptr) *loop.outputs.key_index = ctx->selected;
  const _PGP_PUBLIC_KEY* key = nullptr;
  if (ctx->selected == kPgpKeyBlockKeySelected) {
    if (!ctx->selected_block_key.IsComplete()) return kCarryOn;
    key = &ctx->selected_block_key.key;
  } else {
    const PGP_KEY_LIST* keys = loop.inputs.signing_keys;
    const uint64_t index = static_cast<uint64_t>(ctx->selected);
    if (keys == nullptr || keys->keys == nullptr || index >= keys->count ||
        keys->keys[index] == nullptr) {
      return kCarryOn;
    }
    key = keys->keys[index];
  }
  if (!sig.has_issuer || !PgpKeyIdEquals(sig.issuer, key->key_id)) return kCarryOn;
  if (loop.outputs.reported_value != nullptr) *loop.outputs.reported_value = key->value;
  if (!ctx->literal.completed || !loop.hash) return kPgpMalformed;
  // Only a document signature signs literal content: the key's own user-ID
  // certification would otherwise verify a literal packet holding the bytes
  // that certification covers.
  if (sig.type != kBinaryDocument && sig.type != kTextDocument) return kPgpMismatch;
  return PgpVerifySignature(sig, loop.hash.Get(), *key);
}

PacketStep OnKeyBlock(Loop& loop, PgpBodyReader& body, const PgpPacketHeader& header) {
  _PGP_VERIFY_CONTEXT* ctx = loop.context;
  ctx->verdict.code = kPgpNotVerified;
  ctx->verdict.certified_key.Clear();
  const PgpResult rc = PgpReadKeyBlock(ctx, &body, header, loop.inputs, &ctx->verdict);
  // A block whose nested packets do not fill it exactly, or that was not
  // passed over to its end, is malformed; failures of content (a key version
  // or algorithm not supported) only leave it without a certified key.
  if (body.Left() != 0 || rc == kPgpPartialLength || rc == kPgpNotAPacket || rc == kPgpMalformed) {
    return kPgpMalformed;
  }
  return kCarryOn;
}

PacketStep OnPacket(Loop& loop, PgpBodyReader& body, const PgpPacketHeader& header) {
  switch (header.tag) {
    case kPgpTagKeyBlock:
      return OnKeyBlock(loop, body, header);
    case kPgpTagOnePassSignature:
      return OnOnePass(loop, body);
    case kPgpTagLiteralData:
      return OnLiteral(loop, body, header);
    case kPgpTagSignature:
      return OnSignature(loop, body);
    default:
      if (body.SkipRest() != kPgpOk) return kPgpMalformed;
      return kCarryOn;
  }
}

}  // namespace

PgpResult PgpParseSignedStream(_PGP_VERIFY_CONTEXT* context, IBinaryInputStream* stream,
                               const PgpVerifyInputs& inputs, const PgpVerifyOutputs& outputs) {
  if (context == nullptr || stream == nullptr) return kPgpMissingArgument;
  std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[kScratchSize]);
  if (scratch == nullptr) return kPgpNoMemory;
  Loop loop{context, stream, inputs, outputs, {scratch.get(), kScratchSize}, {}, 0};
  context->has_stream_start = stream->GetPosition(&context->stream_start) == kStreamOk;
  for (;;) {
    uint64_t remaining = 0;
    if (stream->GetRemaining(&remaining) != kStreamOk || remaining == 0) return kPgpNotVerified;
    PgpBodyReader enclosing(stream, remaining);
    PgpPacketHeader header;
    if (PgpReadPacketHeader(&enclosing, &header) != kPgpOk) return kPgpMalformed;
    PgpBodyReader body(stream, header.body_length);
    const PacketStep step = OnPacket(loop, body, header);
    if (step.Ends()) return step.result();
    if (body.Left() != 0) return kPgpMalformed;
    loop.position += header.header_size + header.body_length;
    uint64_t at = 0;
    if (StreamOffset(loop, &at) && at != loop.position) return kPgpMalformed;
  }
}

PgpResult PgpVerifySignedStream(IBinaryInputStream* stream, bool locate_only,
                                const PGP_KEY_LIST* certifying_keys,
                                const PGP_KEY_LIST* signing_keys,
                                const PGP_KEY_ID_LIST* blocked_ids,
                                const PGP_USER_ID* expected_user_id, const int64_t* minimum_time,
                                uint64_t* offset, uint64_t* length, int64_t* key_index,
                                uint64_t* reported_value) {
  if (offset == nullptr || length == nullptr) return kPgpMissingArgument;
  *offset = 0;
  *length = 0;
  if (stream == nullptr || (certifying_keys == nullptr && signing_keys == nullptr)) {
    return kPgpMissingArgument;
  }
  if (!KeyListValid(signing_keys) || !KeyListValid(certifying_keys)) return kPgpBadKeyList;
  auto context = std::unique_ptr<_PGP_VERIFY_CONTEXT>(new (std::nothrow) _PGP_VERIFY_CONTEXT);
  if (context == nullptr) return kPgpNoMemory;
  PgpInitVerifyContext(context.get());
  const PgpVerifyInputs inputs{locate_only, certifying_keys,  signing_keys,
                               blocked_ids, expected_user_id, minimum_time};
  const PgpResult rc =
      PgpParseSignedStream(context.get(), stream, inputs, {key_index, reported_value});
  if (rc != kPgpOk && rc != kPgpNotVerified) return rc;
  if (!context->literal.completed) return kPgpMalformed;
  *offset = context->literal.content_offset;
  *length = context->literal.content_length;
  return rc;
}
