#include "verify/openpgp/pgp_public_key.h"

#include <cstring>

void PgpSetPublicKey(_PGP_PUBLIC_KEY* key, uint32_t kind, const uint8_t* key_id,
                     const uint64_t* value, uint32_t bits1, const uint8_t* data1, uint32_t bits2,
                     const uint8_t* data2, uint32_t bits3, const uint8_t* data3, uint32_t bits4,
                     const uint8_t* data4) {
  if (key == nullptr) return;
  key->kind = kind;
  key->key_id = key_id;
  key->value = value != nullptr ? *value : 0;
  key->mpi[0] = {bits1, data1, 0};
  key->mpi[1] = {bits2, data2, 0};
  if (data3 != nullptr) {
    key->mpi[2] = {bits3, data3, 0};
    key->mpi[3] = {bits4, data4, 0};
  }
}

void PgpFreeMpi(_PGP_MPI* slot) {
  if (slot == nullptr) return;
  if (slot->owned != 0) delete[] slot->data;
  *slot = {};
}

uint32_t PgpKeySlotCount(uint32_t kind) {
  if (kind == kPgpKeyRsa) return 2;
  if (kind == kPgpKeyDsa) return 4;
  return 0;
}

bool PgpIsKeyComplete(const _PGP_PUBLIC_KEY& key) {
  const uint32_t slots = PgpKeySlotCount(key.kind);
  if (slots == 0) return false;
  for (uint32_t i = 0; i < slots; ++i) {
    if (key.mpi[i].data == nullptr) return false;
  }
  return true;
}

bool PgpKeyIdEquals(const uint8_t* a, const uint8_t* b) {
  return a != nullptr && b != nullptr && std::memcmp(a, b, kPgpKeyIdSize) == 0;
}

uint64_t PgpKeyIdValue(const uint8_t* id) {
  uint64_t v = 0;
  if (id == nullptr) return 0;
  for (uint32_t i = 0; i < kPgpKeyIdSize; ++i) v = (v << 8) | id[i];
  return v;
}
