#include <cstring>

#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/context_call.h"
#include "updater/api/export_guard.h"
#include "updater/engine/common/component_tables.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/lists/module_scan.h"

namespace {

// The installed scanner of this build's platform, as the engine reads it.
const _COMPONENT_INFO* FindScanner(const CListBase& modules) {
  for (const _COMPONENT_INFO& module : modules) {
    if (module.engineType == kEngineModuleType && module.platform == GetPlatformIdOfBuild()) {
      return &module;
    }
  }
  return nullptr;
}

}  // namespace

UPD_ERROR UpdGetScannerVersionEx2(UPDATER_CONTEXT* context, const UPDATER_SETTINGS* settings,
                                  uint32_t* build, char* version, uint64_t versionSize) {
  const UPD_ERROR refusal = CheckEntry(context, settings, kCheckCallback);
  if (refusal != kUpdOk) return refusal;
  if (build == nullptr || version == nullptr || versionSize == 0) return kUpdInvalidRequest;
  return GuardExport([&] {
    ContextCall call(context);
    call.Bind(settings);
    *build = 0;
    version[0] = '\0';
    CListBase modules;
    ScanInstalledModulesEx(modules, settings, context->modulesFolder);
    const _COMPONENT_INFO* scanner = FindScanner(modules);
    if (scanner == nullptr) return kUpdNoInstalledModule;
    const size_t length = std::strlen(scanner->version);
    if (length >= versionSize) return kUpdResultTooSmall;
    std::memcpy(version, scanner->version, length + 1);
    *build = static_cast<uint32_t>(scanner->build);
    return kUpdOk;
  });
}
