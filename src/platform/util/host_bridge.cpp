#include "platform/util/host_bridge.h"

#include <algorithm>

#include "platform/os/os_path.h"
#include "platform/util/charset.h"
#include "platform/util/strings.h"
#include "platform/util/host_binding.h"

namespace {

// The engine folder of event 26 travels in a buffer of this many UTF-16 units.
constexpr size_t kFolderUnits = UPD_PATH_SIZE;
// The server root of event 32 travels in a buffer of this many bytes.
constexpr size_t kServerRootSize = 256;

uint32_t Raise(const UPDATER_SETTINGS* settings, uint32_t event, void* data) {
  return settings->eventCallback(event, data, settings->userData);
}

void NotifyRelease(const UPDATER_SETTINGS* settings, uint32_t event, ENGINE_DISPATCH* dispatch) {
  if (!HasHostCallback(settings)) return;
  UPD_ENGINE_RELEASE_EVENT record{};
  record.dispatch = dispatch;
  Raise(settings, event, &record);
}

bool NotifyContext(const HostBinding* context, uint32_t event, void* buffer) {
  if (context == nullptr) return false;
  const UPDATER_SETTINGS* settings = context->settings;
  if (!HasHostCallback(settings)) return false;
  return Raise(settings, event, buffer) == 0;
}

}  // namespace

bool HasHostCallback(const UPDATER_SETTINGS* settings) {
  return settings != nullptr && settings->eventCallback != nullptr;
}

void NotifyHostStatus(uint32_t word, const UPDATER_SETTINGS* settings, uint32_t kind,
                      uint64_t value) {
  if (!HasHostCallback(settings)) return;
  UPD_STATUS_EVENT record{};
  record.kind = kind;
  record.value = value;
  record.word = word;
  Raise(settings, UPD_EVENT_STATUS, &record);
}

void NotifyHostFile(uint32_t word, const UPDATER_SETTINGS* settings, uint32_t kind, uint64_t value,
                    const char* name) {
  if (!HasHostCallback(settings)) return;
  UPD_FILE_EVENT record{};
  record.kind = kind;
  record.value = value;
  if (name != nullptr) SafeStrCopy(record.name, sizeof record.name, name);
  record.word = word;
  Raise(settings, UPD_EVENT_FILE, &record);
}

void NotifyHostUpdateGroups(const UPDATER_SETTINGS* settings, char* buffer) {
  std::fill_n(buffer, UPD_GROUP_LIST_SIZE, '\0');
  if (!HasHostCallback(settings)) return;
  Raise(settings, UPD_EVENT_UPDATE_GROUPS, buffer);
}

void NotifyHostPackagesDownloaded(const UPDATER_SETTINGS* settings, const char* server_root) {
  if (!HasHostCallback(settings)) return;
  char root[kServerRootSize] = {};
  SafeStrCopy(root, sizeof root, server_root);
  Raise(settings, UPD_EVENT_PACKAGES_DOWNLOADED, root);
}

void NotifyMirrorAgreementPending(const MIRROR_SETTINGS* mirror_settings) {
  if (mirror_settings == nullptr || mirror_settings->callback == nullptr) return;
  mirror_settings->callback(MIRROR_EVENT_AGREEMENT_PENDING, nullptr,
                            mirror_settings->callbackContext);
}

void NotifyMirrorError(const MIRROR_SETTINGS* mirror_settings, uint32_t code) {
  if (mirror_settings == nullptr || mirror_settings->callback == nullptr) return;
  mirror_settings->callback(MIRROR_EVENT_ERROR, &code, mirror_settings->callbackContext);
}

void NotifyHostInstallResult(const UPDATER_SETTINGS* settings, uint32_t value) {
  if (!HasHostCallback(settings)) return;
  Raise(settings, UPD_EVENT_INSTALL_RESULT, &value);
}

uint32_t NotifyHostServerFallback(const UPDATER_SETTINGS* settings) {
  if (!HasHostCallback(settings)) return 0;
  return Raise(settings, UPD_EVENT_SERVER_FALLBACK, nullptr);
}

uint32_t ConfirmLargeDownload(const UPDATER_SETTINGS* settings, uint64_t size) {
  if (!HasHostCallback(settings) || settings->confirmLargeDownload == 0) return 1;
  const uint64_t limit = uint64_t{settings->largeDownloadLimitKiB} << 10;
  if (size <= limit) return 1;
  UPD_CONFIRM_DOWNLOAD_EVENT record{};
  // The record's size field is 32 bits wide; larger sizes read as its maximum.
  record.size = static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
  record.confirmWord1 = settings->confirmWord1;
  record.confirmWord2 = settings->confirmWord2;
  return Raise(settings, UPD_EVENT_CONFIRM_DOWNLOAD, &record);
}

ENGINE_DISPATCH NotifyHostEngineForFolder(const UPDATER_SETTINGS* settings, const char* folder) {
  ENGINE_DISPATCH dispatch{};
  if (!HasHostCallback(settings)) return dispatch;
  char16_t folder_units[kFolderUnits] = {};
  LocalToUtf16(folder, folder_units, kFolderUnits);
  OsAppendSlashUtf16(folder_units, kFolderUnits);
  UPD_ENGINE_FOLDER_EVENT record{};
  record.folder = folder_units;
  record.dispatch = &dispatch;
  Raise(settings, UPD_EVENT_ENGINE_FOR_FOLDER, &record);
  return dispatch;
}

ENGINE_DISPATCH NotifyHostEngine(const UPDATER_SETTINGS* settings) {
  ENGINE_DISPATCH dispatch{};
  if (!HasHostCallback(settings)) return dispatch;
  UPD_ENGINE_REQUEST_EVENT record{};
  record.dispatch = &dispatch;
  Raise(settings, UPD_EVENT_ENGINE, &record);
  return dispatch;
}

void NotifyHostEngineForFolderEnd(const UPDATER_SETTINGS* settings, ENGINE_DISPATCH* dispatch) {
  NotifyRelease(settings, UPD_EVENT_ENGINE_FOR_FOLDER_END, dispatch);
}

void NotifyHostEngineEnd(const UPDATER_SETTINGS* settings, ENGINE_DISPATCH* dispatch) {
  NotifyRelease(settings, UPD_EVENT_ENGINE_END, dispatch);
}

bool NotifyHostDealId(const HostBinding* context, void* buffer) {
  return NotifyContext(context, UPD_EVENT_DEAL_ID, buffer);
}

bool NotifyHostOsInfo(const HostBinding* context, void* buffer) {
  return NotifyContext(context, UPD_EVENT_OS_INFO, buffer);
}
