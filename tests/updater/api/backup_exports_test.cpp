#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "../backup/backup_fixture.h"
#include "updater/backup/backup_store.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

class BackupExports : public BackupFixture {
 protected:
  // A new context on the same folders, as after a restart of the host.
  void Reopen() {
    LIB(UpdUninitialize)(context_);
    context_ = LIB(UpdInitialize)(Data().c_str(), Modules().c_str(), "1.2.3", "host");
    ASSERT_NE(context_, nullptr);
  }

  void WriteDatabase(const std::string& root_attributes, const std::string& snapshots) {
    WriteFile(Database(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<BACKUP" + root_attributes +
                              ">" + snapshots + "</BACKUP>\n");
  }

  uint8_t Blocked(uint32_t* until) { return LIB(UpdBackupIsUpdateBlocked)(context_, until); }
};

TEST_F(BackupExports, FirstStartWritesDefaultSettingsAndNoDatabase) {
  ASSERT_TRUE(fs::is_directory(Backup()));
  const std::vector<std::string> expected = {
      "WEXA",
      " SECTION",
      "  SETTINGS",
      "   PLUGINS",
      "    PLUGIN ID=2000400",
      "     SETTINGS",
      "      NODE NAME=SnapshotCount VALUE=1 TYPE=DWORD",
      "      NODE NAME=BackupEnabled VALUE=1 TYPE=DWORD",
      "      NODE NAME=LastBackupTime VALUE=0 TYPE=DWORD",
      "      NODE NAME=ReenableUpdateTime VALUE=0 TYPE=DWORD",
  };
  EXPECT_EQ(DumpXml(Config()), expected);

  EXPECT_EQ(Count(), 0);
  uint32_t until = 77;
  EXPECT_EQ(Blocked(&until), 0);
  EXPECT_EQ(until, 77u) << "written only when blocked";
  EXPECT_EQ(Rollback(0), 0x7001u);
  EXPECT_FALSE(fs::exists(Database())) << "nothing changed yet";

  // A start keeps a settings file that reads, and replaces one that does not.
  std::string edited = ReadFile(Config());
  const std::string count = "NAME=\"SnapshotCount\" VALUE=\"1\"";
  ASSERT_NE(edited.find(count), std::string::npos) << edited;
  edited.replace(edited.find(count), count.size(), "NAME=\"SnapshotCount\" VALUE=\"5\"");
  WriteFile(Config(), edited);
  Reopen();
  EXPECT_EQ(ReadFile(Config()), edited);
  WriteFile(Config(), "<WEXA><SECTION/>");
  Reopen();
  EXPECT_EQ(DumpXml(Config()), expected);
}

TEST_F(BackupExports, FirstSnapshotWritesTheDatabaseInHexadecimal) {
  const std::string loader = Install("em001.dat", {"loader", 0x1B, 1, 0xABCDE, "7.1"}, "L");
  const std::string core = Install("em002.dat", {"core", 3, 2, 10, "1.0"}, "C");
  host_.Clear();
  const uint32_t before = Now();
  ASSERT_EQ(Snapshot(), 0u);
  const uint32_t after = Now();

  const std::vector<std::string> dump = DumpXml(Database());
  ASSERT_EQ(dump.size(), 4u) << ::testing::PrintToString(dump);
  EXPECT_EQ(dump[0], "BACKUP VERSION=2");
  std::smatch stamp;
  ASSERT_TRUE(std::regex_match(dump[1], stamp, std::regex(" SNAPSHOT TIMESTAMP=([0-9A-F]+)")))
      << dump[1];
  const uint32_t timestamp = std::stoul(stamp[1], nullptr, 16);
  EXPECT_GE(timestamp, before);
  EXPECT_LE(timestamp, after);
  EXPECT_EQ(dump[2],
            "  MODULE ID=1B PLATFORM=1 BUILD=ABCDE TYPE=loader64 FILE=em026_64-703710.dat "
            "ORIG=em001.dat");
  EXPECT_EQ(dump[3],
            "  MODULE ID=3 PLATFORM=2 BUILD=A TYPE=core FILE=em002_32-10.dat ORIG=em002.dat");
  EXPECT_EQ(ReadFile(Backup() + "/em026_64-703710.dat"), loader);
  EXPECT_EQ(ReadFile(Backup() + "/em002_32-10.dat"), core);

  const std::string last = "      NODE NAME=LastBackupTime VALUE=" + Hex(timestamp) + " TYPE=DWORD";
  EXPECT_EQ(DumpXml(Config()).at(8), last);
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_ENGINE).size(), 1u);
  EXPECT_TRUE(engine_.counts().Balanced());
  EXPECT_EQ(engine_.counts().opens, 2u);
}

TEST_F(BackupExports, TheNewestSnapshotsAreKept) {
  struct Row {
    uint32_t keep;
    std::set<uint32_t> builds_left;
  };
  const Row rows[] = {
      {0, {}},
      {1, {3}},
      {2, {2, 3}},
      {0xFFFFFFFF, {1, 2, 3}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.keep);
    fs::remove_all(Backup());
    Reopen();
    host_.settings()->backupSnapshotsToKeep = row.keep;
    for (uint32_t build = 1; build <= 3; ++build) {
      Install("em002.dat", Module("scan", build));
      ASSERT_EQ(Snapshot(), 0u);
    }
    EXPECT_EQ(Count(), static_cast<int32_t>(row.builds_left.size()));
    for (uint32_t build = 1; build <= 3; ++build) {
      const std::string copy = "em002_64-" + std::to_string(build) + ".dat";
      EXPECT_EQ(fs::exists(Backup() + "/" + copy), row.builds_left.count(build) == 1) << copy;
    }
  }
}

// A module build held by several snapshots has one copy, which goes with the
// last snapshot that holds it.
TEST_F(BackupExports, SnapshotsOfTheSameBuildShareOneCopy) {
  host_.settings()->backupSnapshotsToKeep = 2;
  Install("em002.dat", Module("scan", 5));
  ASSERT_EQ(Snapshot(), 0u);
  ASSERT_EQ(Snapshot(), 0u);
  EXPECT_EQ(BackupEntries(), (std::vector<std::string>{"config.xml", "db.xml", "em002_64-5.dat"}));
  Install("em002.dat", Module("scan", 6));
  ASSERT_EQ(Snapshot(), 0u);
  EXPECT_TRUE(fs::exists(Backup() + "/em002_64-5.dat")) << "still held by the second snapshot";
  ASSERT_EQ(Snapshot(), 0u);
  EXPECT_EQ(BackupEntries(), (std::vector<std::string>{"config.xml", "db.xml", "em002_64-6.dat"}));
}

TEST_F(BackupExports, RollbackRestoresBlocksAndThenOnlyMovesTheBlock) {
  const std::string old_module = Install("em002.dat", Module("scan", 1), "old");
  ASSERT_EQ(Snapshot(), 0u);
  Install("em002.dat", Module("scan", 2), "new");
  const std::string extra = Install("em003.dat", Module("extra", 1, 4));

  host_.Clear();
  const uint32_t until = Now() + 3600;
  ASSERT_EQ(Rollback(until), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), old_module);
  EXPECT_EQ(ReadFile(Modules() + "/em003.dat"), extra) << "a module the snapshot lacks stays";
  EXPECT_TRUE(host_.events().empty()) << "a rollback raises no event";

  uint32_t blocked_until = 0;
  EXPECT_EQ(Blocked(&blocked_until), 1);
  EXPECT_EQ(blocked_until, until);
  EXPECT_EQ(Blocked(nullptr), 1);
  {
    // What the module update run asks before it does anything (0x7000).
    CBackupStore store(Database(), Backup(), Modules());
    EXPECT_TRUE(store.IsUpdateBlocked());
  }

  const std::string touched = Install("em002.dat", Module("scan", 3));
  ASSERT_EQ(Rollback(until + 3600), 0x7002u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), touched) << "nothing is copied while blocked";
  EXPECT_EQ(Blocked(&blocked_until), 1);
  EXPECT_EQ(blocked_until, until + 3600);
  EXPECT_EQ(Count(), 1);

  ASSERT_EQ(LIB(UpdBackupUnblockUpdate)(context_), 0u);
  EXPECT_EQ(Blocked(nullptr), 0);
  // Unblocked, a rollback without a block time restores and blocks nothing.
  ASSERT_EQ(Rollback(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), old_module);
  EXPECT_EQ(Blocked(nullptr), 0);
  EXPECT_TRUE(engine_.counts().Balanced());
}

TEST_F(BackupExports, RollbackRestoresTheOldestOfThreeAndKeepsOnlyIt) {
  std::string first;
  for (uint32_t build = 1; build <= 3; ++build) {
    const std::string content = Install("em002.dat", Module("scan", build));
    Install("em004.dat", Module("other", 9, 5));
    if (build == 1) first = content;
    ASSERT_EQ(Snapshot(), 0u);
  }
  const std::vector<std::string> stamps = Timestamps();
  ASSERT_EQ(stamps.size(), 3u);

  ASSERT_EQ(Rollback(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), first);
  EXPECT_EQ(Timestamps(), std::vector<std::string>{stamps[0]});
  EXPECT_EQ(BackupEntries(),
            (std::vector<std::string>{"config.xml", "db.xml", "em002_64-1.dat", "em004_64-9.dat"}));
  EXPECT_EQ(Count(), 1);
}

TEST_F(BackupExports, NothingToSnapshotOrRollBack) {
  ASSERT_EQ(Snapshot(), 0x1102u) << "no module";
  WriteFile(Modules() + "/em009.dat", "not a module");
  ASSERT_EQ(Snapshot(), 0x1102u) << "nothing the engine can read";

  Install("em002.dat", Module("scan", 1));
  testhost::EventHost no_engine;
  std::memcpy(no_engine.settings()->settingsStore, host_.settings()->settingsStore,
              sizeof no_engine.settings()->settingsStore);
  EXPECT_EQ(LIB(UpdBackupCreateSnapshot2)(context_, no_engine.settings()), 0x1102u)
      << "no engine from the host";

  const std::string module = ReadFile(Modules() + "/em002.dat");
  EXPECT_EQ(Rollback(Now() + 60), 0x7001u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), module);
  EXPECT_EQ(LIB(UpdBackupIsUpdateBlocked)(context_, nullptr), 0) << "no block without a rollback";
  EXPECT_EQ(Count(), 0);
  EXPECT_TRUE(engine_.counts().Balanced());
}

TEST_F(BackupExports, DatabaseOfAnOlderVersionIsEmptiedAtStart) {
  struct Row {
    const char* root_attributes;
    bool current;
  };
  const Row rows[] = {
      {" VERSION=\"1\"", false},  {" VERSION=\"0\"", false}, {" VERSION=\"\"", false}, {"", false},
      {" VERSION=\"2x\"", false}, {" VERSION=\"2\"", true},  {" version=\"a\"", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.root_attributes);
    WriteFile(Backup() + "/em002_64-4.dat", "copy");
    WriteDatabase(row.root_attributes,
                  "<SNAPSHOT TIMESTAMP=\"5\"><MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"4\" "
                  "TYPE=\"scan64\" FILE=\"em002_64-4.dat\" ORIG=\"em002.dat\"/></SNAPSHOT>");
    Reopen();
    EXPECT_EQ(Count(), row.current ? 1 : 0);
    EXPECT_EQ(fs::exists(Backup() + "/em002_64-4.dat"), row.current);
    if (!row.current) {
      EXPECT_EQ(DumpXml(Database()), std::vector<std::string>{"BACKUP VERSION=2"});
    }
  }
}

// Snapshots taken within one second still name distinct points to roll back
// to, and the oldest stays the one taken first.
TEST_F(BackupExports, SnapshotsInTheSameSecondGetDistinctTimestamps) {
  const uint32_t now = Now();
  std::string seeded;
  std::set<std::string> taken;
  for (uint32_t t = now; t < now + 10; ++t) {
    seeded += "<SNAPSHOT TIMESTAMP=\"" + Hex(t) + "\"/>";
    taken.insert(Hex(t));
  }
  WriteDatabase(" VERSION=\"2\"", seeded);
  Reopen();
  Install("em002.dat", Module("scan", 1));
  ASSERT_EQ(Snapshot(), 0u);
  ASSERT_EQ(Snapshot(), 0u);
  const std::vector<std::string> stamps = Timestamps();
  ASSERT_EQ(stamps.size(), 12u);
  const std::set<std::string> distinct(stamps.begin(), stamps.end());
  EXPECT_EQ(distinct.size(), 12u);
  const uint32_t eleventh = std::stoul(stamps[10], nullptr, 16);
  const uint32_t twelfth = std::stoul(stamps[11], nullptr, 16);
  EXPECT_GE(eleventh, now + 10);
  EXPECT_GT(twelfth, eleventh);
}

// An older database may hold two snapshots of one timestamp: the first is
// restored, and removing the other does not take the first's entry or copy.
TEST_F(BackupExports, RollbackAmongEqualTimestampsKeepsTheFirst) {
  WriteFile(Backup() + "/em002_64-1.dat", "build one");
  WriteFile(Backup() + "/em002_64-2.dat", "build two");
  const std::string module =
      "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"%s\" TYPE=\"scan64\" "
      "FILE=\"em002_64-%s.dat\" ORIG=\"em002.dat\"/>";
  auto snapshot = [&](const char* build) {
    std::string text = module;
    for (size_t at; (at = text.find("%s")) != std::string::npos;) text.replace(at, 2, build);
    return "<SNAPSHOT TIMESTAMP=\"64\">" + text + "</SNAPSHOT>";
  };
  WriteDatabase(" VERSION=\"2\"", snapshot("1") + snapshot("2"));
  Reopen();
  ASSERT_EQ(Rollback(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), "build one");
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(BackupEntries(), (std::vector<std::string>{"config.xml", "db.xml", "em002_64-1.dat"}));
}

// The engine stand-in gives every module engine id 3: em001_64 and em002_64
// at build 300 would have the same copy name. Each gets a copy of its own,
// shared by the snapshots that hold it again, and a rollback after a patch
// of em001_64 gives each module its own bytes back.
TEST_F(BackupExports, ModulesOfOneEngineIdAndBuildRollBackToTheirOwnBytes) {
  const std::string em001 = Install("em001_64.dat", Module("em001_64", 300), "first");
  const std::string em002 = Install("em002_64.dat", Module("em002_64", 300), "second");
  ASSERT_EQ(Snapshot(), 0u);
  ASSERT_EQ(Snapshot(), 0u);

  const std::vector<std::string> modules = {
      "  MODULE ID=3 PLATFORM=1 BUILD=12C TYPE=em001_64 FILE=em002_64-300.dat ORIG=em001_64.dat",
      "  MODULE ID=3 PLATFORM=1 BUILD=12C TYPE=em002_64 FILE=em002_64-300_1.dat "
      "ORIG=em002_64.dat"};
  std::vector<std::string> dump = DumpXml(Database());
  ASSERT_EQ(dump.size(), 7u) << ::testing::PrintToString(dump);
  EXPECT_EQ(std::vector<std::string>(dump.begin() + 2, dump.begin() + 4), modules);
  EXPECT_EQ(std::vector<std::string>(dump.begin() + 5, dump.end()), modules);
  EXPECT_EQ(BackupEntries(), (std::vector<std::string>{"config.xml", "db.xml", "em002_64-300.dat",
                                                       "em002_64-300_1.dat"}));
  EXPECT_EQ(ReadFile(Backup() + "/em002_64-300.dat"), em001);
  EXPECT_EQ(ReadFile(Backup() + "/em002_64-300_1.dat"), em002);

  Install("em001_64.dat", Module("em001_64", 301), "patched");
  ASSERT_EQ(Rollback(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em001_64.dat"), em001);
  EXPECT_EQ(ReadFile(Modules() + "/em002_64.dat"), em002);
  EXPECT_TRUE(engine_.counts().Balanced());
}

// A database as earlier releases wrote it (one copy per module, each under
// its plain name) is used as it stands: a new snapshot of the same builds
// shares its copies, and the rollback restores them and leaves its entries
// as they were.
TEST_F(BackupExports, DatabaseOfEarlierReleasesRollsBackUnchanged) {
  const std::string scan = testhost::ModuleFileText(Module("scan", 1), "old scan");
  const std::string other = testhost::ModuleFileText(Module("other", 9, 5), "old other");
  WriteFile(Backup() + "/em002_64-1.dat", scan);
  WriteFile(Backup() + "/em004_64-9.dat", other);
  WriteDatabase(" VERSION=\"2\"",
                "<SNAPSHOT TIMESTAMP=\"64\">"
                "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"1\" TYPE=\"scan64\" "
                "FILE=\"em002_64-1.dat\" ORIG=\"em002.dat\"/>"
                "<MODULE ID=\"5\" PLATFORM=\"1\" BUILD=\"9\" TYPE=\"other64\" "
                "FILE=\"em004_64-9.dat\" ORIG=\"em004.dat\"/></SNAPSHOT>");
  Reopen();
  const std::vector<std::string> stored = DumpXml(Database());
  WriteFile(Modules() + "/em002.dat", scan);
  WriteFile(Modules() + "/em004.dat", other);
  ASSERT_EQ(Snapshot(), 0u);
  const std::vector<std::string> dump = DumpXml(Database());
  ASSERT_EQ(dump.size(), 7u) << ::testing::PrintToString(dump);
  EXPECT_EQ(std::vector<std::string>(dump.begin() + 5, dump.end()),
            std::vector<std::string>(stored.begin() + 2, stored.end()))
      << "the new snapshot names the same copies";
  const std::vector<std::string> entries = BackupEntries();
  EXPECT_EQ(entries,
            (std::vector<std::string>{"config.xml", "db.xml", "em002_64-1.dat", "em004_64-9.dat"}));

  Install("em002.dat", Module("scan", 2), "new scan");
  Install("em004.dat", Module("other", 10, 5), "new other");
  ASSERT_EQ(Rollback(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), scan);
  EXPECT_EQ(ReadFile(Modules() + "/em004.dat"), other);
  EXPECT_EQ(DumpXml(Database()), stored);
  EXPECT_EQ(BackupEntries(), entries);
}

// Paths in the database that lead out of their folders are not used.
TEST_F(BackupExports, DatabasePathsOutsideTheirFoldersAreSkipped) {
  WriteFile(Backup() + "/em002_64-1.dat", "good");
  WriteFile(Data() + "/secret.dat", "secret");
  WriteDatabase(" VERSION=\"2\"",
                "<SNAPSHOT TIMESTAMP=\"10\">"
                "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"1\" TYPE=\"a\" FILE=\"em002_64-1.dat\" "
                "ORIG=\"../escaped.dat\"/>"
                "<MODULE ID=\"4\" PLATFORM=\"1\" BUILD=\"1\" TYPE=\"b\" FILE=\"../secret.dat\" "
                "ORIG=\"em003.dat\"/>"
                "<MODULE ID=\"5\" PLATFORM=\"1\" BUILD=\"1\" TYPE=\"c\" FILE=\"em002_64-1.dat\" "
                "ORIG=\"em005.dat\"/>"
                "</SNAPSHOT>");
  Reopen();
  ASSERT_EQ(Rollback(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em005.dat"), "good");
  EXPECT_FALSE(fs::exists(dir_.file("escaped.dat")));
  EXPECT_FALSE(fs::exists(Modules() + "/em003.dat"));
  EXPECT_EQ(ReadFile(Data() + "/secret.dat"), "secret");
}

}  // namespace
}  // namespace upd::test
