#pragma once

// The catalogue files of a library context under its update folder: the
// three catalogues a run or a mirror fetches, their last copies, the one the
// installed modules came from, and the pair the run works with.
struct CataloguePaths {
  const char* updVer = nullptr;
  const char* updDllVer = nullptr;
  const char* updDylibVer = nullptr;
  const char* lastUpdVer = nullptr;
  const char* lastUpdDllVer = nullptr;
  const char* lastUpdDylibVer = nullptr;
  // "mod.ver": the catalogue of the last installation.
  const char* modVer = nullptr;
  // The run's catalogue and its last copy.
  const char* current = nullptr;
  const char* currentLast = nullptr;
};
