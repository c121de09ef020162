// Exports of the offline packages and the package folders. Until they land
// each answers its argument checks and then 3 (not supported in this build).

#include "platform/util/update_errors.h"
#include "updater.h"

namespace {

// The smallest result record of UpdDownloadNups: its size and the array.
constexpr uint32_t kDownloadNupsResultSize = 36;

}  // namespace

UPD_ERROR UpdSetupEngines3(const UPDATER_SETTINGS*, const char*, const char*, const char*,
                           const char*) {
  return kUpdNotSupported;
}

UPD_ERROR UpdDownloadNups(const UPD_DOWNLOAD_NUPS_PARAMS* params,
                          UPD_DOWNLOAD_NUPS_RESULT* result) {
  if (params == nullptr || params->settings == nullptr) return kUpdNoSettings;
  if (params->dataFolder == nullptr || params->groups == nullptr) return kUpdInvalidRequest;
  if (result == nullptr || result->cbSize < kDownloadNupsResultSize) return kUpdResultTooSmall;
  return kUpdNotSupported;
}

UPD_ERROR UpdGetListPCUInTempFolder(const char*, char*, uint64_t* size) {
  if (size == nullptr) return kUpdInvalidRequest;
  return kUpdNotSupported;
}

UPD_ERROR UpdGetListPCUInTempFolderEx(const char* dataFolder, void*, uint64_t* size) {
  if (dataFolder == nullptr || size == nullptr) return kUpdInvalidArgument;
  return kUpdNotSupported;
}

UPD_ERROR UpdGetListPcuInTempFolderExEx(const char* dataFolder, const char* filter, void*,
                                        uint64_t* size) {
  if (dataFolder == nullptr || filter == nullptr || size == nullptr) return kUpdInvalidArgument;
  return kUpdNotSupported;
}

UPD_ERROR UpdChangeEULAStatusAsAgreed(const char* packagePath) {
  if (packagePath == nullptr || *packagePath == '\0') return kUpdInvalidArgument;
  return kUpdNotSupported;
}

int32_t UpdGetAllPCUs(UPDATER_CONTEXT* context, UPD_COMPONENT_ENTRY*, uint32_t) {
  if (context == nullptr) return static_cast<int32_t>(kUpdNoContext);
  return static_cast<int32_t>(kUpdNotSupported);
}
