#pragma once

#include <cstdint>
#include <string>

#include "updater.h"
#include "updater/engine/install/install_staging.h"
#include "updater/engine/package/opened_package.h"
#include "updater/engine/install/install_target.h"

// What every step of one installation works with.
struct InstallRun {
  const InstallTarget* target = nullptr;
  ModuleInstallState* state = nullptr;
  // Null while no engine is held ("loader64" is placed before one is).
  const ENGINE_DISPATCH* engine = nullptr;
  // The run's temporary folder under the modules folder; null when none
  // could be made, and then no temporary file can be.
  const char* tempFolder = nullptr;
  bool skipSignature = false;
  InstallMode mode = InstallMode::kStaged;
  // Receives the engine's raw result of every patch step.
  uint32_t* engineResult = nullptr;
};

// Makes a new empty temporary file "NUP.XXXXXX" in the run's temporary folder
// (on the modules folder's file system, so that what is made there can be
// renamed into place). False when none could be made.
[[nodiscard]] bool MakeInstallTempFile(const InstallRun& run, std::string* path);

// Header values of a package; the fallback, or "", without a header (an
// installed module file taken as a chain's head has none).
[[nodiscard]] int32_t ReadHeaderInt(const PackageInfo* info, const char* key, int32_t fallback);
[[nodiscard]] std::string ReadHeaderText(const PackageInfo* info, const char* key, uint32_t size);

// Deletes a temporary file; nothing for "".
void DropFile(std::string* path);

// The platform id of a header's "platform" name; ~0 for a name the table lacks.
[[nodiscard]] uint32_t HeaderPlatformId(const PackageInfo* info);
