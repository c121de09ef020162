#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "pico_fixture.h"
#include "platform/os/os_time.h"
#include "platform/store/settings_store.h"
#include "platform/util/update_errors.h"
#include "testhost/allocator_host.h"
#include "testhost/event_host.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/pico/pico_files.h"
#include "updater/pico/pico_manager.h"

namespace upd::test {
namespace {

using testhost::EngineStandIn;
using testhost::EventHost;
using testhost::PicoFileText;

// A pico manager on a root of the test's own, with a host whose settings name
// a settings store there.
class PicoManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string store = "file://" + dir_.file("settings.ini");
    std::memcpy(host_.settings()->settingsStore, store.c_str(), store.size() + 1);
    std::filesystem::create_directories(Root());
  }

  std::string Root() const { return dir_.file("pico"); }
  std::string Catalogue() const { return dir_.file("mod.ver"); }

  static CInstalledList Installed(std::initializer_list<const char*> names) {
    CInstalledList list;
    for (const char* name : names) {
      _INSTALLED_COMPONENT_INFO module;
      std::strcpy(module.name, name);
      module.type = 3;
      module.platform = 1;
      list.Add(module);
    }
    return list;
  }

  // The stored "PicoLastAppeared_<id>", or nothing.
  std::optional<uint32_t> LastAppeared(uint32_t id) {
    SettingsStorePtr store = OpenSettingsStore(host_.settings());
    uint32_t value = 0;
    const std::string key = "PicoLastAppeared_" + std::to_string(id);
    if (store == nullptr || !SettingsStoreGetDword(store.get(), key.c_str(), &value)) {
      return std::nullopt;
    }
    return value;
  }

  void SetLastAppeared(uint32_t id, uint32_t when) {
    SettingsStorePtr store = OpenSettingsStore(host_.settings());
    ASSERT_NE(store, nullptr);
    const std::string key = "PicoLastAppeared_" + std::to_string(id);
    ASSERT_TRUE(SettingsStoreSetDword(store.get(), key.c_str(), when));
  }

  TempDir dir_;
  EventHost host_;
  CPicoManager manager_{dir_.file("pico").c_str()};
};

TEST_F(PicoManagerTest, RootGetsItsSlash) {
  EXPECT_EQ(manager_.root(), Root() + "/");
  EXPECT_EQ(manager_.PicoFolder(12), Root() + "/12/");
  EXPECT_EQ(CPicoManager((Root() + "/").c_str()).root(), Root() + "/");
}

TEST_F(PicoManagerTest, ScanKeepsPicosOfInstalledModulesFirstSectionWinning) {
  WriteFile(Catalogue(),
            PicoSectionText({"p12", 12, "scan", 5, 3600, "pico/12"}) +
                PicoSectionText({"p7", 7, "scan64", 1, 60, "pico/7"}) +
                // Same id again: the first section stays.
                PicoSectionText({"p12b", 12, "scan", 99, 1, "elsewhere"}) +
                // Module not installed.
                PicoSectionText({"p20", 20, "other", 1, 1, "pico/20"}) +
                // Channel sections are not picos of this client.
                PicoSectionText({"CONTINUOUS_p30", 30, "scan", 1, 1, "pico/30"}) +
                PicoSectionText({"reverse_p31", 31, "scan", 1, 1, "pico/31"}) +
                EngineSectionText("scan", "scan64"));
  const int64_t before = OsTime();
  EXPECT_EQ(manager_.ScanUpdateVer(Catalogue().c_str(), host_.settings(), Installed({"scan64"})),
            2u);

  HOST_ARRAY list{};
  testhost::AllocatorHost allocator;
  list.allocator = allocator.allocator();
  // Without a run yet the map stays as scanned (it is not empty).
  ASSERT_EQ(manager_.GetPicoUpdates(host_.settings(), nullptr, 0, &list), kUpdOk);
  ASSERT_EQ(uint64_t{list.count}, 2u);
  const auto* infos = static_cast<const UPD_PICO_INFO*>(list.elements);
  EXPECT_EQ(infos[0].cbSize, 12u);
  EXPECT_EQ(infos[0].picoId, 7u);
  EXPECT_EQ(infos[0].interval, 60u);
  EXPECT_EQ(infos[1].picoId, 12u);
  EXPECT_EQ(infos[1].interval, 3600u);
  allocator.allocator()->Free(list.elements);

  for (const uint32_t id : {7u, 12u}) {
    const std::optional<uint32_t> when = LastAppeared(id);
    ASSERT_TRUE(when) << id;
    EXPECT_GE(int64_t{*when}, before);
  }
  for (const uint32_t id : {20u, 30u, 31u}) EXPECT_FALSE(LastAppeared(id)) << id;
}

TEST_F(PicoManagerTest, ScanWithoutSettingsWritesNoStoreAndRebuildsTheMap) {
  WriteFile(Catalogue(), PicoSectionText({"p12", 12, "scan", 5, 3600, "pico/12"}));
  EXPECT_EQ(manager_.ScanUpdateVer(Catalogue().c_str(), nullptr, Installed({"SCAN64"})), 1u);
  EXPECT_FALSE(LastAppeared(12));
  // A catalogue without picos empties the map.
  WriteFile(dir_.file("empty.ver"), EngineSectionText("scan", "scan64"));
  EXPECT_EQ(manager_.ScanUpdateVer(dir_.file("empty.ver").c_str(), nullptr, Installed({"scan64"})),
            0u);
}

TEST_F(PicoManagerTest, PurgeExpiredKeepsFoldersAnnouncedWithinAWeek) {
  const int64_t now = 2000000000;
  struct Case {
    uint32_t id;
    std::optional<int64_t> age;  // seconds since last announced; none: never
    bool kept;
  };
  const Case cases[] = {
      {1, 0, true},                               // announced now
      {2, kPicoExpirySeconds, true},              // exactly a week
      {3, kPicoExpirySeconds + 1, false},         // one second more
      {4, std::nullopt, false},                   // never announced
  };
  for (const Case& c : cases) {
    WritePath(manager_.PicoFolder(c.id) + "5.pic", PicoFileText(c.id, 5));
    if (c.age) SetLastAppeared(c.id, static_cast<uint32_t>(now - *c.age));
  }
  // Entries that are not pico folders go whatever the store says.
  WritePath(Root() + "/notes.txt", "x");
  WritePath(Root() + "/.hidden/file", "x");
  WritePath(Root() + "/1_rollback_0000ABCD/5.pic", "x");

  ASSERT_EQ(manager_.PurgeExpiredAt(host_.settings(), now), kUpdOk);
  std::vector<std::string> expected;
  for (const Case& c : cases) {
    if (c.kept) expected.push_back(std::to_string(c.id));
  }
  EXPECT_EQ(Entries(Root()), expected);
}

TEST_F(PicoManagerTest, PurgeExpiredNeedsTheSettingsStore) {
  WritePath(manager_.PicoFolder(1) + "5.pic", "x");
  UPDATER_SETTINGS no_store{};
  EXPECT_EQ(manager_.PurgeExpired(&no_store), kUpdSettingsUnreadable);
  EXPECT_EQ(Entries(Root()), std::vector<std::string>{"1"});
}

TEST_F(PicoManagerTest, ClearFolderEmptiesTheRootButKeepsIt) {
  WritePath(manager_.PicoFolder(1) + "5.pic", "x");
  WritePath(Root() + "/stray", "x");
  WritePath(Root() + "/.hidden", "x");
  std::filesystem::create_symlink(dir_.file("outside"), Root() + "/link");
  WritePath(dir_.file("outside/keep"), "x");
  ASSERT_EQ(manager_.ClearFolder(), kUpdOk);
  EXPECT_TRUE(std::filesystem::is_directory(Root()));
  EXPECT_TRUE(Entries(Root()).empty());
  // A link is removed, not followed.
  EXPECT_TRUE(std::filesystem::exists(dir_.file("outside/keep")));
}

TEST_F(PicoManagerTest, PurgeStaleFilesDropsUnnumberedAndEarlyFilesOfKnownPicos) {
  WriteFile(Catalogue(), PicoSectionText({"p12", 12, "scan", 5, 3600, "pico/12"}));
  ASSERT_EQ(manager_.ScanUpdateVer(Catalogue().c_str(), nullptr, Installed({"scan64"})), 1u);
  for (const char* name : {"4.pic", "5.pic", "6.pic", "6_new.pic", "x.pic", "readme"}) {
    WritePath(manager_.PicoFolder(12) + name, "x");
  }
  // Not a pico of the map: untouched.
  WritePath(manager_.PicoFolder(13) + "1.pic", "x");
  EXPECT_EQ(manager_.PurgeStaleFiles(), kUpdOk);
  EXPECT_EQ(Entries(manager_.PicoFolder(12)), (std::vector<std::string>{"5.pic", "6.pic", "readme"}));
  EXPECT_EQ(Entries(manager_.PicoFolder(13)), std::vector<std::string>{"1.pic"});
}

TEST_F(PicoManagerTest, RollbackMovesPicoFoldersAsideAndRecoverBringsThemBack) {
  WritePath(manager_.PicoFolder(12) + "5.pic", "twelve");
  WritePath(manager_.PicoFolder(7) + "1.pic", "seven");
  WritePath(Root() + "/other/1.pic", "other");

  ASSERT_EQ(manager_.MoveAllToRollback(), kUpdOk);
  const std::vector<std::string> moved = Entries(Root());
  ASSERT_EQ(moved.size(), 3u);
  const std::regex rollback_name("(7|12)_rollback_[0-9A-F]{8}");
  EXPECT_TRUE(std::regex_match(moved[0], rollback_name)) << moved[0];
  EXPECT_TRUE(std::regex_match(moved[1], rollback_name)) << moved[1];
  EXPECT_EQ(moved[2], "other");

  ASSERT_EQ(manager_.RecoverRollbacks(), kUpdOk);
  EXPECT_EQ(Entries(Root()), (std::vector<std::string>{"12", "7", "other"}));
  EXPECT_EQ(ReadFile(manager_.PicoFolder(12) + "5.pic"), "twelve");
}

TEST_F(PicoManagerTest, RecoverDoesNotOverwriteAFolderThatCameBack) {
  WritePath(Root() + "/12_rollback_0000ABCD/5.pic", "old");
  WritePath(manager_.PicoFolder(12) + "9.pic", "new");
  EXPECT_EQ(manager_.RecoverRollbacks(), kUpdMoveFailed);
  EXPECT_EQ(ReadFile(manager_.PicoFolder(12) + "9.pic"), "new");
  EXPECT_EQ(ReadFile(Root() + "/12_rollback_0000ABCD/5.pic"), "old");
}

TEST_F(PicoManagerTest, RollbackNamesSurviveAPercentInTheRoot) {
  CPicoManager manager(dir_.file("100%d pico").c_str());
  WritePath(manager.PicoFolder(3) + "1.pic", "x");
  ASSERT_EQ(manager.MoveAllToRollback(), kUpdOk);
  const std::vector<std::string> moved = Entries(manager.root());
  ASSERT_EQ(moved.size(), 1u);
  EXPECT_TRUE(std::regex_match(moved[0], std::regex("3_rollback_[0-9A-F]{8}"))) << moved[0];
}

TEST(PicoFileNames, OnlyDecimalNumbersWithinThirtyTwoBitsAreFileNumbers) {
  struct Case {
    const char* name;
    std::optional<uint32_t> number;
  };
  const Case cases[] = {
      {"5.pic", 5u},
      {"0.pic", 0u},
      {"4294967295.pic", 4294967295u},
      {"4294967296.pic", std::nullopt},  // would wrap to 0
      {"5_new.pic", std::nullopt},
      {"+5.pic", std::nullopt},
      {" 5.pic", std::nullopt},
      {"5.PIC", std::nullopt},
      {".pic", std::nullopt},
      {"5.pic.old", std::nullopt},
      {"5", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(PicoFileNumber(c.name), c.number) << c.name;
  EXPECT_EQ(PicoFileName(7), "7.pic");
  EXPECT_EQ(NewPicoFileName(7), "7_new.pic");
}

TEST(PicoValidation, TheEngineMustReportTheExpectedIdAndNumber) {
  TempDir dir;
  EngineStandIn engine;
  const ENGINE_DISPATCH dispatch = engine.dispatch();
  struct Case {
    const char* what;
    std::string content;
    UPD_ERROR expected;
  };
  const Case cases[] = {
      {"matching", PicoFileText(12, 5), kUpdOk},
      {"other id", PicoFileText(13, 5), kUpdBadFile},
      {"other number", PicoFileText(12, 6), kUpdBadFile},
      {"not a pico file", "garbage\n", kUpdEngineFailed},
  };
  for (const Case& c : cases) {
    WriteFile(dir.file("5.pic"), c.content);
    EXPECT_EQ(CPicoManager::ValidatePicoFile(&dispatch, dir.file("5.pic").c_str(), 12, 5),
              c.expected)
        << c.what;
  }
  EXPECT_EQ(CPicoManager::ValidatePicoFile(nullptr, dir.file("5.pic").c_str(), 12, 5),
            kUpdNoContext);
}

}  // namespace
}  // namespace upd::test
