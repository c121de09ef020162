#include "updater/engine/catalogue/update_key.h"

_PGP_PUBLIC_KEY UpdateKeyRecord() {
  const EmbeddedPgpKey& key = EmbeddedUpdateKey();
  _PGP_PUBLIC_KEY record;
  PgpSetPublicKey(&record, kPgpKeyRsa, key.key_id.data(), nullptr, key.modulus_bits,
                  key.modulus.data(), key.exponent_bits, key.exponent.data(), 0, nullptr, 0,
                  nullptr);
  return record;
}
