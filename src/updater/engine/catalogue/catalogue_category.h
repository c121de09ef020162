#pragma once

#include <cstdint>

#include "updater/engine/catalogue/catalogue.h"

// Whether a fetched catalogue is of use for the wanted category (3 engine,
// 4 dll, 5 dylib): true when it is NOT, that is when it has no section at
// all, or no section whose "category" names the category and no "LB"
// section. A catalogue that did not load counts as usable, so that the
// failure shows where it is read next.
[[nodiscard]] bool CheckUpdateVerCategory(const Catalogue& catalogue, uint32_t category);
