#include <cstring>
#include <new>
#include <string_view>

#include "platform/os/os_path.h"
#include "platform/util/strings.h"
#include "updater/api/context.h"
#include "updater/api/export_guard.h"

namespace {

// The longest name that the context keeps under the update folder.
constexpr std::string_view kLongestCatalogueName = "lastupd_dylib.ver";

bool IsEmpty(const char* text) { return text == nullptr || *text == '\0'; }

// Copies a folder with '/' appended. False when it does not fit with room
// for what goes under it: a cut folder path names another folder, and the
// library would create and delete files there.
bool CopyFolder(char (&target)[UPD_PATH_SIZE], std::string_view folder, size_t room_below) {
  const bool has_slash = !folder.empty() && folder.back() == '/';
  if (folder.size() + (has_slash ? 0 : 1) + room_below >= UPD_PATH_SIZE) return false;
  std::memcpy(target, folder.data(), folder.size());
  target[folder.size()] = '\0';
  OsAppendSlash(target, UPD_PATH_SIZE);
  return true;
}

void CopyText(char* target, size_t size, const char* text) {
  if (!IsEmpty(text)) SafeStrCopy(target, size, text);
}

std::string DataSubfolder(const char* data_folder, const char* name) {
  std::string folder(data_folder);
  if (folder.back() != '/') folder.push_back('/');
  return folder + name;
}

bool SetUpdateFolder(UPDATER_CONTEXT& context, const char* data_folder) {
  if (IsEmpty(data_folder)) return false;
  const std::string folder = DataSubfolder(data_folder, "updfiles");
  return CopyFolder(context.updateFolder, folder, kLongestCatalogueName.size());
}

bool SetModulesFolder(UPDATER_CONTEXT& context, const char* modules_folder) {
  if (IsEmpty(modules_folder)) return false;
  if (!CopyFolder(context.modulesFolder, modules_folder, 0)) return false;
  std::memcpy(context.engineFolder, context.modulesFolder, sizeof context.engineFolder);
  return true;
}

void SetCataloguePaths(UPDATER_CONTEXT& context) {
  const auto path = [&context](char(&target)[UPD_PATH_SIZE], const char* name) {
    SafeStrCopy(target, sizeof target, context.updateFolder);
    SafeStrCat(target, sizeof target, name);
  };
  path(context.updVerPath, "upd.ver");
  path(context.updDllVerPath, "upd_dll.ver");
  path(context.updDylibVerPath, "upd_dylib.ver");
  path(context.lastUpdVerPath, "lastupd.ver");
  path(context.lastUpdDllVerPath, "lastupd_dll.ver");
  path(context.lastUpdDylibVerPath, "lastupd_dylib.ver");
  path(context.modVerPath, "mod.ver");
  context.currentVerPath = context.updVerPath;
  context.currentLastVerPath = context.lastUpdVerPath;
}

// Builds the context in its start-up order: the lock, the per-run records,
// the mirror and the installer holder, the host texts, the folders, the
// backup store and the download session on the data folder, the catalogue
// paths. A failed step fails the whole start-up.
bool BuildContext(UPDATER_CONTEXT& context, const char* data_folder, const char* modules_folder,
                  const char* app_version, const char* host_string) {
  context.lock = OsMutexCreate();
  if (context.lock == nullptr) return false;
  context.moduleInstaller = std::make_unique<CModuleInstaller>();
  context.mirror = std::make_unique<CMirror>();
  context.pcuManager = std::make_unique<PcuManager>();
  CopyText(context.appVersion, sizeof context.appVersion, app_version);
  CopyText(context.hostString64, sizeof context.hostString64, host_string);
  if (!SetModulesFolder(context, modules_folder)) return false;
  if (!SetUpdateFolder(context, data_folder)) return false;
  context.backupStore = OpenBackupStore(data_folder, context.modulesFolder);
  if (context.backupStore == nullptr) return false;
  context.session = std::make_unique<CDownloadSession>(DataSubfolder(data_folder, "cache"));
  // Outside any call, the session answers every abort of the context.
  context.runCancel = context.abort.TokenFromNow();
  context.session->SetCancelToken(context.runCancel);
  SetCataloguePaths(context);
  return true;
}

// Releases the parts in the order the engine needs: the per-run records, the
// download session, the module installer, the mirror, the backup store, the
// pico manager, the installer holder; then the lock and the context.
void FreeContext(UPDATER_CONTEXT* context) {
  context->session.reset();
  context->moduleInstaller.reset();
  context->mirror.reset();
  context->backupStore.reset();
  context->picoManager.reset();
  context->pcuManager.reset();
  OsMutexDestroy(context->lock);
  delete context;
}

}  // namespace

UPDATER_CONTEXT* UpdInitialize(const char* dataFolder, const char* modulesFolder,
                               const char* appVersion, const char* hostString) {
  return UpdInitialize2(dataFolder, modulesFolder, appVersion, hostString, 0xFFFFFFFF);
}

UPDATER_CONTEXT* UpdInitialize2(const char* dataFolder, const char* modulesFolder,
                                const char* appVersion, const char* hostString, uint32_t) {
  return GuardExport<UPDATER_CONTEXT*>(nullptr, [&]() -> UPDATER_CONTEXT* {
    auto* context = new (std::nothrow) UPDATER_CONTEXT{};
    if (context == nullptr) return nullptr;
    // A part that throws while it is built fails the start-up the same way.
    const bool built = GuardExport<bool>(false, [&] {
      return BuildContext(*context, dataFolder, modulesFolder, appVersion, hostString);
    });
    if (built) return context;
    FreeContext(context);
    return nullptr;
  });
}

UPDATER_CONTEXT* UpdInitialize3(const char* dataFolder, const char* modulesFolder,
                                const char* engineFolder, const char* appVersion,
                                const char* hostString, uint32_t word) {
  if (engineFolder == nullptr) return nullptr;
  UPDATER_CONTEXT* context =
      UpdInitialize2(dataFolder, modulesFolder, appVersion, hostString, word);
  if (context == nullptr) return nullptr;
  if (!CopyFolder(context->engineFolder, engineFolder, 0)) {
    FreeContext(context);
    return nullptr;
  }
  return context;
}

UPDATER_CONTEXT* UpdInitialize4(const UPDATER_INIT_PARAMS* params) {
  if (params == nullptr) return nullptr;
  UPDATER_CONTEXT* context =
      UpdInitialize3(params->dataFolder, params->modulesFolder, params->engineFolder,
                     params->appVersion, params->hostString64, 0xFFFFFFFF);
  if (context == nullptr) return nullptr;
  context->hostWord = params->hostWord;
  CopyText(context->hostString256, sizeof context->hostString256, params->hostString256);
  CopyText(context->hostString32, sizeof context->hostString32, params->hostString32);
  if (!IsEmpty(params->picoFolder) && !GuardExport<bool>(false, [&] {
        context->picoManager = std::make_unique<CPicoManager>(params->picoFolder);
        return true;
      })) {
    FreeContext(context);
    return nullptr;
  }
  if (!IsEmpty(params->certificateFolder)) {
    context->session->ConfigureTls(params->certificateFolder);
  }
  return context;
}

void UpdUninitialize(UPDATER_CONTEXT* context) {
  if (context != nullptr) FreeContext(context);
}
