#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/os/os_time.h"
#include "platform/util/update_errors.h"
#include "run_fixture.h"
#include "updater/api/context.h"
#include "updater/engine/install/module_moves.h"

namespace upd::test {
namespace {

class UpdateRunFailureTest : public RunFixture {
 protected:
  void PublishFirst() { Publish({"--module", "em001:200", "--module", "em002:300"}); }

  // The modules folder holds exactly what it held before, no ".old" copy
  // and no staging folder.
  void ExpectModulesUnchanged(const std::map<std::string, std::string>& before) {
    EXPECT_EQ(Tree(Modules()), before);
  }

  std::vector<uint32_t> InstallResultEvents() const {
    std::vector<uint32_t> values;
    for (const auto& event : host_.EventsOf(UPD_EVENT_INSTALL_RESULT)) {
      values.push_back(event.As<uint32_t>());
    }
    return values;
  }
};

// A catalogue whose signature does not verify, on a server without the
// plain form: the run fails, keeps no catalogue and installs nothing.
TEST_F(UpdateRunFailureTest, ATamperedCatalogueWithoutFallbackFailsTheRun) {
  PublishFirst();
  const std::string catalogue = server_->root() + "/update.ver.signed";
  const std::string good = dir_.file("good.signed");
  fs::rename(catalogue, good);
  ASSERT_TRUE(SignKit({"tamper", "flip-payload", good, catalogue}));

  const UPD_ERROR result = Run();
  EXPECT_NE(result, kUpdOk);
  EXPECT_NE(result, kUpdNothingNew);
  EXPECT_FALSE(fs::exists(UpdateFolder() + "/upd.ver"));
  EXPECT_FALSE(fs::exists(UpdateFolder() + "/mod.ver"));
  EXPECT_TRUE(Tree(Modules()).empty());
  EXPECT_EQ(flags_, 0u);
  // A run that obtained no catalogue stores no time.
  EXPECT_FALSE(fs::exists(StorePath()) &&
               ReadFile(StorePath()).find("LastUpdateAttempt") != std::string::npos);
  EXPECT_EQ(Phases(), (std::vector<uint32_t>{UPD_PHASE_CHECKING, UPD_PHASE_IDLE}));
}

// Packages that fail their checks are refused with the check's code; the
// modules installed before stay as they were.
struct PackageFault {
  const char* name;
  Repacking how;
  UPD_ERROR result;
};

class PackageFaultRunTest : public UpdateRunFailureTest,
                            public ::testing::WithParamInterface<PackageFault> {};

TEST_P(PackageFaultRunTest, LeavesTheInstalledModulesAlone) {
  PublishFirst();
  ASSERT_EQ(Run(), kUpdOk);
  Publish({"--module", "em001:201", "--module", "em002:301"});
  Repack("em002_64", 301, GetParam().how);
  const auto before = Tree(Modules());

  EXPECT_EQ(Run(), GetParam().result);
  ExpectModulesUnchanged(before);
  EXPECT_EQ(flags_, kFlagObtained | kFlagNewCatalogue | kFlagDownloaded);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PackageFaultRunTest,
    ::testing::Values(
        PackageFault{"PayloadFlippedThenSigned", {std::nullopt, {"--corrupt-payload"}, ""}, 0x1012},
        PackageFault{
            "SignatureFlipped", {std::nullopt, {}, "flip-signature"}, kUpdSignatureMismatch},
        PackageFault{"HeaderBuildNotTheCatalogues", {302, {}, ""}, kUpdNotAllInstalled}),
    [](const auto& info) { return std::string(info.param.name); });

// The engine refuses the patch: the run reports the engine failure and the
// engine's answer (event 7); nothing of the new set is left in place.
TEST_F(UpdateRunFailureTest, AnEngineThatRefusesThePatchLeavesTheModulesByteIdentical) {
  PublishFirst();
  ASSERT_EQ(Run(), kUpdOk);
  Publish({"--module", "em001:200", "--module", "em002:301", "--patch", "em001:200:201"});
  const auto before = Tree(Modules());
  constexpr uint32_t kRefusal = 0x8001;
  engine_.Refuse(ENGINE_FN_APPLY_PATCH, kRefusal, 5);

  EXPECT_EQ(Run(), kUpdEngineFailed);
  EXPECT_EQ(InstallResultEvents(), (std::vector<uint32_t>{kRefusal}));
  ExpectModulesUnchanged(before);
  // The catalogue was taken, the packages downloaded, no module replaced.
  EXPECT_EQ(flags_, kFlagObtained | kFlagNewCatalogue | kFlagDownloaded);
  EXPECT_FALSE(fs::exists(UpdateFolder() + "/mod.ver") &&
               ReadFile(UpdateFolder() + "/mod.ver") == ReadFile(UpdateFolder() + "/upd.ver"));
}

// The third module's target is a folder: the commit stops there and the
// first two modules get their old files back.
TEST_F(UpdateRunFailureTest, ACommitThatFailsOnTheThirdModuleRollsBackTheFirstTwo) {
  PublishFirst();
  ASSERT_EQ(Run(), kUpdOk);
  Publish({"--module", "em001:201", "--module", "em002:301", "--module", "em003:400"});
  fs::create_directories(ModulePath("em003_64"));
  WriteFile(ModulePath("em003_64") + "/inside", "kept");
  const auto before = Tree(Modules());
  // The renames that put new files in place, in order.
  std::vector<std::string> placed;
  SetInstallStepObserver([&](InstallStep step, const char*, const char* to) {
    if (step == InstallStep::kRename && to != nullptr) {
      placed.push_back(fs::path(to).lexically_normal().string());
    }
  });

  const UPD_ERROR result = Run();
  SetInstallStepObserver(nullptr);
  EXPECT_NE(result, kUpdOk);
  EXPECT_NE(result, kUpdNothingNew);
  // The first two modules were committed before the third failed.
  const auto committed = [&](const std::string& module) {
    const std::string target = fs::path(ModulePath(module)).lexically_normal().string();
    return std::count(placed.begin(), placed.end(), target) > 0;
  };
  EXPECT_TRUE(committed("em001_64"));
  EXPECT_TRUE(committed("em002_64"));
  EXPECT_FALSE(committed("em003_64"));
  ExpectModulesUnchanged(before);
  EXPECT_EQ(flags_ & kFlagEngineReplaced, 0u);
}

// A server that asks for credentials: a configured (mirror) server gives
// kUpdMirrorAccessDenied; the library's own choice kUpdNoUserName without a
// user name, kUpdAccessDenied with one.
struct CredentialsCase {
  const char* name;
  bool configured;
  const char* user;
  UPD_ERROR result;
};

class CredentialsRunTest : public UpdateRunFailureTest,
                           public ::testing::WithParamInterface<CredentialsCase> {
 protected:
  NginxServer::Options ServerOptions() const override {
    WriteFile(dir_.file("htpasswd"), "updates:{PLAIN}right\n");
    return NginxServer::Options().ServerConf(
        "location / { auth_basic \"updates\"; auth_basic_user_file " + dir_.file("htpasswd") +
        "; }");
  }
};

TEST_P(CredentialsRunTest, A401IsReportedAsTheServerKindAsks) {
  PublishFirst();
  UPDATER_SETTINGS* settings = host_.settings();
  SetText(settings->updateServer, GetParam().configured ? server_->Url() : "AUTOSELECT");
  SetText(settings->serverUserName, GetParam().user);
  SetText(settings->serverPassword, "wrong");
  EXPECT_EQ(Run(), GetParam().result);
  EXPECT_EQ(flags_, 0u);
  EXPECT_TRUE(Tree(Modules()).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, CredentialsRunTest,
    ::testing::Values(CredentialsCase{"ConfiguredServer", true, "", kUpdMirrorAccessDenied},
                      CredentialsCase{"ChosenServerWithoutUserName", false, "", kUpdNoUserName},
                      CredentialsCase{"ChosenServerWrongPassword", false, "updates",
                                      kUpdAccessDenied}),
    [](const auto& info) { return std::string(info.param.name); });

// UpdStopUpdates: every run answers 0x2107 without touching the caller's
// word or raising an event, until UpdResetUpdate.
TEST_F(UpdateRunFailureTest, TheStopFlagRefusesTheRunUntilReset) {
  PublishFirst();
  UpdStopUpdates(context_);
  EXPECT_EQ(Run(), kUpdStopped);
  EXPECT_EQ(flags_, kUntouched);
  EXPECT_TRUE(host_.events().empty());
  EXPECT_TRUE(Tree(Modules()).empty());

  UpdResetUpdate(context_);
  EXPECT_EQ(Run(), kUpdOk);
  EXPECT_EQ(ReadFile(ModulePath("em001_64")), Module("em001_64", 200));
}

// Updates blocked by a rollback: 0x7000 before any phase event.
TEST_F(UpdateRunFailureTest, ABlockedStoreRefusesTheRunWithoutAPhaseEvent) {
  PublishFirst();
  ASSERT_EQ(context_->backupStore->SetBlockUntil(static_cast<uint32_t>(OsTime() + 3600)), kUpdOk);
  EXPECT_EQ(Run(), kUpdUpdatesBlocked);
  EXPECT_EQ(flags_, kUntouched);
  EXPECT_TRUE(Phases().empty());
  EXPECT_TRUE(Tree(Modules()).empty());
  EXPECT_EQ(context_->phase.load(), static_cast<uint32_t>(UPD_PHASE_IDLE));
}

}  // namespace
}  // namespace upd::test
