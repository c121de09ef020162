// The mirror's ".inf" marker reader over arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/engine/mirror/mirror_markers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto content = ParseMarkerBytes(bytes);
  if (content && content->name.size() > bytes.size()) __builtin_trap();
  return 0;
}
