#pragma once

#include "platform/store/profile_file.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/common/component_info.h"

// Reads the catalogue section named section into record.
// keep false starts from a zero record and reads "name"; keep true re-reads
// into what the record holds and leaves its name alone. A section with a
// "ver" reference gets only the reference flag and the path. False when the
// catalogue did not load or the section names an unknown category or
// platform (the record may then be partly filled).
[[nodiscard]] bool ReadComponentInfo(const Catalogue& catalogue, const char* section,
                                     _COMPONENT_INFO* record, bool keep);

// The same for a section of the INI file at ini_path that is no run's
// catalogue (a package header, a host's component list), read through the
// process-wide profile cache under its lock.
[[nodiscard]] bool ReadComponentInfo(const char* ini_path, const char* section,
                                     _COMPONENT_INFO* record, bool keep);
// The same for an INI file already parsed (a package's header).
[[nodiscard]] bool ReadComponentInfo(const CProfileFile& file, const char* section,
                                     _COMPONENT_INFO* record, bool keep);
