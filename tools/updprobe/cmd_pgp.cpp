#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "probe_input.h"
#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_key.h"
#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_packet_tags.h"
#include "verify/openpgp/pgp_verify.h"

namespace updprobe {
namespace {

// Reads the first public-key packet of an exported key file.
bool ReadFirstPublicKey(const std::vector<uint8_t>& file, PgpKeyBlockKey* key) {
  MemoryInputStream memory;
  BinaryInputStream stream;
  if (memory.Open(file.data(), file.size()) != kStreamOk || stream.Attach(&memory) != kStreamOk) {
    return false;
  }
  uint64_t remaining = 0;
  while (stream.GetRemaining(&remaining) == kStreamOk && remaining > 0) {
    PgpBodyReader enclosing(&stream, remaining);
    PgpPacketHeader header;
    if (PgpReadPacketHeader(&enclosing, &header) != kPgpOk) return false;
    PgpBodyReader body(&stream, header.body_length);
    if (header.tag == kPgpTagPublicKey) return PgpReadPublicKey(&body, header, key) == kPgpOk;
    if (body.SkipRest() != kPgpOk) return false;
  }
  return false;
}

int PgpVerify(Args args) {
  if (args.size() != 3) return Usage("pgp-verify takes KEYFILE USERID FILE");
  std::vector<uint8_t> key_file;
  std::vector<uint8_t> signed_file;
  if (!ReadInput(args[0], key_file)) {
    std::fprintf(stderr, "pgp-verify: cannot read %s\n", args[0]);
    return kExitFailure;
  }
  if (!ReadInput(args[2], signed_file)) {
    std::fprintf(stderr, "pgp-verify: cannot read %s\n", args[2]);
    return kExitFailure;
  }
  PgpKeyBlockKey read_key;
  if (!ReadFirstPublicKey(key_file, &read_key)) {
    std::fprintf(stderr, "pgp-verify: no usable public key in %s\n", args[0]);
    return kExitFailure;
  }
  // The certifying key as the update engine describes its embedded key.
  _PGP_PUBLIC_KEY certifier;
  const _PGP_MPI* m = read_key.key.mpi;
  PgpSetPublicKey(&certifier, read_key.key.kind, read_key.key.key_id, &read_key.key.value,
                  m[0].bits, m[0].data, m[1].bits, m[1].data, m[2].bits, m[2].data, m[3].bits,
                  m[3].data);
  _PGP_PUBLIC_KEY* const keys[] = {&certifier};
  const PGP_KEY_LIST certifying{1, keys};
  const std::string user_id = args[1];
  const PGP_USER_ID expected{static_cast<uint32_t>(user_id.size()),
                             reinterpret_cast<const uint8_t*>(user_id.data())};

  MemoryInputStream memory;
  BinaryInputStream stream;
  (void)stream.Attach(&memory);
  // An empty file stays an empty stream, which the verifier refuses.
  if (!signed_file.empty()) (void)memory.Open(signed_file.data(), signed_file.size());
  uint64_t offset = 0;
  uint64_t length = 0;
  int64_t key_index = -1;
  uint64_t value = 0;
  const uint32_t result =
      PgpVerifySignedStream(&stream, false, &certifying, nullptr, nullptr, &expected, nullptr,
                            &offset, &length, &key_index, &value);
  std::printf("result=%" PRIu32 " key=%" PRId64 " value=%" PRIu64 " offset=%" PRIu64
              " length=%" PRIu64 "\n",
              result, key_index, value, offset, length);
  return result == kPgpOk ? kExitOk : kExitFailure;
}

const Registrar kPgpVerify("pgp-verify", "pgp-verify KEYFILE USERID FILE", PgpVerify);

}  // namespace
}  // namespace updprobe
