#pragma once

#include <cstdint>

// This build's platform as the catalogue, the repository and the engine name
// it. Version comparisons and platform matches depend on these values.

[[nodiscard]] constexpr const char* GetPlatformName() { return "linux"; }
[[nodiscard]] constexpr const char* GetArchName() { return "x64"; }
// The id of "x64" in the catalogue's platform table.
[[nodiscard]] constexpr uint32_t GetPlatformIdOfBuild() { return 1; }
