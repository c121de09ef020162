#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/store/settings_store.h"
#include "platform/util/update_errors.h"
#include "run_fixture.h"
#include "updater/api/context.h"

namespace upd::test {
namespace {

constexpr uint32_t kEngineApplyPatch = ENGINE_FN_APPLY_PATCH;

using testhost::EngineCall;

class UpdateRunTest : public RunFixture {
 protected:
  // Version 1 of the server: two engine modules.
  void PublishFirst() { Publish({"--module", "em001:200", "--module", "em002:300"}); }
  // Version 2: the same and a level-1 patch of em001 to build 201.
  void PublishPatch() {
    Publish({"--module", "em001:200", "--module", "em002:300", "--patch", "em001:200:201"});
  }

  std::vector<EngineCall> PatchCalls() const {
    std::vector<EngineCall> calls;
    for (const auto& call : engine_.calls()) {
      if (call.id == kEngineApplyPatch) calls.push_back(call);
    }
    return calls;
  }

  // The value of key in the settings store, absent when missing.
  std::optional<uint32_t> StoredWord(const char* key) const {
    const std::string text = ReadFile(StorePath());
    const std::string line = std::string(key) + "=";
    const size_t at = text.find("\n" + line);
    if (at == std::string::npos && !text.starts_with(line)) return std::nullopt;
    const size_t value = (at == std::string::npos ? 0 : at + 1) + line.size();
    return static_cast<uint32_t>(std::stoul(text.substr(value)));
  }
};

// Positions of event id in ids, in order.
std::vector<size_t> Positions(const std::vector<uint32_t>& ids, uint32_t id) {
  std::vector<size_t> at;
  for (size_t i = 0; i < ids.size(); ++i) {
    if (ids[i] == id) at.push_back(i);
  }
  return at;
}

TEST_F(UpdateRunTest, TheFirstRunInstallsTheModulesOfASignedCatalogue) {
  PublishFirst();
  ASSERT_EQ(Run(), kUpdOk);
  EXPECT_EQ(flags_, kFlagObtained | kFlagNewCatalogue | kFlagDownloaded | kFlagEngineReplaced);

  // Phases 1, 2, 3, 7 and back to idle; the lists (groups, 19) are built in
  // phase 1, the packages reported (32) in phase 2, the modules reported (3)
  // in phase 3.
  EXPECT_EQ(Phases(), (std::vector<uint32_t>{UPD_PHASE_CHECKING, UPD_PHASE_DOWNLOADING,
                                             UPD_PHASE_INSTALLING, UPD_PHASE_FINISHING,
                                             UPD_PHASE_IDLE}));
  const std::vector<uint32_t> ids = EventIds();
  const std::vector<size_t> phase = Positions(ids, UPD_EVENT_PHASE);
  ASSERT_EQ(phase.size(), 5u);
  for (const size_t at : Positions(ids, UPD_EVENT_UPDATE_GROUPS)) {
    EXPECT_TRUE(at > phase[0] && at < phase[1]);
  }
  const std::vector<size_t> downloaded = Positions(ids, UPD_EVENT_PACKAGES_DOWNLOADED);
  ASSERT_EQ(downloaded.size(), 1u);
  EXPECT_TRUE(downloaded[0] > phase[1] && downloaded[0] < phase[2]);
  // One event 3 per module installed (the downloads report theirs in phase 2).
  const std::vector<size_t> files = Positions(ids, UPD_EVENT_FILE);
  EXPECT_EQ(std::count_if(files.begin(), files.end(),
                          [&](size_t at) { return at > phase[2] && at < phase[3]; }),
            2);
  EXPECT_TRUE(Positions(ids, UPD_EVENT_INSTALL_RESULT).empty());

  // The modules folder holds the two modules and nothing else.
  const auto modules = Tree(Modules());
  EXPECT_EQ(Names(modules), (std::vector<std::string>{"em001_64.dat", "em002_64.dat"}));
  EXPECT_EQ(modules.at("em001_64.dat"), Module("em001_64", 200));
  EXPECT_EQ(modules.at("em002_64.dat"), Module("em002_64", 300));

  // The catalogue of the run, its last copy and the installed one are the
  // signed payload; the kept copy is the whole signed message.
  const std::string catalogue = ReadFile(server_->root() + "/update.ver.signed");
  const auto updfiles = Tree(UpdateFolder());
  for (const char* name : {"upd.ver", "lastupd.ver", "mod.ver"}) {
    ASSERT_TRUE(updfiles.count(name)) << name;
    EXPECT_TRUE(updfiles.at(name).starts_with("[em001_64]")) << name;
    EXPECT_EQ(updfiles.at(name), updfiles.at("upd.ver")) << name;
  }
  const auto kept = std::find_if(updfiles.begin(), updfiles.end(), [](const auto& entry) {
    return entry.first.ends_with("update.ver.signed");
  });
  ASSERT_NE(kept, updfiles.end());
  EXPECT_EQ(kept->second, catalogue);
  // The two packages stay for later runs; no partial download, staging or
  // temporary file is left behind.
  EXPECT_EQ(std::count_if(updfiles.begin(), updfiles.end(),
                          [](const auto& entry) { return entry.first.starts_with("zel"); }),
            2);
  for (const auto& [name, content] : updfiles) {
    EXPECT_FALSE(name.starts_with("temp")) << name;
    EXPECT_FALSE(name.starts_with("upd.") && name != "upd.ver") << name;
    EXPECT_FALSE(name.starts_with("cache/")) << name;
  }

  // The attempt and the update are stored, with the same time.
  const auto attempt = StoredWord("LastUpdateAttempt");
  ASSERT_TRUE(attempt.has_value());
  EXPECT_EQ(StoredWord("LastUpdate"), attempt);
  EXPECT_EQ(UpdGetUpdateLastTime(context_), static_cast<int64_t>(*attempt));
  EXPECT_EQ(UpdGetUpdateLastAttemptTime(context_), static_cast<int64_t>(*attempt));
  EXPECT_EQ(context_->phase.load(), static_cast<uint32_t>(UPD_PHASE_IDLE));
}

TEST_F(UpdateRunTest, ASecondRunAppliesALevelOnePatchAndAThirdFindsNothingNew) {
  PublishFirst();
  ASSERT_EQ(Run(), kUpdOk);
  PublishPatch();

  ASSERT_EQ(Run(), kUpdOk);
  EXPECT_EQ(flags_, kFlagObtained | kFlagNewCatalogue | kFlagDownloaded | kFlagEngineReplaced);
  // One engine step, the last of its chain: flags 0.
  const auto patches = PatchCalls();
  ASSERT_EQ(patches.size(), 1u);
  EXPECT_EQ(patches[0].args.at(3), 0u);
  EXPECT_EQ(ReadFile(ModulePath("em001_64")), Module("em001_64", 201));
  EXPECT_EQ(ReadFile(ModulePath("em002_64")), Module("em002_64", 300));
  EXPECT_EQ(Names(Tree(Modules())), (std::vector<std::string>{"em001_64.dat", "em002_64.dat"}));
  // The full package the first run kept serves as the patch's start: only
  // the patch is fetched again.
  size_t full_fetches = 0;
  size_t patch_fetches = 0;
  for (const AccessLogEntry& entry : server_->AccessLog()) {
    if (!entry.request.starts_with("GET ")) continue;
    full_fetches += entry.request.find("/p/em001_64-200.nup") != std::string::npos;
    patch_fetches += entry.request.find("/p/em001_64-200-201.nup") != std::string::npos;
  }
  EXPECT_EQ(full_fetches, 1u);
  EXPECT_EQ(patch_fetches, 1u);

  // The server answers "not modified": the kept catalogue serves, nothing
  // is installed, and only the attempt is stored.
  const auto last_update = StoredWord("LastUpdate");
  const auto modules = Tree(Modules());
  EXPECT_EQ(Run(), kUpdNothingNew);
  EXPECT_EQ(flags_, kFlagObtained);
  EXPECT_EQ(Tree(Modules()), modules);
  EXPECT_EQ(StoredWord("LastUpdate"), last_update);
  EXPECT_TRUE(StoredWord("LastUpdateAttempt").has_value());
  EXPECT_TRUE(server_->AccessLog(1).back().status == 304);
  // The catalogue is kept as "mod.ver" after nothing was due too.
  EXPECT_EQ(ReadFile(UpdateFolder() + "/mod.ver"), ReadFile(UpdateFolder() + "/upd.ver"));
}

TEST_F(UpdateRunTest, ANullResultWordIsAccepted) {
  PublishFirst();
  EXPECT_EQ(UpdPerformUpdate(context_, host_.settings(), nullptr), kUpdOk);
  EXPECT_EQ(ReadFile(ModulePath("em001_64")), Module("em001_64", 200));
}

TEST_F(UpdateRunTest, EntryChecksComeFirst) {
  EXPECT_EQ(UpdPerformUpdate(nullptr, host_.settings(), &flags_), kUpdNoContext);
  EXPECT_EQ(UpdPerformUpdate(context_, nullptr, &flags_), kUpdNoSettings);
  EXPECT_EQ(flags_, kUntouched);
  EXPECT_TRUE(host_.events().empty());
}

// The gate of the catalogue's "SETUP" section lets no one through: the run
// ends after the catalogue with 0 and downloads nothing.
TEST_F(UpdateRunTest, AClosedProbabilityGateEndsTheRunAfterTheCatalogue) {
  Publish({"--module", "em001:200", "--module", "em002:300", "--plain"});
  host_.settings()->flags |= 0x20;
  const std::string signed_path = server_->root() + "/update.ver.signed";
  const std::string plain = dir_.file("gated.ver");
  WriteFile(plain, ReadFile(server_->root() + "/update.ver") +
                       "[SETUP]\r\nUpdateProb=2147483648\r\nUpdateMaxDelay=4294967295\r\n");
  ASSERT_TRUE(SignKit({"sign", "Wexa Update Signing Certificate", plain, signed_path}));

  EXPECT_EQ(Run(), kUpdOk);
  EXPECT_EQ(flags_, kFlagObtained | kFlagNewCatalogue);
  EXPECT_TRUE(Tree(Modules()).empty());
  EXPECT_TRUE(StoredWord("LastUpdateAttempt").has_value());
  EXPECT_FALSE(StoredWord("LastUpdate").has_value());
  EXPECT_EQ(Phases(), (std::vector<uint32_t>{UPD_PHASE_CHECKING, UPD_PHASE_IDLE}));
}

// With a pico folder the run brings back what a rollback moved aside, takes
// the catalogue's picos of installed modules and clears away the rest.
class PicoRunTest : public UpdateRunTest, public ::testing::WithParamInterface<bool> {
 protected:
  UPDATER_CONTEXT* CreateContext() override {
    UPDATER_INIT_PARAMS params{};
    params.cbSize = sizeof params;
    const std::string data = Data();
    const std::string modules = Modules();
    const std::string pico = PicoRoot();
    params.dataFolder = data.c_str();
    params.modulesFolder = modules.c_str();
    params.engineFolder = modules.c_str();
    params.picoFolder = pico.c_str();
    params.appVersion = "1.0";
    return UpdInitialize4(&params);
  }

  std::string PicoRoot() const { return dir_.file("pico"); }
};

TEST_P(PicoRunTest, PicoFoldersFollowTheInstalledCatalogue) {
  const bool skip_scan = GetParam();
  host_.settings()->skipInstalledScan = skip_scan ? 1 : 0;
  PublishFirst();
  ASSERT_EQ(Run(), kUpdOk);
  // A new catalogue with a new build of em002; pico 5 belongs to an installed
  // module, pico 6 to one this host lacks.
  Publish({"--module", "em001:200", "--module", "em002:301", "--plain"});
  const std::string plain = dir_.file("pico.ver");
  WriteFile(plain, ReadFile(server_->root() + "/update.ver") +
                       "[pico5]\r\ncategory=pico\r\ntype=em001_64\r\nid=5\r\nbase=2\r\n"
                       "interval=60\r\nfile=pico/5\r\n"
                       "[pico6]\r\ncategory=pico\r\ntype=em009_64\r\nid=6\r\nbase=1\r\n"
                       "interval=60\r\nfile=pico/6\r\n");
  ASSERT_TRUE(SignKit({"sign", "Wexa Update Signing Certificate", plain,
                       server_->root() + "/update.ver.signed"}));
  // Pico 5 moved aside by a rollback, with a stale file below its first
  // number; a folder of a pico never announced; a stray file.
  fs::create_directories(PicoRoot() + "/5_rollback_0A0B0C0D");
  fs::create_directories(PicoRoot() + "/7");
  WriteFile(PicoRoot() + "/5_rollback_0A0B0C0D/1.pic", "old");
  WriteFile(PicoRoot() + "/5_rollback_0A0B0C0D/2.pic", testhost::PicoFileText(5, 2));
  WriteFile(PicoRoot() + "/5_rollback_0A0B0C0D/x.pic", "unnumbered");
  WriteFile(PicoRoot() + "/7/1.pic", testhost::PicoFileText(7, 1));
  WriteFile(PicoRoot() + "/notes", "stray");

  ASSERT_EQ(Run(), kUpdOk);
  if (skip_scan) {
    EXPECT_TRUE(Tree(PicoRoot()).empty());
  } else {
    EXPECT_EQ(Names(Tree(PicoRoot())), (std::vector<std::string>{"5", "5/2.pic"}));
  }
  EXPECT_TRUE(StoredWord("PicoLastAppeared_5").has_value());
  EXPECT_FALSE(StoredWord("PicoLastAppeared_6").has_value());
}

INSTANTIATE_TEST_SUITE_P(SkipScan, PicoRunTest, ::testing::Bool());

}  // namespace
}  // namespace upd::test
