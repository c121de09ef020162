#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Names of a pico's data files: "<n>.pic" with n in decimal, and "<n>_new.pic"
// while file n is on its way in.

inline constexpr char kPicoFilePattern[] = "*.pic";

// n of a name "<n>.pic" (decimal, within 32 bits); nothing for any other name.
[[nodiscard]] std::optional<uint32_t> PicoFileNumber(std::string_view name);

[[nodiscard]] std::string PicoFileName(uint32_t n);
[[nodiscard]] std::string NewPicoFileName(uint32_t n);
