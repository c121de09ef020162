#pragma once

#include <cstdint>

// Result flags of a module update run (the caller's word).
inline constexpr uint32_t kRunEngineModuleReplaced = 0x1;
// At least one package was downloaded.
inline constexpr uint32_t kResultPackageDownloaded = 0x4;
inline constexpr uint32_t kRunNewCatalogue = 0x8;
inline constexpr uint32_t kRunCatalogueObtained = 0x200;
