#pragma once

#include <cstdint>
#include <string_view>

// Names of INI sections and keys are matched without regard to ASCII case and
// to surrounding double quotes. The CRC below folds both away, so an equal CRC
// is a cheap first test and the hash key of the lookup index.

// CRC-32 of the name with every '"' skipped and 'a'..'z' taken as 'A'..'Z'
// (0 for an empty name).
[[nodiscard]] uint32_t ProfileNameCrc(std::string_view name);

// Whether the stored name (with its CRC) is the requested one (with its CRC):
// equal CRCs, one leading quote dropped from each, then a case-insensitive
// comparison up to the end or the next quote of either.
[[nodiscard]] bool ProfileNameEquals(std::string_view stored, uint32_t stored_crc,
                                     std::string_view requested, uint32_t requested_crc);
