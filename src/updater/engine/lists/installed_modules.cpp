#include "updater/engine/lists/installed_modules.h"

void CInstalledModules::Clear() {
  installedList.RemoveAll();
  baseNupList.RemoveAll();
}
