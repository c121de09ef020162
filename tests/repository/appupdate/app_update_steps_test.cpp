#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"
#include "platform/util/update_errors.h"
#include "repository/appupdate/app_update_manager.h"
#include "repository/appupdate/app_update_run_fixture.h"
#include "repository/client/repository_fixture.h"
#include "testhost/allocator_host.h"
#include "updater/engine/install/pcu_installer.h"

// The application-update steps driven with a run record made here, as the
// export entry makes it from the context, without a library context.

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// What the installer was handed: the settings, the path, and the bytes at
// the path while the install ran.
class RecordingInstaller final : public IPcuInstaller {
 public:
  struct Call {
    const UPDATER_SETTINGS* settings;
    std::string path;
    std::string content;
  };

  explicit RecordingInstaller(UpdError answer) : answer_(answer) {}
  UpdError Install(const UPDATER_SETTINGS* settings, const char* packagePath) override {
    calls.push_back({settings, packagePath, fs::exists(packagePath) ? ReadFile(packagePath) : ""});
    return answer_;
  }

  std::vector<Call> calls;

 private:
  UpdError answer_;
};

// Answers the client's two questions from the test, counting them; no
// answer where the test left the value out.
class ScriptedHost final : public IRepositoryHost {
 public:
  bool AskDeal(RepositoryDealBlock& deal) override {
    ++dealAsked;
    if (!dealId) return false;
    std::strncpy(deal.dealId, dealId->c_str(), sizeof deal.dealId - 1);
    return true;
  }
  bool AskOsInfo(RepositoryOsInfo& os) override {
    ++osAsked;
    if (!osVersion) return false;
    os.version = *osVersion;
    return true;
  }

  std::optional<std::string> dealId;
  std::optional<int64_t> osVersion;
  int dealAsked = 0;
  int osAsked = 0;
};

class PackageInstallStepTest : public RepositoryFixture {
 protected:
  void SetUp() override {
    RepositoryFixture::SetUp();
    record_.path = "pkg/app.bin";
    record_.size = static_cast<int64_t>(content_.size());
    WriteFile(dir_.file("plain.bin"), content_);
    ASSERT_EQ(RunCommand("sha1sum " + dir_.file("plain.bin") + " | cut -c1-40", &record_.hash), 0);
    record_.hash.resize(40);
  }

  const std::string content_ = "package bytes of 1.0.0.5\n";
  AppUpdateRecord record_;
};

TEST_F(PackageInstallStepTest, ThePackageGoesToTheRunsInstallerAndIsDeletedAfterwards) {
  struct Case {
    const char* name;
    const char* product;  // the run's product: the folder the package comes from
    bool installer;
    UpdError answer;
    bool badHash;
    UpdError expected;
    bool installed;
  };
  const Case cases[] = {
      {"installed", kProduct, true, kUpdOk, false, kUpdOk, true},
      {"the host goes on installing", kProduct, true, kUpdHostInstalling, false,
       kUpdHostInstalling, true},
      {"the run's product, not the settings'", "other.app", true, kUpdOk, false, kUpdOk, true},
      {"no installer in the build", kProduct, false, kUpdOk, false, kUpdNotSupported, false},
      {"a package that is not the record's", kProduct, true, kUpdOk, true, kUpdSignatureMismatch,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string folder = c.product;
    std::replace(folder.begin(), folder.end(), '.', '/');
    const std::string served = web_.PutFile("repo/" + folder + "/pkg/app.bin", content_);
    session_ = std::make_unique<CDownloadSession>(dir_.file("cache-" + std::string(c.name)));
    RecordingInstaller installer(c.answer);
    RepositoryRun run = Run();
    run.fields.product = c.product;
    run.installer = c.installer ? &installer : nullptr;
    AppUpdateRecord record = record_;
    if (c.badHash) record.hash = std::string(40, '0');

    CRepositoryClient client(run);
    EXPECT_EQ(AppUpdateManager::InstallPackage(client, record), c.expected);

    ASSERT_EQ(installer.calls.size(), c.installed ? 1u : 0u);
    if (c.installed) {
      EXPECT_EQ(installer.calls[0].settings, host_.settings());
      EXPECT_EQ(installer.calls[0].content, content_);
      EXPECT_EQ(fs::path(installer.calls[0].path).parent_path(), fs::path(TempFolder()));
    }
    EXPECT_EQ(TempFileCount(), 0u) << "the temporary package outlived the step";
    fs::remove(served);
  }
}

// One call of the check: the host's arrays on the test's allocator.
class CheckCall {
 public:
  explicit CheckCall(const testhost::AllocatorHost& allocator) {
    params.cbSize = sizeof params;
    params.fullQuery = 1;
    HostStringInit(&params.agreementProduct, &DefaultResultAllocator);
    HostStringInit(&params.agreementName, &DefaultResultAllocator);
    updates.allocator = allocator.allocator();
  }
  ~CheckCall() {
    HostStringFree(&params.agreementProduct);
    HostStringFree(&params.agreementName);
    for (uint64_t i = 0; i < updates.count; ++i) {
      APP_UPDATE_INFO& info = Info(i);
      for (HOST_STRING* s : {&info.id, &info.version, &info.documentUrl, &info.agreementHash,
                             &info.documentHash, &info.changelogUrl, &info.agreementName,
                             &info.agreementVersion, &info.effectiveDate}) {
        HostStringFree(s);
      }
    }
    if (updates.elements != nullptr) updates.allocator->Free(updates.elements);
  }
  CheckCall(const CheckCall&) = delete;
  CheckCall& operator=(const CheckCall&) = delete;

  APP_UPDATE_INFO& Info(uint64_t i) { return static_cast<APP_UPDATE_INFO*>(updates.elements)[i]; }
  std::vector<std::string> Ids() {
    std::vector<std::string> ids;
    for (uint64_t i = 0; i < updates.count; ++i) ids.emplace_back(HostStringView(&Info(i).id));
    return ids;
  }

  APP_UPDATE_CHECK_PARAMS params{};
  HOST_ARRAY updates{};
};

class UpdateCheckStepTest : public RepositoryFixture {
 protected:
  static constexpr int64_t kBase = int64_t{1} << 48;

  static std::string App(const std::string& id, int64_t versionId) {
    return "\"" + id + R"(": {"application": {"id": ")" + id +
           R"(", "format": 9, "update": {"level": 1}, "version_id": )" +
           std::to_string(versionId) + "}}";
  }

  // An update for everyone, one for the host's deal only and one for a
  // system of version 5 or later.
  void PublishSuite() {
    PublishMetadata(
        kProduct,
        R"({"root": {"decision_tree": {"switch": {"var": "base", "cases": [{"eq": )" +
            std::to_string(kBase) +
            R"(, "file": [{"reference": "common"}]}, {"switch": {"var": "deal_id", "cases": )"
            R"([{"eq": "D-42", "file": [{"reference": "deal"}]}]}}, {"switch": {"var": )"
            R"("os.version", "cases": [{"ge": 5, "file": [{"reference": "os"}]}]}}]}}}, )" +
            App("common", kBase + 2) + ", " + App("deal", kBase + 3) + ", " +
            App("os", kBase + 4) + "}");
  }

  testhost::AllocatorHost allocator_;
};

TEST_F(UpdateCheckStepTest, TheRunsHostAnswersChooseTheUpdates) {
  struct Case {
    const char* name;
    std::optional<std::string> deal;
    std::optional<int64_t> os;
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {"no answers", std::nullopt, std::nullopt, {"common"}},
      {"the deal", "D-42", std::nullopt, {"common", "deal"}},
      {"another deal, an older system", "D-7", 4, {"common"}},
      {"both", "D-42", 5, {"common", "deal", "os"}},
  };
  PublishSuite();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedHost host;
    host.dealId = c.deal;
    host.osVersion = c.os;
    CheckCall call(allocator_);
    ASSERT_EQ(AppUpdateManager::CheckForAppUpdate(Run(false, &host), call.params, &call.updates),
              kUpdOk);
    EXPECT_EQ(call.Ids(), c.ids);
    EXPECT_EQ(host.dealAsked, 1);
    EXPECT_EQ(host.osAsked, 1);
  }
  EXPECT_TRUE(host_.EventsOf(30).empty()) << "the host is asked through the run, not the settings";
  EXPECT_TRUE(host_.EventsOf(31).empty());
}

// The findings carry the repository word of the run's fields, which the
// entry read from the settings of the call.
TEST_F(UpdateCheckStepTest, FindingsCarryTheRunsRepositoryWord) {
  PublishSuite();
  host_.settings()->repositoryFlags = 0x11;
  ScriptedHost host;
  RepositoryRun run = Run(false, &host);
  EXPECT_EQ(run.fields.repositoryFlags, 0x11u);
  run.fields.repositoryFlags = 0x2A;
  CheckCall call(allocator_);
  ASSERT_EQ(AppUpdateManager::CheckForAppUpdate(run, call.params, &call.updates), kUpdOk);
  ASSERT_EQ(uint64_t{call.updates.count}, 1u);
  EXPECT_EQ(uint32_t{call.Info(0).productWord}, 0x2Au);
}

// Nothing offered: the check answers nothing to do and adds no finding.
TEST_F(UpdateCheckStepTest, AnEmptyRepositoryAnswersNothingToDo) {
  PublishMetadata(
      kProduct,
      R"({"root": {"decision_tree": {"switch": {"var": "x", "cases": [{"file": []}]}}}})");
  ScriptedHost host;
  CheckCall call(allocator_);
  EXPECT_EQ(AppUpdateManager::CheckForAppUpdate(Run(false, &host), call.params, &call.updates),
            kUpdNothingToDo);
  EXPECT_EQ(uint64_t{call.updates.count}, 0u);
}

// The run installs the chosen package through the run's installer, and
// reports its answer (or that the build has none) as the application step.
TEST_F(PackageInstallStepTest, TheRunInstallsThroughTheRunsInstaller) {
  web_.PutFile("repo/suite/home/pkg/app.bin", content_);
  PublishMetadata(
      kProduct, R"({"root": {"decision_tree": {"switch": {"var": "x", "cases": [{"file": )"
                R"([{"reference": "suite.pkg"}]}]}}},)"
                R"( "suite.pkg": {"application": {"id": "suite.pkg", "format": 8, "version_id": )" +
                    std::to_string((int64_t{1} << 48) + 5) +
                    R"(, "version": "1.0.0.5", "path": "pkg/app.bin", "size": )" +
                    std::to_string(content_.size()) + R"(, "hash": ")" + record_.hash + R"("}}})");
  struct Case {
    const char* name;
    bool installer;
    UpdError answer;
    UpdError expected;
  };
  const Case cases[] = {
      {"installed", true, kUpdOk, kUpdOk},
      {"the host goes on installing", true, kUpdHostInstalling, kUpdHostInstalling},
      {"no installer in the build", false, kUpdOk, kUpdNotSupported},
  };
  testhost::AllocatorHost allocator;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingInstaller installer(c.answer);
    RepositoryRun run = Run();
    run.installer = c.installer ? &installer : nullptr;
    AppRunCall call(allocator);
    EXPECT_EQ(AppUpdateManager::PerformAppUpdate(run, call.params, call.result), c.expected);
    EXPECT_EQ(call.result.outcome, 1u);
    EXPECT_EQ(call.Steps(),
              (std::vector<std::pair<uint32_t, uint32_t>>{{c.expected, UPD_STEP_APPLICATION}}));
    ASSERT_EQ(installer.calls.size(), c.installer ? 1u : 0u);
    if (c.installer) {
      EXPECT_EQ(installer.calls[0].content, content_);
    }
    EXPECT_EQ(TempFileCount(), 0u);
  }
}

}  // namespace
}  // namespace upd::test
