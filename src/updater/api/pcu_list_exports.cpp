// Exports that list application packages: those staged for the mirror and
// those the last catalogue offered.

#include <cstring>

#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/export_guard.h"
#include "updater/engine/host_component_list.h"
#include "updater/offline/pcu_folder.h"

namespace {

UPD_ERROR ListPcuNames(const char* data_folder, char* names, uint64_t* size) {
  CListBase list;
  if (data_folder != nullptr) ScanPcuFolder(data_folder, list, 0, false);
  uint64_t required = 0;
  for (const _COMPONENT_INFO& entry : list) {
    required += strnlen(entry.displayName, sizeof entry.displayName) + 1;
  }
  if (*size < required) {
    *size = required;
    return kUpdBufferTooSmall;
  }
  if (names == nullptr) return kUpdOk;
  uint64_t used = 0;
  for (const _COMPONENT_INFO& entry : list) {
    const size_t length = strnlen(entry.displayName, sizeof entry.displayName);
    std::memcpy(names + used, entry.displayName, length);
    names[used + length] = '\0';
    used += length + 1;
  }
  return kUpdOk;
}

}  // namespace

UPD_ERROR UpdGetListPCUInTempFolder(const char* dataFolder, char* names, uint64_t* size) {
  if (size == nullptr) return kUpdInvalidRequest;
  return GuardExport([&] { return ListPcuNames(dataFolder, names, size); });
}

int32_t UpdGetAllPCUs(UPDATER_CONTEXT* context, UPD_COMPONENT_ENTRY* entries,
                      uint32_t sizeInBytes) {
  if (context == nullptr) return static_cast<int32_t>(kUpdNoContext);
  return GuardExport<int32_t>(static_cast<int32_t>(kUpdOutOfMemory), [&]() -> int32_t {
    if (!FileExists(context->lastUpdVerPath)) return static_cast<int32_t>(kUpdMissing);
    return ReadComponentList(context->lastUpdVerPath,
                             reinterpret_cast<COMPONENT_LIST_ENTRY*>(entries), sizeInBytes);
  });
}
