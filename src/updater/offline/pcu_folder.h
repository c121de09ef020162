#pragma once

#include <cstdint>
#include <string>

#include "updater/engine/lists/component_list.h"

// The folder where application packages wait for the mirror: data_folder,
// "updfiles", "tempMirrorPCU", joined by '/' and ended by '/'. A part that
// would make the path longer than a path buffer holds is left off.
[[nodiscard]] std::string PcuFolder(const char* data_folder);

// The packages of every category in the PCU folder, headers only, into
// list with flags set; skip_duplicates passes over a package the list holds.
void ScanPcuFolder(const char* data_folder, CListBase& list, uint32_t flags, bool skip_duplicates);
