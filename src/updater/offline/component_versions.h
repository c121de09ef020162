#pragma once

#include <cstdint>
#include <vector>

#include "updater/engine/lists/component_list.h"

// Indices into a package list of the chains chosen for installation.
using ChainList = std::vector<ListIndex>;

// Chooses, among the packages of list that are of module (case-insensitive)
// and platform and not dropped, the chain that reaches the highest build: a
// full package, then deltas of levels 1 to 9, each based on the build of the
// one before. On equal builds the package that comes first wins. Appends the
// chain's indices, full package first, to chain and returns the build it
// reaches (low 32 bits); 0 and nothing appended without a full package.
uint32_t ResolveComponentVersions(const CListBase& list, const char* module, uint32_t platform,
                                  ChainList& chain);
