#pragma once

#include <cstdint>

#include "updater/engine/lists/update_lists.h"

// Per-run records of a library context, kept for its life and emptied at
// the end of every run.

// What the catalogue step of a run obtained.
struct CServerSelectionState {
  // A new catalogue was taken.
  uint8_t newCatalogue = 0;
  // The stored catalogue was kept (the server answered "not modified").
  uint8_t keptCatalogue = 0;

  void Reset() {
    newCatalogue = 0;
    keptCatalogue = 0;
  }
  bool Obtained() const { return newCatalogue != 0 || keptCatalogue != 0; }
};

// Installed engine modules that the catalogue offers, and the base packages.
struct CInstalledModules {
  // Set by the installation when it replaced an engine module.
  static constexpr uint32_t kEngineModuleReplaced = 0x4;

  uint32_t flags = 0;
  CInstalledList installedList;
  CBaseNupList baseNupList;

  // Frees both lists; the flags word stays.
  void Clear();
};
