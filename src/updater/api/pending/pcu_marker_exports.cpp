// Exports of the offline packages and the package folders. Until they land
// each answers its argument checks and then 3 (not supported in this build).

#include "platform/util/update_errors.h"
#include "updater.h"

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

