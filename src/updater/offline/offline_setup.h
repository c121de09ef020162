#pragma once

#include <cstdint>
#include <string_view>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/install/module_installer.h"
#include "updater/engine/lists/component_list.h"

// Removes from modules, last entry first, every entry whose file is
// modules_folder followed by file_name (case-sensitive), deleting the file.
void RemoveModuleFile(CListBase& modules, std::string_view modules_folder,
                      std::string_view file_name);

// Removes from modules, last entry first, every module of another platform
// than this build's, deleting its file.
void RemoveForeignPlatformModules(CListBase& modules);

// Installs with installer, directly into the target's modules folder, the
// engine modules
// that the signed packages of packages_folder (ending in '/') make for the
// update groups named in groups: each installed module of those groups
// reaches the highest build its packages chain to. A package of another
// group drops the module file it installs. "InstallTime" is stored when the
// installation gives 0 or kUpdNothingNew. The packages left out of the installation
// are deleted on every path. Returns the installation's code.
[[nodiscard]] UpdError SetupEnginesFromFolder(CModuleInstaller& installer,
                                              const InstallTarget& target,
                                              const char* packages_folder, std::string_view groups);
