#pragma once

#include <array>
#include <string>
#include <vector>

#include "repository/appupdate/app_update_fixture.h"

namespace upd::test {

// One call of UpdPerformAppUpdate3: the host's records, its result strings
// and step list on the test's allocator.
class AppRunCall {
 public:
  explicit AppRunCall(const testhost::AllocatorHost& allocator) {
    params.cbSize = sizeof params;
    for (HOST_STRING* s : {&params.wantedVersion, &params.agreementProduct, &params.agreementName}) {
      HostStringInit(s, &DefaultResultAllocator);
    }
    result.cbSize = sizeof result;
    for (HOST_STRING* s : ResultStrings()) HostStringInit(s, allocator.allocator());
    result.steps.allocator = allocator.allocator();
  }
  ~AppRunCall() {
    for (HOST_STRING* s : {&params.wantedVersion, &params.agreementProduct, &params.agreementName}) {
      HostStringFree(s);
    }
    for (HOST_STRING* s : ResultStrings()) HostStringFree(s);
    if (result.steps.elements != nullptr) result.steps.allocator->Free(result.steps.elements);
  }
  AppRunCall(const AppRunCall&) = delete;
  AppRunCall& operator=(const AppRunCall&) = delete;

  std::array<HOST_STRING*, 7> ResultStrings() {
    return {&result.documentUrl,  &result.agreementHash,    &result.documentHash,
            &result.changelogUrl, &result.agreementName,    &result.agreementVersion,
            &result.effectiveDate};
  }

  // {code, step} of every entry, in order.
  std::vector<std::pair<uint32_t, uint32_t>> Steps() const {
    std::vector<std::pair<uint32_t, uint32_t>> steps;
    for (uint64_t i = 0; i < result.steps.count; ++i) {
      const StepResult& entry = static_cast<const StepResult*>(result.steps.elements)[i];
      EXPECT_EQ(entry.cbSize, 12u);
      steps.emplace_back(entry.code, entry.step);
    }
    return steps;
  }

  APP_UPDATE_PARAMS params{};
  APP_UPDATE_RESULT result{};
};

using Steps = std::vector<std::pair<uint32_t, uint32_t>>;

// name, installed version, package path (the format is set on the record).
using PackageProductList =
    HostList<RepositoryProductRecord, &RepositoryProductRecord::name,
             &RepositoryProductRecord::installedVersion, &RepositoryProductRecord::packagePath>;

class AppRunFixture : public AppUpdateFixture {
 protected:
  UPD_ERROR Run(AppRunCall& call) {
    call.params.context = context_;
    call.params.settings = host_.settings();
    return LIB(UpdPerformAppUpdate3)(&call.params, &call.result);
  }

  // A package the run installs: format 8, newer than the installed product.
  Resource Package(const std::string& content = "package bytes of 1.0.0.5\n") {
    Resource r;
    r.id = "suite.pkg";
    r.path = "pkg/app-1.0.0.5.bin";
    r.content = content;
    return r;
  }

  // A product "tools.NAME" whose package the run fetches into place.
  Resource ProductPackage(const std::string& name, const std::string& content) {
    Resource r;
    r.id = "tools." + name;
    r.path = "packages/" + name + ".bin";
    r.content = content;
    return r;
  }
  void AddProduct(PackageProductList& list, const std::string& name, const std::string& path) {
    list.Add({"tools." + name, "1.0.0.0", path}).format = 8;
  }
};

}  // namespace upd::test
