#include "updater/engine/catalogue/signed_buffer.h"

#include "updater/engine/catalogue/update_key.h"
#include "verify/openpgp/pgp_verify.h"

PgpResult VerifySignedMessage(IInputStream* stream, std::string_view signer, uint64_t* offset,
                              uint64_t* length) {
  BinaryInputStream binary;
  if (stream == nullptr || binary.Attach(stream) != kStreamOk) return kPgpNotVerified;
  _PGP_PUBLIC_KEY key = UpdateKeyRecord();
  _PGP_PUBLIC_KEY* keys[] = {&key};
  const PGP_KEY_LIST certifying{1, keys};
  const PGP_USER_ID user_id{static_cast<uint32_t>(signer.size()),
                            reinterpret_cast<const uint8_t*>(signer.data())};
  return PgpVerifySignedStream(&binary, false, &certifying, nullptr, nullptr, &user_id, nullptr,
                               offset, length, nullptr, nullptr);
}

bool CheckSignedBuffer(const uint8_t* data, uint64_t length, uint64_t* payload_offset,
                       uint64_t* payload_length, std::string_view signer) {
  if (data == nullptr || length == 0 || payload_offset == nullptr || payload_length == nullptr) {
    return false;
  }
  MemoryInputStream memory;
  if (memory.Open(data, length) != kStreamOk) return false;
  uint64_t offset = 0;
  uint64_t size = 0;
  if (VerifySignedMessage(&memory, signer, &offset, &size) != kPgpOk) return false;
  *payload_offset = offset;
  *payload_length = size;
  return true;
}
