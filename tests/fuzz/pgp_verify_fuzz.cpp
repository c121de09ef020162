// Fuzzes the OpenPGP signed-message verifier. An input is
//   flags (1 byte: bit 0 locate-only, bit 1 blocked ID, bit 2 minimum time),
//   a 2-byte big-endian length n, n bytes of a public-key packet body (the
//   certifying key), then the signed message.
// pgp_verify_fuzz_seeds.sh (through tools/testpki/pgp_fuzz_seeds.py) writes
// such inputs from the signing kit, so the fuzzer starts from messages whose
// key blocks really are certified.

#include <cstddef>
#include <cstdint>
#include <span>

#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_key.h"
#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_verify.h"

namespace {

constexpr char kUserId[] = "Wexa Update Signing Certificate";
constexpr size_t kPrefix = 3;

bool ReadKey(std::span<const uint8_t> body, PgpKeyBlockKey* key) {
  if (body.empty()) return false;
  MemoryInputStream memory;
  BinaryInputStream stream;
  if (memory.Open(body.data(), body.size()) != kStreamOk) return false;
  (void)stream.Attach(&memory);
  PgpBodyReader reader(&stream, body.size());
  PgpPacketHeader header;
  header.tag = 6;
  header.body_length = body.size();
  return PgpReadPublicKey(&reader, header, key) == kPgpOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kPrefix) return 0;
  const uint8_t flags = data[0];
  const size_t key_size = (size_t{data[1]} << 8) | data[2];
  if (key_size > size - kPrefix) return 0;
  const std::span<const uint8_t> key_body(data + kPrefix, key_size);
  const std::span<const uint8_t> message(data + kPrefix + key_size, size - kPrefix - key_size);

  PgpKeyBlockKey read_key;
  _PGP_PUBLIC_KEY key;
  const uint8_t fallback_id[kPgpKeyIdSize] = {};
  const uint8_t fallback_value[1] = {1};
  if (ReadKey(key_body, &read_key)) {
    const _PGP_MPI* m = read_key.key.mpi;
    PgpSetPublicKey(&key, read_key.key.kind, read_key.key.key_id, &read_key.key.value, m[0].bits,
                    m[0].data, m[1].bits, m[1].data, m[2].bits, m[2].data, m[3].bits, m[3].data);
  } else {
    PgpSetPublicKey(&key, kPgpKeyRsa, fallback_id, nullptr, 1, fallback_value, 1, fallback_value, 0,
                    nullptr, 0, nullptr);
  }
  _PGP_PUBLIC_KEY* keys[] = {&key};
  const PGP_KEY_LIST list{1, keys};
  const uint8_t* blocked_ids[] = {message.size() >= 8 ? message.data() : fallback_id};
  const PGP_KEY_ID_LIST blocked{1, blocked_ids};
  const int64_t minimum_time = 1;
  const PGP_USER_ID user_id{sizeof(kUserId) - 1, reinterpret_cast<const uint8_t*>(kUserId)};

  MemoryInputStream memory;
  BinaryInputStream stream;
  (void)stream.Attach(&memory);
  if (!message.empty()) (void)memory.Open(message.data(), message.size());
  uint64_t offset = 0;
  uint64_t length = 0;
  int64_t key_index = 0;
  uint64_t value = 0;
  // The certifying key also signs directly on odd lengths, so both key paths run.
  const bool direct = (message.size() & 1) != 0;
  const uint32_t result = PgpVerifySignedStream(
      &stream, (flags & 1) != 0, &list, direct ? &list : nullptr,
      (flags & 2) != 0 ? &blocked : nullptr, &user_id, (flags & 4) != 0 ? &minimum_time : nullptr,
      &offset, &length, &key_index, &value);
  // The window the caller would use in place must lie inside the input.
  if ((result == kPgpOk || result == kPgpNotVerified) &&
      (offset > message.size() || length > message.size() - offset)) {
    __builtin_trap();
  }
  if (result != kPgpOk && result != kPgpNotVerified && (offset != 0 || length != 0)) {
    __builtin_trap();
  }
  return 0;
}
