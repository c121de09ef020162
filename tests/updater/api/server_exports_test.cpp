// The server and server-group exports as the host sees them, through the
// loaded library.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "library_fixture.h"
#include "support/settings_file.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

class ServerExports : public LibraryFixture {
 protected:
  void WriteStore(const std::vector<std::string>& lines) {
    WriteSettingsFile(StorePath(), lines);
  }

  std::optional<std::string> Stored(const char* key) const {
    return StoredSetting(StorePath(), key);
  }

  void SetServer(const std::string& server) {
    std::memset(host_.settings()->updateServer, 0, sizeof host_.settings()->updateServer);
    server.copy(host_.settings()->updateServer, sizeof host_.settings()->updateServer - 1);
  }
};

TEST_F(ServerExports, SwitchRefusals) {
  const UPDATER_SETTINGS* settings = host_.settings();
  const struct {
    const char* name;
    std::vector<std::string> store;
    UPD_ERROR answer;
    UPD_ERROR expected;
  } cases[] = {
      {"set without a group",
       {},
       LIB(UpdSwitchUpdateGroup)(context_, settings, nullptr, 1),
       0x1301},
      {"set with an empty group", {}, LIB(UpdSwitchUpdateGroup)(context_, settings, "", 1), 0x1301},
      {"group that climbs out of backup",
       {},
       LIB(UpdSwitchUpdateGroup)(context_, settings, "../../tmp", 1),
       0x1301},
      {"group with a sub-folder",
       {},
       LIB(UpdSwitchUpdateGroup)(context_, settings, "a/b", 1),
       0x1301},
      {"unknown modules type", {}, LIB(UpdSwitchModulesType)(context_, settings, 3), 0x1301},
      {"production with nothing switched",
       {},
       LIB(UpdSwitchModulesType)(context_, settings, 0),
       0x5007},
      {"going back with nothing switched",
       {},
       LIB(UpdSwitchUpdateGroup)(context_, settings, nullptr, 0),
       0x5007},
  };
  for (const auto& c : cases) EXPECT_EQ(c.answer, c.expected) << c.name;
  EXPECT_FALSE(Stored("UpdateServerGroup"));
  EXPECT_FALSE(Stored("SwitchUpdateGroupFinished"));
}

TEST_F(ServerExports, SwitchWithoutAStore) {
  const std::string location = "/no/scheme/settings.ini";
  std::memcpy(host_.settings()->settingsStore, location.c_str(), location.size() + 1);
  EXPECT_EQ(LIB(UpdSwitchModulesType)(context_, host_.settings(), 1), 0x3104u);
  EXPECT_EQ(LIB(UpdSwitchUpdateGroup)(context_, host_.settings(), "Beta", 1), 0x3104u);
}

// Without a server to fetch from, a switch stores the new group and stays
// unfinished; asking again without a change retries the fetch and answers
// 0x5006 while it fails. The update folder is emptied by the switch.
TEST_F(ServerExports, SwitchWithoutAServerStaysUnfinished) {
  WriteStore({"UpdateServerGroup=Beta", "DefaultServerCount=1", "DefaultServer0=http://a/",
              "FailSafeServer=http://safe/"});
  std::filesystem::create_directories(Data() + "/updfiles");
  WriteFile(UpdateFile("lastupd.ver"), "[ENGINE]\r\n");
  const UPD_ERROR switched = LIB(UpdSwitchModulesType)(context_, host_.settings(), 1);
  EXPECT_NE(switched, 0u);
  EXPECT_NE(switched, 0x5006u);
  EXPECT_EQ(Stored("UpdateServerGroup"), "Prerelease");
  EXPECT_EQ(Stored("UpdateServerGroupOld"), "Beta");
  EXPECT_EQ(Stored("SwitchUpdateGroupFinished"), "0");
  EXPECT_FALSE(Stored("DefaultServerCount"));
  EXPECT_EQ(Stored("FailSafeServer"), "http://safe/");
  EXPECT_FALSE(std::filesystem::exists(UpdateFile("lastupd.ver")));

  EXPECT_EQ(LIB(UpdSwitchModulesType)(context_, host_.settings(), 1), 0x5006u);
  EXPECT_EQ(Stored("SwitchUpdateGroupFinished"), "0");
  // Back to the host's own group: a switch again.
  const UPD_ERROR back = LIB(UpdSwitchModulesType)(context_, host_.settings(), 0);
  EXPECT_NE(back, 0x5006u);
  EXPECT_NE(back, 0x5007u);
  EXPECT_EQ(Stored("UpdateServerGroup"), "Beta");
}

TEST_F(ServerExports, DeleteDefaultServers) {
  WriteStore({"DefaultServerCount=2", "DefaultServer0=http://a/", "DefaultServerWeight0=4",
              "DefaultServer1=http://b/", "FailSafeServer=http://safe/"});
  EXPECT_EQ(LIB(UpdDeleteDefaultServers)(nullptr, host_.settings()), 0u);
  for (const char* key :
       {"DefaultServerCount", "DefaultServer0", "DefaultServerWeight0", "DefaultServer1"}) {
    EXPECT_FALSE(Stored(key)) << key;
  }
  EXPECT_EQ(Stored("FailSafeServer"), "http://safe/");
  EXPECT_EQ(LIB(UpdDeleteDefaultServers)(context_, nullptr), 0u);
}

TEST_F(ServerExports, MirrorUrl) {
  WriteStore({"DefaultServerCount=1", "DefaultServer0=http://default.test/upd/"});
  const struct {
    const char* server;
    uint8_t mirror;
  } cases[] = {
      {"AUTOSELECT", 0},
      {"autoselect", 0},
      {"auto", 1},
      {"HTTP://DEFAULT.TEST/UPD", 0},
      {"http://mirror.local/upd/", 1},
  };
  for (const auto& c : cases) {
    SetServer(c.server);
    EXPECT_EQ(LIB(UpdIsMirrorUpdateUrl)(host_.settings()), c.mirror) << c.server;
  }
}

}  // namespace
}  // namespace upd::test
