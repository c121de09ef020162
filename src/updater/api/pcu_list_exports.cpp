// Exports of application packages: those staged for the mirror, with the
// licence state of their markers, and those the last catalogue offered.

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/export_guard.h"
#include "updater/engine/lists/host_component_list.h"
#include "updater/engine/mirror/mirror_markers.h"
#include "updater/offline/pcu_folder.h"

namespace {

static_assert(sizeof(UPD_COMPONENT_ENTRY) == sizeof(COMPONENT_LIST_ENTRY) &&
              offsetof(UPD_COMPONENT_ENTRY, build) == offsetof(COMPONENT_LIST_ENTRY, build));

// The longest name a marker stores that the licence export rewrites.
constexpr uint64_t kMarkerNameSize = 128;

// filter holds name, ignoring the case of A-Z.
bool FilterNames(std::string_view filter, const char* name) {
  const std::string_view part(name);
  if (part.size() > filter.size()) return false;
  for (size_t at = 0; at + part.size() <= filter.size(); ++at) {
    if (AsciiStrNICmp(filter.data() + at, part.data(), part.size()) == 0) return true;
  }
  return false;
}

// Agreed state of the package's marker, for the package's file name.
uint32_t MarkerAgreed(const std::string& package_path) {
  const size_t slash = package_path.rfind('/');
  const std::string name = slash == std::string::npos ? package_path : package_path.substr(slash + 1);
  const std::string marker = MarkerFileName(package_path);
  return ReadMarkerFile(marker.c_str(), name.empty() ? nullptr : name.c_str(), nullptr, 0) ? 1 : 0;
}

UPD_ERROR ListPcus(const char* data_folder, const char* filter, void* buffer, uint64_t* size) {
  CListBase list;
  ScanPcuFolder(data_folder, list, kComponentHasBuild | kComponentPresent, true);
  std::vector<const _COMPONENT_INFO*> counted;
  for (const _COMPONENT_INFO& entry : list) {
    if (filter == nullptr || FilterNames(filter, entry.name)) counted.push_back(&entry);
  }
  const uint64_t required =
      sizeof(UPD_PCU_LIST_HEADER) + sizeof(UPD_PCU_LIST_ENTRY) * counted.size();
  const uint64_t given = *size;
  *size = required;
  if (buffer == nullptr) return kUpdOk;
  if (given < required) return kUpdResultTooSmall;
  auto* bytes = static_cast<unsigned char*>(buffer);
  const UPD_PCU_LIST_HEADER header{sizeof header, static_cast<uint32_t>(counted.size()),
                                   sizeof header};
  std::memcpy(bytes, &header, sizeof header);
  bytes += sizeof header;
  for (const _COMPONENT_INFO* entry : counted) {
    UPD_PCU_LIST_ENTRY out{};
    out.cbSize = sizeof out;
    SafeStrCopy(out.displayName, sizeof out.displayName, entry->displayName);
    SafeStrCopy(out.packagePath, sizeof out.packagePath, PackageLocation(*entry).c_str());
    out.agreed = MarkerAgreed(PackageLocation(*entry));
    std::memcpy(bytes, &out, sizeof out);
    bytes += sizeof out;
  }
  return kUpdOk;
}

UPD_ERROR AgreeLicence(const char* package_path) {
  const std::string marker = MarkerFileName(package_path);
  char name[kMarkerNameSize] = {};
  uint64_t size = sizeof name;
  if (ReadMarkerName(marker.c_str(), name, &size) != kUpdOk || name[0] == '\0') {
    return kUpdWriteFailed;
  }
  return WriteMarkerFile(marker.c_str(), name, true);
}

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

UPD_ERROR UpdGetListPcuInTempFolderExEx(const char* dataFolder, const char* filter, void* buffer,
                                        uint64_t* size) {
  if (dataFolder == nullptr || filter == nullptr || size == nullptr) return kUpdInvalidArgument;
  return GuardExport([&] { return ListPcus(dataFolder, filter, buffer, size); });
}

UPD_ERROR UpdGetListPCUInTempFolderEx(const char* dataFolder, void* buffer, uint64_t* size) {
  if (dataFolder == nullptr || size == nullptr) return kUpdInvalidArgument;
  return GuardExport([&] { return ListPcus(dataFolder, nullptr, buffer, size); });
}

UPD_ERROR UpdChangeEULAStatusAsAgreed(const char* packagePath) {
  if (packagePath == nullptr || *packagePath == '\0') return kUpdInvalidArgument;
  return GuardExport([&] { return AgreeLicence(packagePath); });
}
