#include "verify/openpgp/pgp_verify_context.h"

#include <cstring>

void PgpInitVerifyContext(_PGP_VERIFY_CONTEXT* context) {
  if (context == nullptr) return;
  context->one_pass_position = -1;
  std::memset(context->one_pass, 0, sizeof(context->one_pass));
  context->literal = {};
  context->block_key.Clear();
  context->verdict.code = kPgpNotVerified;
  context->verdict.creation_time = 0;
  context->verdict.key_id = 0;
  context->verdict.certified_key.Clear();
  context->selected = kPgpNoKeySelected;
  context->selected_block_key.Clear();
  context->has_stream_start = false;
  context->stream_start = 0;
}

bool PgpIsKeyIdBlocked(const PGP_KEY_ID_LIST* blocked, const uint8_t* key_id) {
  if (blocked == nullptr || blocked->ids == nullptr) return false;
  for (uint64_t i = 0; i < blocked->count; ++i) {
    if (PgpKeyIdEquals(blocked->ids[i], key_id)) return true;
  }
  return false;
}
