#include "updater/engine/ver_validators.h"

void LoadVerFileValidators(const char*, const char*, const char*, const UPDATER_SETTINGS*,
                           std::string*, std::string*) {}

bool SaveVerFileValidators(const char*, const char*, const char*, const UPDATER_SETTINGS*,
                           const std::string&, const std::string&) {
  return false;
}
