#pragma once

#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/lists/component_list.h"

// True when the installed scanner is ahead of the catalogue: the
// newest installed engine module of this build's platform (engine type 3 in
// installed) has no build in the catalogue's plain engine sections, or a
// build there (low 32 bits) below its own. Pico entries must not be purged
// on the word of a catalogue older than the scanner.
[[nodiscard]] bool IsScannerAheadOfCatalogue(const Catalogue& catalogue,
                                             const CListBase& installed);

// The engine modules (category 3) of the catalogue's sections without a
// channel prefix.
[[nodiscard]] CListBase ReadPlainEngineSections(const Catalogue& catalogue);
