#include "updater/engine/run_state.h"

void CInstalledModules::Clear() {
  installedList.RemoveAll();
  baseNupList.RemoveAll();
}
