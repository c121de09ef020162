// Dotted versions and locale names come from repository documents and host
// records: any text must parse without reading past its end, and the two
// version forms must agree on their common parts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "updater/engine/common/locale_name.h"
#include "updater/engine/common/version_numbers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const uint64_t four = ParseVersion4(text.c_str());
  const uint64_t three = ParseVersion3(text.c_str());
  if ((four >> 32) != (three >> 32) || ((four >> 16) & 0xFFFF) != (three & 0xFFFF)) std::abort();
  std::string locale = text;
  NormalizeLocaleName(locale.data(), size);
  if (locale.size() != size) std::abort();
  return 0;
}
