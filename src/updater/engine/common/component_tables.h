#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "updater/engine/common/component_info.h"

// Name tables of the catalogue. Names match ASCII case-insensitively.

// "component", "engine", "dll", "dylib", "pico" -> ComponentCategory.
[[nodiscard]] std::optional<uint32_t> GetCategoryId(std::string_view name);
// Module platforms (categories 3 to 5): "x86" 0, "x64" 1, "arm" 2, "arm64" 3.
[[nodiscard]] std::optional<uint32_t> GetPlatformId(std::string_view name);
// Platforms of a "component" (category 1): "winnt32" 0, "winnt64" 1, "arm64" 2.
[[nodiscard]] std::optional<uint32_t> GetComponentPlatformId(std::string_view name);

// The table names of an id; null for an id the table lacks.
[[nodiscard]] const char* GetCategoryName(uint32_t id);
[[nodiscard]] const char* GetPlatformNameOfId(uint32_t id);
[[nodiscard]] const char* GetComponentPlatformName(uint32_t id);

[[nodiscard]] constexpr bool IsModuleCategory(uint32_t id) { return id > kCategoryPico; }
[[nodiscard]] constexpr bool IsComponentCategory(uint32_t id) { return id == kCategoryComponent; }
[[nodiscard]] constexpr bool Is64BitPlatform(uint32_t id) { return id == 1 || id == 3; }

// The list kind that a section name's channel prefix gives.
[[nodiscard]] ComponentListKind ListKindOfSection(const char* section);
