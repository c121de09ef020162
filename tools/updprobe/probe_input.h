#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace updprobe {

// Reads a whole file into out; "-" reads standard input.
[[nodiscard]] bool ReadInput(const char* path, std::vector<uint8_t>& out);

// Hexadecimal text (either case, an even number of digits) to bytes.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view hex);

// "sha1" ... "sha512" to the hash algorithm id; kHashNone for any other name.
uint32_t HashIdFromName(std::string_view name);

}  // namespace updprobe
