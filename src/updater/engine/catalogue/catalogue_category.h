#pragma once

#include <cstdint>

// Whether a fetched catalogue is of use for the wanted category (3 engine,
// 4 dll, 5 dylib): true when it is NOT, that is when it has no section at
// all, or no section whose "category" names the category and no "LB"
// section. A catalogue that cannot be loaded counts as usable, so that a
// read failure is reported by whoever reads it next.
[[nodiscard]] bool CheckUpdateVerCategory(const char* catalog_path, uint32_t category);
