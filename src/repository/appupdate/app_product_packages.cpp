#include <string>
#include <string_view>
#include <vector>

#include "platform/os/os_file_ops.h"
#include "platform/os/os_folder.h"
#include "platform/os/os_temp.h"
#include "platform/util/file_helpers.h"
#include "platform/util/host_records.h"
#include "platform/util/update_errors.h"
#include "repository/appupdate/app_update_manager.h"
#include "repository/client/repository_host_records.h"

namespace {

constexpr char kProductPrefix[] = "IUC";
constexpr size_t kPathSlotBytes = 4096;
// Overwrite, copy when a rename fails, create a missing target folder,
// flush the placed file.
constexpr uint32_t kPlaceFlags =
    kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveCreateFolder | kFileMoveFlushTarget;

// One product package on its way: fetched into temporary beside target.
struct ProductSlot {
  const AppUpdateRecord* record = nullptr;
  std::string target;
  std::string temporary;  // empty once moved into place
};

// The first product record whose name is id, byte for byte.
const RepositoryProductRecord* FindProduct(const HOST_ARRAY* products, std::string_view id) {
  for (uint64_t i = 0; products != nullptr && i < products->count; ++i) {
    const auto* product = HostArrayAt<RepositoryProductRecord>(products, i);
    if (HostStringView(&product->name) == id) return product;
  }
  return nullptr;
}

// A new temporary file in the package's folder, creating the folder once
// when needed; empty when none can be made.
std::string TemporaryBeside(const std::string& target) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? target : target.substr(0, slash);
  char name[kPathSlotBytes] = {};
  if (OsGetTempFileName(kProductPrefix, name, sizeof name, folder.c_str()) == 0) {
    return name;
  }
  if (OsCreateFolderTree(folder.c_str()) != 0) return {};
  if (OsGetTempFileName(kProductPrefix, name, sizeof name, folder.c_str()) != 0) {
    return {};
  }
  return name;
}

class ProductSlots {
 public:
  ~ProductSlots() {
    for (const ProductSlot& slot : slots_) {
      if (!slot.temporary.empty()) (void)OsFileDelete(slot.temporary.c_str(), nullptr);
    }
  }

  // Every matched product gets its temporary file before any fetch, so that
  // a product without a usable place stops the run before the network does.
  [[nodiscard]] UpdError Prepare(const HOST_ARRAY* products,
                                 const std::vector<AppUpdateRecord>& updates) {
    slots_.reserve(updates.size());
    for (const AppUpdateRecord& record : updates) {
      const RepositoryProductRecord* product = FindProduct(products, record.id);
      if (product == nullptr) continue;
      ProductSlot& slot = slots_.emplace_back();
      slot.record = &record;
      slot.target = HostStringView(&product->packagePath);
      if (slot.target.empty()) return kUpdTempFileFailed;
      slot.temporary = TemporaryBeside(slot.target);
      if (slot.temporary.empty()) return kUpdTempFileFailed;
    }
    return kUpdOk;
  }

  [[nodiscard]] UpdError Fetch(CRepositoryClient& client) {
    for (const ProductSlot& slot : slots_) {
      UpdError code = client.DownloadPackage(slot.record->id, *slot.record, slot.temporary);
      if (code != kUpdOk) return code;
    }
    return kUpdOk;
  }

  // Every package is checked before the first one replaces its product.
  [[nodiscard]] UpdError Verify() const {
    for (const ProductSlot& slot : slots_) {
      UpdError code = CRepositoryClient::VerifyFileHash(*slot.record, slot.temporary);
      if (code != kUpdOk) return code;
    }
    return kUpdOk;
  }

  [[nodiscard]] UpdError Place() {
    for (ProductSlot& slot : slots_) {
      const UpdError code =
          static_cast<UpdError>(FileMove(slot.temporary.c_str(), slot.target.c_str(), kPlaceFlags));
      if (code != kUpdOk) return code;
      slot.temporary.clear();
    }
    return kUpdOk;
  }

 private:
  std::vector<ProductSlot> slots_;
};

}  // namespace

UpdError AppUpdateManager::DownloadPackages(CRepositoryClient& client,
                                            const HOST_ARRAY* productList,
                                            const std::vector<AppUpdateRecord>& updates) {
  ProductSlots slots;
  UpdError code = slots.Prepare(productList, updates);
  if (code == kUpdOk) code = slots.Fetch(client);
  if (code == kUpdOk) code = slots.Verify();
  if (code == kUpdOk) code = slots.Place();
  return code;
}
