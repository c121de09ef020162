#pragma once

#include <cstdint>
#include <functional>

#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/common/component_info.h"
#include "updater/engine/lists/component_list.h"

// Readers of the catalogue's sections by channel: "CONTINUOUS_",
// "PRELIMINARY_" and "REVERSE_" sections, and the plain ones without such a
// prefix. Each reads the catalogue in file order, takes the sections that
// read as components of the wanted category and returns how many entries it
// added to list (0 when the catalogue did not load).

// Calls visit with the record of every section of the channel kind that
// reads as a component (references included), in file order.
void ForEachChannelSection(const Catalogue& catalogue, ComponentListKind kind,
                           const std::function<void(_COMPONENT_INFO&)>& visit);

// Engine modules (category 3) of one channel, appended.
int64_t ReadContinuousSections(CListBase& list, const Catalogue& catalogue);
int64_t ReadPreliminarySections(CListBase& list, const Catalogue& catalogue);
int64_t ReadReverseSections(CListBase& list, const Catalogue& catalogue);

// The same for any one category (the mirror's forms).
int64_t ReadContinuousSectionsOfCategory(CListBase& list, const Catalogue& catalogue,
                                         uint32_t category);
int64_t ReadReverseSectionsOfCategory(CListBase& list, const Catalogue& catalogue,
                                      uint32_t category);

// Plain sections of a module category (above 2), each added with
// CListBase::AddOrMark, so an entry of the same category and name already in
// the list is not added twice.
int64_t ReadPlainSectionsOfCategory(CListBase& list, const Catalogue& catalogue, uint32_t category);
