#include "updater/engine/catalogue/update_hash.h"

#include <cstdint>

#include "platform/store/profile_cache.h"

namespace {

// 40 hexadecimal digits and the NUL.
constexpr uint32_t kUpdateHashSize = 41;

}  // namespace

std::string ReadUpdateHash(const char* catalogue_path) {
  char hash[kUpdateHashSize] = {};
  const uint32_t length =
      ProfileGetString("UP_HASH", "hash", "", hash, sizeof hash, catalogue_path);
  return std::string(hash, length);
}
