#include "updater/api/run_binding.h"

#include "updater/api/context.h"

CataloguePaths CataloguePathsOf(const UPDATER_CONTEXT& context) {
  CataloguePaths paths;
  paths.updVer = context.updVerPath;
  paths.updDllVer = context.updDllVerPath;
  paths.updDylibVer = context.updDylibVerPath;
  paths.lastUpdVer = context.lastUpdVerPath;
  paths.lastUpdDllVer = context.lastUpdDllVerPath;
  paths.lastUpdDylibVer = context.lastUpdDylibVerPath;
  paths.modVer = context.modVerPath;
  paths.current = context.currentVerPath;
  paths.currentLast = context.currentLastVerPath;
  return paths;
}

UpdateRun BindRun(UPDATER_CONTEXT& context) {
  return {context,
          context.lists,
          context.serverState,
          context.installed,
          CataloguePathsOf(context),
          {context.catalogueBaseUrl, context.serverRoot},
          context.resultFlags,
          context.lastResult,
          {context.lastAttemptTime, context.lastUpdateTime},
          RunCancellation(context.runCancel),
          Catalogue()};
}

EngineServices BindServices(UPDATER_CONTEXT& context) {
  return {*context.session,         *context.backupStore, context.picoManager.get(),
          *context.moduleInstaller, *context.pcuManager,  *context.mirror};
}
