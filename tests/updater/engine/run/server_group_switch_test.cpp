#include "updater/engine/run/server_group_switch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "group_switch_fixture.h"
#include "platform/util/update_errors.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"
#include "updater/api/context.h"
#include "updater/api/run_binding.h"
#include "updater/engine/servers/server_groups.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

TEST_F(GroupSwitch, SwitchFetchesAroundTheChangeAndForgetsTheDefaultServers) {
  WriteStore({"DefaultServerCount=1", "DefaultServer0=http://a/", "FailSafeServer=http://safe/"});
  WriteFile(UpdateFolder() + "upd.ver", "old");
  fs::create_directories(UpdateFolder() + "cache.d");
  WriteFile(UpdateFolder() + "cache.d/x.nup", "old");
  steps_.fetch = [this](uint32_t attempts) {
    // The first fetch still sees the old group's files; later ones an empty folder.
    const bool emptied = calls_.size() >= 2;
    EXPECT_EQ(fs::exists(UpdateFolder() + "upd.ver"), !emptied) << calls_.size();
    EXPECT_EQ(fs::exists(UpdateFolder() + "cache.d"), !emptied) << calls_.size();
    return ScriptedFetch(attempts);
  };
  EXPECT_EQ(Switch("Prerelease", 1), kUpdOk);
  EXPECT_EQ(calls_, (Calls{"reset", "fetch 1 -", "fetch 1 Prerelease", "save Release",
                           "fetch 3 Prerelease", "close"}));
  EXPECT_TRUE(fs::is_directory(UpdateFolder()));
  EXPECT_EQ(Stored("UpdateServerGroup"), "Prerelease");
  EXPECT_FALSE(Stored("UpdateServerGroupOld"));
  EXPECT_FALSE(Stored("SwitchUpdateGroupFinished"));
  EXPECT_FALSE(Stored("DefaultServerCount"));
  EXPECT_FALSE(Stored("DefaultServer0"));
  EXPECT_EQ(Stored("FailSafeServer"), "http://safe/");
}

TEST_F(GroupSwitch, ModulesAreKeptOnlyWhenALastCatalogueExists) {
  steps_.fetch = [this](uint32_t attempts) {
    calls_.push_back("fetch " + std::to_string(attempts));
    return UpdError{kUpdOk};
  };
  EXPECT_EQ(Switch("Deferred", 1), kUpdOk);
  EXPECT_EQ(calls_, (Calls{"reset", "fetch 1", "fetch 1", "fetch 3", "close"}));
}

// A switch whose last fetch fails stays marked unfinished; the next call
// without a change retries the fetch: kUpdGroupSwitchIncomplete while it
// fails, then kUpdOk.
TEST_F(GroupSwitch, UnfinishedSwitchIsRetried) {
  fetch_results_ = {kUpdServerUnreachable, kUpdServerUnreachable, kUpdServerUnreachable};
  EXPECT_EQ(Switch("Prerelease", 1), 0x2101u);
  EXPECT_EQ(Stored("UpdateServerGroup"), "Prerelease");
  EXPECT_EQ(Stored("SwitchUpdateGroupFinished"), "0");

  fetch_results_ = {kUpdNotFound};
  EXPECT_EQ(Switch("prerelease", 1), kUpdGroupSwitchIncomplete);
  EXPECT_EQ(calls_, (Calls{"reset", "fetch 3 Prerelease", "close"}));
  EXPECT_EQ(Stored("SwitchUpdateGroupFinished"), "0");

  EXPECT_EQ(Switch("Prerelease", 1), kUpdOk);
  EXPECT_EQ(calls_, (Calls{"reset", "fetch 3 Prerelease", "close"}));
  EXPECT_FALSE(Stored("SwitchUpdateGroupFinished"));

  EXPECT_EQ(Switch("Prerelease", 1), kUpdNoGroupChange);
  EXPECT_EQ(calls_, (Calls{"reset", "close"}));
}

// The host's own group is remembered when it switches to a channel group,
// and set 0 goes back to it.
TEST_F(GroupSwitch, ChannelGroupsAndTheWayBack) {
  WriteStore({"UpdateServerGroup=Beta"});
  EXPECT_EQ(Switch("Prerelease", 1), kUpdOk);
  EXPECT_EQ(Stored("UpdateServerGroupOld"), "Beta");
  EXPECT_EQ(calls_, (Calls{"reset", "fetch 1 Beta", "fetch 1 Prerelease", "save Beta",
                           "fetch 3 Prerelease", "close"}));

  EXPECT_EQ(Switch("Deferred", 1), kUpdOk);
  EXPECT_EQ(Stored("UpdateServerGroupOld"), "Beta");
  EXPECT_EQ(calls_[3], "save Prerelease");

  EXPECT_EQ(Switch(nullptr, 0), kUpdOk);
  EXPECT_EQ(Stored("UpdateServerGroup"), "Beta");
  EXPECT_EQ(calls_, (Calls{"reset", "fetch 1 Deferred", "fetch 1 Beta", "save Deferred",
                           "fetch 3 Beta", "close"}));

  EXPECT_EQ(Switch(nullptr, 0), kUpdNoGroupChange);
  EXPECT_EQ(calls_, (Calls{"reset", "close"}));
}

TEST_F(GroupSwitch, NothingToChange) {
  const struct {
    const char* name;
    std::vector<std::string> store;
    const char* group;
    uint32_t set;
  } cases[] = {
      {"nothing stored, set 0", {}, nullptr, 0},
      {"same group, ASCII case folded", {"UpdateServerGroup=Prerelease"}, "PRERELEASE", 1},
      {"own group equals the old one",
       {"UpdateServerGroup=Beta", "UpdateServerGroupOld=beta"},
       nullptr,
       0},
      {"finished switch", {"UpdateServerGroup=Beta", "SwitchUpdateGroupFinished=1"}, "Beta", 1},
  };
  for (const auto& c : cases) {
    WriteStore(c.store);
    EXPECT_EQ(Switch(c.group, c.set), kUpdNoGroupChange) << c.name;
    EXPECT_EQ(calls_, (Calls{"reset", "close"})) << c.name;
  }
}

TEST_F(GroupSwitch, StoreThatDoesNotOpen) {
  SetStoreLocation(StorePath());
  EXPECT_EQ(Switch("Prerelease", 1), kUpdSettingsUnreadable);
  EXPECT_EQ(calls_, (Calls{"reset", "close"}));
  EXPECT_FALSE(fs::exists(StorePath()));
}

// A group name becomes a folder name under "backup" when the group is left:
// it must be a plain name, whether the host gives it or the store holds it.
TEST_F(GroupSwitch, GroupNamesMustBePlain) {
  const std::string longest(kMaxGroupName, 'g');
  const std::string too_long(kMaxGroupName + 1, 'g');
  const struct {
    const char* name;
    std::vector<std::string> store;
    const char* group;
    uint32_t set;
  } refused[] = {
      {"no group", {}, nullptr, 1},
      {"empty group", {}, "", 1},
      {"parent folder", {}, "..", 1},
      {"climbs out", {}, "../../etc", 1},
      {"sub-folder", {}, "a/b", 1},
      {"dots inside", {}, "a..b", 1},
      {"the folder itself", {}, ".", 1},
      {"longer than the store reads back", {}, too_long.c_str(), 1},
      {"stored group is left",
       {"UpdateServerGroup=../up", "UpdateServerGroupOld=../up"},
       "Prerelease",
       1},
      {"stored old group comes back",
       {"UpdateServerGroup=Prerelease", "UpdateServerGroupOld=a/b"},
       nullptr,
       0},
  };
  for (const auto& c : refused) {
    WriteStore(c.store);
    const std::string before = ReadFile(StorePath());
    EXPECT_EQ(Switch(c.group, c.set), kUpdInvalidArgument) << c.name;
    EXPECT_EQ(calls_, (Calls{"reset", "close"})) << c.name;
    EXPECT_EQ(ReadFile(StorePath()), before) << c.name;
  }
  for (const std::string& group : {std::string("Beta-2.1"), longest, std::string("Release")}) {
    WriteStore({});
    EXPECT_EQ(Switch(group.c_str(), 1), kUpdOk) << group;
    EXPECT_EQ(Stored("UpdateServerGroup"), group);
  }
}

// Leaving a group parks the installed modules (listed through the host's
// engine) that the new group's last catalogue would take back to an older
// build or does not offer at all; channel-prefixed sections and other
// categories offer nothing here.
TEST_F(GroupSwitch, ModulesNewerThanTheLastCatalogueAreParked) {
  testhost::EventHost host;
  testhost::EngineStandIn engine;
  engine.ServeThrough(host);
  WriteFile(UpdateFolder() + "lastupd.ver",
            "[EM001_64]\ncategory=engine\nplatform=x64\ntype=em001_64\nbuild=1200\n"
            "[EM004_64]\ncategory=engine\nplatform=x64\ntype=em004_64\nbuild=1100\n"
            "[PRELIMINARY_EM002_64]\ncategory=engine\nplatform=x64\ntype=em002_64\nbuild=9999\n"
            "[EM003_64]\ncategory=dll\nplatform=x64\ntype=em003_64\nbuild=9999\n");
  const struct {
    const char* file;
    testhost::ModuleFacts facts;
    bool parked;
  } installed[] = {
      {"em001_64.dat", {"em001_64", 3, 1, 1300, "1.3"}, true},   // above the offered 1200
      {"em001_32.dat", {"em001", 3, 0, 5, "0.5"}, true},         // no x86 build offered
      {"em004_64.dat", {"em004_64", 3, 1, 1100, "1.1"}, false},  // the offered build itself
      {"em002_64.dat", {"em002_64", 3, 1, 1000, "1.0"}, true},   // offered on a channel only
      {"em003_64.dat", {"em003_64", 3, 1, 1000, "1.0"}, true},   // offered in another category
  };
  for (const auto& m : installed) {
    WriteFile(dir_.file("modules") + "/" + m.file, testhost::ModuleFileText(m.facts, m.file));
  }
  SaveModulesOfLeftGroup(host.settings(), context_->modulesFolder, context_->lastUpdVerPath,
                         *context_->backupStore, "Beta");
  for (const auto& m : installed) {
    const std::string parked = dir_.file("data") + "/backup/Beta/" + m.file;
    EXPECT_EQ(fs::exists(parked), m.parked) << m.file;
    if (m.parked) {
      EXPECT_EQ(ReadFile(parked), ReadFile(dir_.file("modules") + "/" + m.file));
    }
  }
  EXPECT_TRUE(engine.counts().Balanced());
}

TEST(GroupNames, PlainNames) {
  const struct {
    std::string name;
    bool plain;
  } cases[] = {
      {"Release", true},
      {"Beta-2.1", true},
      {"a.b", true},
      {"x y", true},
      {"..a", false},
      {"a/", false},
      {"/", false},
      {"", false},
      {std::string(kMaxGroupName, 'x'), true},
      {std::string(kMaxGroupName + 1, 'x'), false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPlainGroupName(c.name), c.plain) << c.name;
}

// The engine's own steps without any server to fetch from: the group is
// stored and the switch stays unfinished.
TEST_F(GroupSwitch, EngineStepsWithoutAServer) {
  UpdateRun run = BindRun(*context_);
  EngineServices services = BindServices(*context_);
  EXPECT_NE(SwitchUpdateGroup(run, services, "Prerelease", 1), kUpdOk);
  EXPECT_EQ(Stored("UpdateServerGroup"), "Prerelease");
  EXPECT_EQ(Stored("SwitchUpdateGroupFinished"), "0");
}

}  // namespace
}  // namespace upd::test
