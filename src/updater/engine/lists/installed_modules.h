#pragma once

#include <cstdint>

#include "updater/engine/lists/update_lists.h"

// Installed engine modules that the catalogue offers, and the base packages:
// a record the context keeps for its life, emptied at the end of every run.
struct CInstalledModules {
  // Set by the installation when it replaced an engine module.
  static constexpr uint32_t kEngineModuleReplaced = 0x4;

  uint32_t flags = 0;
  CInstalledList installedList;
  CBaseNupList baseNupList;

  // Frees both lists; the flags word stays.
  void Clear();
};
