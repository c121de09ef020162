#include "updater/pico/pico_files.h"

#include "platform/util/text_helpers.h"

namespace {

constexpr std::string_view kExtension = ".pic";
constexpr std::string_view kNewSuffix = "_new.pic";

}  // namespace

std::optional<uint32_t> PicoFileNumber(std::string_view name) {
  if (!name.ends_with(kExtension)) return std::nullopt;
  const std::string stem(name.substr(0, name.size() - kExtension.size()));
  uint32_t n = 0;
  if (!ParseDecimal(stem.c_str(), &n)) return std::nullopt;
  return n;
}

std::string PicoFileName(uint32_t n) { return std::to_string(n) + std::string(kExtension); }

std::string NewPicoFileName(uint32_t n) { return std::to_string(n) + std::string(kNewSuffix); }
