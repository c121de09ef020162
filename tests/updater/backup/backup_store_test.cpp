#include "updater/backup/backup_store.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "backup_fixture.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "support/temp_dir.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"
#include "updater/backup/backup_copy_names.h"
#include "updater/backup/backup_settings.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kKeepAll = -1;

// A store on folders of the test's own; modules are described to it as the
// engine scan would (installed module file records).
class BackupStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Modules());
    Open();
  }

  void Open() { store_ = OpenBackupStore(dir_.file("data").c_str(), Modules().c_str()); }

  std::string Modules() const { return dir_.file("modules"); }
  std::string Backup() const { return dir_.file("data/backup"); }

  // Installs a module file and adds its record to components.
  void Add(CListBase& components, const std::string& file, const char* name, uint32_t build,
           uint32_t id = 3) {
    WriteFile(Modules() + "/" + file, name + std::to_string(build));
    _COMPONENT_INFO record;
    record.flags = kComponentModuleFile;
    SafeStrCopy(record.module, sizeof record.module, name);
    record.engineType = id;
    record.platform = 1;
    record.build = build;
    record.localFile = Modules() + "/" + file;
    components.Add(record);
  }

  // A module file as the engine scan describes it.
  struct Scanned {
    const char* file;  // below the modules folder
    const char* name;
    uint32_t build;
    uint32_t platform = 1;
    uint32_t id = 3;
  };

  // Installs a module file with content of its own and adds its record to
  // components; returns the content.
  std::string Add(CListBase& components, const Scanned& module) {
    const std::string content = std::string(module.file) + " " + module.name + " " +
                                std::to_string(module.build) + " on " +
                                std::to_string(module.platform);
    Add(components, module.file, module.name, module.build, module.id);
    WriteFile(Modules() + "/" + module.file, content);
    components[components.GetSize() - 1].platform = module.platform;
    return content;
  }

  // Names of the entries of the backup folder, sorted.
  std::set<std::string> BackupEntries() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(Backup())) {
      names.insert(entry.path().filename().string());
    }
    return names;
  }

  UPD_ERROR SnapshotOf(uint32_t build) {
    CListBase components;
    Add(components, "em002.dat", "scan64", build);
    return store_->CreateSnapshot(components, kKeepAll);
  }

  std::vector<uint32_t> Stamps() {
    CBackupStateArray snapshots;
    EXPECT_EQ(store_->LoadSnapshots(&snapshots), 0u);
    std::vector<uint32_t> stamps;
    for (const CBackupState& state : snapshots) stamps.push_back(state.GetTimestamp());
    return stamps;
  }

  void SetLastBackupTime(uint32_t time) {
    ASSERT_EQ(ChangeBackupSettings(store_->ConfigPath().c_str(),
                                   [time](BACKUP_SETTINGS& s) { s.LastBackupTime = time; }),
              0u);
  }

  static uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

  TempDir dir_;
  std::unique_ptr<CBackupStore> store_;
};

TEST_F(BackupStoreTest, SnapshotDueByTimeOrWhenNoneIsStored) {
  const uint32_t now = Now();
  struct Row {
    const char* name;
    uint32_t last;
    int64_t days;
    bool stored;
    bool due;
  };
  const Row rows[] = {
      {"never taken", 0xFFFFFFFF, 100000, true, true},
      {"two days back, every day", now - 2 * 86400, 1, true, true},
      {"within the day", now - 86400 + 120, 1, true, false},
      {"within the day, none stored", now - 86400 + 120, 1, false, true},
      {"just now, every 0 days", now + 5, 0, true, false},
      {"days beyond any clock", 1, INT64_MAX, true, false},
      {"epoch, every day", 0, 1, true, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(store_->PruneSnapshots(false), 0u);
    if (row.stored) {
      ASSERT_EQ(SnapshotOf(1), 0u);
    }
    SetLastBackupTime(row.last);
    EXPECT_EQ(store_->IsSnapshotDue(row.days), row.due);
  }
  fs::remove(store_->ConfigPath());
  EXPECT_FALSE(store_->IsSnapshotDue(0)) << "unreadable settings";
}

TEST_F(BackupStoreTest, SnapshotRecordsTheTimeItWasTaken) {
  const uint32_t before = Now();
  ASSERT_EQ(SnapshotOf(1), 0u);
  const std::optional<BACKUP_SETTINGS> settings = ReadBackupSettings(store_->ConfigPath().c_str());
  ASSERT_TRUE(settings.has_value());
  EXPECT_GE(settings->LastBackupTime, before);
  EXPECT_LE(settings->LastBackupTime, Now());
  EXPECT_FALSE(store_->IsSnapshotDue(1));
}

TEST_F(BackupStoreTest, RemovedSnapshotTakesOnlyCopiesNoOtherHolds) {
  CListBase both;
  Add(both, "em002.dat", "scan64", 1);
  Add(both, "em003.dat", "other64", 7, 4);
  ASSERT_EQ(store_->CreateSnapshot(both, kKeepAll), 0u);
  ASSERT_EQ(SnapshotOf(1), 0u);
  const std::vector<uint32_t> stamps = Stamps();
  ASSERT_EQ(stamps.size(), 2u);

  EXPECT_EQ(store_->RemoveSnapshot(stamps[1] + 100, false), kUpdNotFound);
  EXPECT_EQ(Stamps(), stamps);

  ASSERT_EQ(store_->RemoveSnapshot(stamps[0], false), 0u);
  EXPECT_TRUE(fs::exists(Backup() + "/em002_64-1.dat")) << "held by the second snapshot";
  EXPECT_FALSE(fs::exists(Backup() + "/em003_64-7.dat"));
  store_->RemoveSnapshotAndFiles(stamps[1]);
  EXPECT_FALSE(fs::exists(Backup() + "/em002_64-1.dat"));
  EXPECT_TRUE(Stamps().empty());
}

TEST_F(BackupStoreTest, PruneKeepsTheCopiesOnlyWhenAsked) {
  for (const bool keep_copies : {true, false}) {
    SCOPED_TRACE(keep_copies);
    ASSERT_EQ(SnapshotOf(1), 0u);
    ASSERT_EQ(SnapshotOf(2), 0u);
    ASSERT_EQ(store_->PruneSnapshots(keep_copies), 0u);
    EXPECT_TRUE(Stamps().empty());
    EXPECT_EQ(fs::exists(Backup() + "/em002_64-1.dat"), keep_copies);
    EXPECT_EQ(fs::exists(Backup() + "/em002_64-2.dat"), keep_copies);
    Open();
    EXPECT_TRUE(Stamps().empty()) << "the database was saved";
  }
}

TEST_F(BackupStoreTest, RemoveOldestGoesByTimestampNotByOrder) {
  // Written out of order: the smallest timestamp goes first wherever it is.
  WriteFile(Backup() + "/db.xml",
            "<BACKUP VERSION=\"2\"><SNAPSHOT TIMESTAMP=\"30\"/><SNAPSHOT TIMESTAMP=\"10\"/>"
            "<SNAPSHOT TIMESTAMP=\"20\"/><SNAPSHOT/></BACKUP>");
  Open();
  EXPECT_EQ(Stamps(), (std::vector<uint32_t>{0x30, 0x10, 0x20, 0}));
  ASSERT_EQ(store_->RemoveOldest(3), 0u);
  EXPECT_EQ(Stamps(), (std::vector<uint32_t>{0x30, 0x10, 0x20}))
      << "a snapshot without a readable time is the oldest";
  ASSERT_EQ(store_->RemoveOldest(1), 0u);
  EXPECT_EQ(Stamps(), std::vector<uint32_t>{0x30});
  ASSERT_EQ(store_->RemoveOldest(UINT64_MAX), 0u);
  EXPECT_EQ(Stamps(), std::vector<uint32_t>{0x30});
}

TEST_F(BackupStoreTest, DatabaseReadsWhatItCanOfEachModule) {
  const std::string long_type(100, 't');
  WriteFile(Backup() + "/db.xml",
            "<backup version=\"2\"><snapshot timestamp=\"ff\">"
            "<module id=\"1b\" platform=\"3\" build=\"123456789ABCDEF0\" type=\"" +
                long_type +
                "\" file=\"em026_64-1.dat\" orig=\"em001.dat\"/>"
                "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"\" TYPE=\"t\" FILE=\"f.dat\" ORIG=\"o\"/>"
                "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"1\" TYPE=\"no file\" ORIG=\"o\"/>"
                "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"12345678901234567\" TYPE=\"t\" "
                "FILE=\"f\" ORIG=\"o\"/>"
                "<MODULE ID=\"g\" PLATFORM=\"1\" BUILD=\"1\" TYPE=\"t\" FILE=\"f\" ORIG=\"o\"/>"
                "</snapshot><SNAPSHOT TIMESTAMP=\"x\"/></backup>");
  Open();
  CBackupStateArray snapshots;
  ASSERT_EQ(store_->LoadSnapshots(&snapshots), 0u);
  ASSERT_EQ(snapshots.GetSize(), 2);
  EXPECT_EQ(snapshots[0].GetTimestamp(), 0xFFu);
  EXPECT_EQ(snapshots[1].GetTimestamp(), 0u);
  const auto& modules = snapshots[0].GetModules();
  ASSERT_EQ(modules.GetSize(), 2);
  EXPECT_EQ(modules[0].id, 0x1Bu);
  EXPECT_EQ(modules[0].platform, 3u);
  EXPECT_EQ(modules[0].build, 0x123456789ABCDEF0u);
  EXPECT_EQ(std::string(modules[0].type), long_type.substr(0, 63));
  EXPECT_EQ(modules[0].file, "em026_64-1.dat");
  EXPECT_EQ(modules[0].orig, "em001.dat");
  EXPECT_EQ(modules[1].build, 0u) << "an empty number reads as 0";
}

TEST_F(BackupStoreTest, CopyNamesFollowIdWidthAndBuild) {
  struct Row {
    uint32_t id;
    uint32_t platform;
    uint64_t build;
    const char* name;
  };
  const Row rows[] = {
      {3, 1, 42, "em002_64-42.dat"},
      {3, 3, 42, "em002_64-42.dat"},
      {3, 0, 42, "em002_32-42.dat"},
      {3, 2, 42, "em002_32-42.dat"},
      {1000, 1, 7, "em999_64-7.dat"},
      {1001, 1, 7, "em1000_64-7.dat"},
      {1, 1, 0x100000000, "em000_64-4294967296.dat"},
  };
  for (const Row& row : rows) {
    UPDATER_BACKUP_MODULE_INFO module;
    module.id = row.id;
    module.platform = row.platform;
    module.build = row.build;
    EXPECT_EQ(BackupCopyName(module), row.name);
  }
}

// Copies of different modules never share a name, whatever the engine says
// of their ids and builds; a name keeps its plain form while it is free, and
// a module build held again shares its copy. Each copy holds the bytes of its
// own module as they were when it was taken.
TEST_F(BackupStoreTest, EveryModuleGetsACopyOfItsOwn) {
  const Scanned em001{"em001_64.dat", "em001_64", 300};
  const Scanned em002{"em002_64.dat", "em002_64", 300};
  const Scanned em003{"em003_64.dat", "em003_64", 300};
  struct Row {
    const char* name;
    std::vector<std::vector<Scanned>> snapshots;
    std::vector<std::vector<std::string>> files;
  };
  const Row rows[] = {
      {"ids, widths and builds apart keep their names",
       {{{"em001.dat", "scan64", 300},
         {"em004.dat", "other64", 300, 1, 5},
         {"em005.dat", "scan", 300, 0},
         {"em006.dat", "scan64", 301}}},
       {{"em002_64-300.dat", "em004_64-300.dat", "em002_32-300.dat", "em002_64-301.dat"}}},
      {"two modules of one id and build",
       {{em001, em002}},
       {{"em002_64-300.dat", "em002_64-300_1.dat"}}},
      {"three of them",
       {{em001, em002, em003}},
       {{"em002_64-300.dat", "em002_64-300_1.dat", "em002_64-300_2.dat"}}},
      {"another module in a later snapshot",
       {{em001}, {em002}},
       {{"em002_64-300.dat"}, {"em002_64-300_1.dat"}}},
      {"the same builds again share their copies",
       {{em001, em002}, {em002, em001}},
       {{"em002_64-300.dat", "em002_64-300_1.dat"}, {"em002_64-300_1.dat", "em002_64-300.dat"}}},
      {"one name on two 64-bit platforms",
       {{{"em001.dat", "scan64", 300, 1}}, {{"em001.dat", "scan64", 300, 3}}},
       {{"em002_64-300.dat"}, {"em002_64-300_1.dat"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_EQ(store_->PruneSnapshots(false), 0u);
    std::map<std::string, std::string> bytes_of_copy;
    for (const std::vector<Scanned>& modules : row.snapshots) {
      CListBase components;
      std::vector<std::string> contents;
      for (const Scanned& module : modules) contents.push_back(Add(components, module));
      ASSERT_EQ(store_->CreateSnapshot(components, kKeepAll), 0u);
      CBackupStateArray snapshots;
      ASSERT_EQ(store_->LoadSnapshots(&snapshots), 0u);
      const auto& stored = snapshots[snapshots.GetSize() - 1].GetModules();
      ASSERT_EQ(static_cast<size_t>(stored.GetSize()), modules.size());
      for (size_t i = 0; i < modules.size(); ++i) {
        bytes_of_copy.emplace(stored[i].file, contents[i]);
        EXPECT_EQ(bytes_of_copy.at(stored[i].file), contents[i]) << "one copy, two modules";
      }
    }
    CBackupStateArray snapshots;
    ASSERT_EQ(store_->LoadSnapshots(&snapshots), 0u);
    std::vector<std::vector<std::string>> files;
    for (const CBackupState& snapshot : snapshots) {
      files.emplace_back();
      for (const auto& module : snapshot.GetModules()) files.back().push_back(module.file);
    }
    EXPECT_EQ(files, row.files);
    std::set<std::string> entries = {"config.xml", "db.xml"};
    for (const auto& [file, bytes] : bytes_of_copy) {
      entries.insert(file);
      EXPECT_EQ(ReadFile(Backup() + "/" + file), bytes) << file;
    }
    EXPECT_EQ(BackupEntries(), entries);
  }
}

// The engine stand-in gives every module id 3: two modules at one build, one
// of them patched after the snapshot, come back each with its own bytes.
TEST_F(BackupStoreTest, RollbackGivesModulesOfOneIdAndBuildTheirOwnBytes) {
  CListBase components;
  const std::string em001 = Add(components, {"em001_64.dat", "em001_64", 300});
  const std::string em002 = Add(components, {"em002_64.dat", "em002_64", 300});
  ASSERT_EQ(store_->CreateSnapshot(components, kKeepAll), 0u);
  WriteFile(Modules() + "/em001_64.dat", "em001_64 patched to 301");

  ASSERT_EQ(store_->RestoreSnapshot(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em001_64.dat"), em001);
  EXPECT_EQ(ReadFile(Modules() + "/em002_64.dat"), em002);
}

// A database written before copies were kept apart may name one copy for
// two modules. The copy stays for the entries that name it, but a new
// snapshot shares it with neither: each module gets a copy of its own.
TEST_F(BackupStoreTest, ACopyNamedForTwoModulesIsSharedNoMore) {
  WriteFile(Backup() + "/em002_64-300.dat", "em001_64 at 300");
  WriteFile(Backup() + "/db.xml",
            "<BACKUP VERSION=\"2\"><SNAPSHOT TIMESTAMP=\"10\">"
            "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"12C\" TYPE=\"em001_64\" "
            "FILE=\"em002_64-300.dat\" ORIG=\"em001_64.dat\"/>"
            "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"12C\" TYPE=\"em002_64\" "
            "FILE=\"em002_64-300.dat\" ORIG=\"em002_64.dat\"/>"
            "</SNAPSHOT></BACKUP>");
  Open();
  CListBase components;
  const std::string em001 = Add(components, {"em001_64.dat", "em001_64", 300});
  const std::string em002 = Add(components, {"em002_64.dat", "em002_64", 300});
  ASSERT_EQ(store_->CreateSnapshot(components, kKeepAll), 0u);

  CBackupStateArray snapshots;
  ASSERT_EQ(store_->LoadSnapshots(&snapshots), 0u);
  ASSERT_EQ(snapshots.GetSize(), 2);
  const auto& taken = snapshots[1].GetModules();
  ASSERT_EQ(taken.GetSize(), 2);
  EXPECT_EQ(taken[0].file, "em002_64-300_1.dat");
  EXPECT_EQ(taken[1].file, "em002_64-300_2.dat");
  EXPECT_EQ(ReadFile(Backup() + "/em002_64-300_1.dat"), em001);
  EXPECT_EQ(ReadFile(Backup() + "/em002_64-300_2.dat"), em002);
  EXPECT_EQ(ReadFile(Backup() + "/em002_64-300.dat"), "em001_64 at 300") << "still named";
}

// A removed snapshot takes only the copies that no remaining entry names as
// its FILE; which module an entry describes does not keep a copy, and a file
// no entry names is not touched.
TEST_F(BackupStoreTest, RemovalDeletesOnlyCopiesNoEntryNames) {
  auto module = [](const char* type, const char* file) {
    return std::string("<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"12C\" TYPE=\"") + type +
           "\" FILE=\"" + file + "\" ORIG=\"" + type + ".dat\"/>";
  };
  const std::set<std::string> copies = {"em002_64-300.dat", "em002_64-300_1.dat",
                                        "em002_64-300_2.dat"};
  struct Row {
    const char* name;
    std::string removed;  // the snapshot removed
    std::string kept;     // the one that stays
    std::set<std::string> deleted;
  };
  const Row rows[] = {
      {"a numbered copy still named stays",
       module("em001_64", "em002_64-300.dat") + module("em002_64", "em002_64-300_1.dat"),
       module("em002_64", "em002_64-300_1.dat"),
       {"em002_64-300.dat"}},
      {"a copy another module's entry names stays",
       module("em001_64", "em002_64-300.dat"),
       module("em002_64", "em002_64-300.dat"),
       {}},
      {"the same module under another copy keeps nothing",
       module("em001_64", "em002_64-300.dat"),
       module("em001_64", "em002_64-300_1.dat"),
       {"em002_64-300.dat"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const std::string& file : copies) WriteFile(Backup() + "/" + file, file);
    WriteFile(Backup() + "/db.xml", "<BACKUP VERSION=\"2\"><SNAPSHOT TIMESTAMP=\"10\">" +
                                        row.removed + "</SNAPSHOT><SNAPSHOT TIMESTAMP=\"20\">" +
                                        row.kept + "</SNAPSHOT></BACKUP>");
    Open();
    ASSERT_EQ(store_->RemoveSnapshot(0x10, false), 0u);
    std::set<std::string> left = {"config.xml", "db.xml"};
    for (const std::string& file : copies) {
      if (row.deleted.count(file) == 0) left.insert(file);
    }
    EXPECT_EQ(BackupEntries(), left);
    for (const std::string& file : copies) fs::remove(Backup() + "/" + file);
  }
}

// A plain name whose snapshot went is free again, while a numbered copy
// still named stays shared by its module.
TEST_F(BackupStoreTest, AFreedNameIsTakenAgain) {
  WriteFile(Backup() + "/em002_64-300_1.dat", "em002_64 kept");
  WriteFile(Backup() + "/db.xml",
            "<BACKUP VERSION=\"2\"><SNAPSHOT TIMESTAMP=\"20\">"
            "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"12C\" TYPE=\"em002_64\" "
            "FILE=\"em002_64-300_1.dat\" ORIG=\"em002_64.dat\"/></SNAPSHOT></BACKUP>");
  Open();
  CListBase components;
  const std::string em001 = Add(components, {"em001_64.dat", "em001_64", 300});
  Add(components, {"em002_64.dat", "em002_64", 300});
  ASSERT_EQ(store_->CreateSnapshot(components, kKeepAll), 0u);

  CBackupStateArray snapshots;
  ASSERT_EQ(store_->LoadSnapshots(&snapshots), 0u);
  ASSERT_EQ(snapshots.GetSize(), 2);
  ASSERT_EQ(snapshots[1].GetModules().GetSize(), 2);
  EXPECT_EQ(snapshots[1].GetModules()[0].file, "em002_64-300.dat");
  EXPECT_EQ(snapshots[1].GetModules()[1].file, "em002_64-300_1.dat");
  EXPECT_EQ(ReadFile(Backup() + "/em002_64-300.dat"), em001);
  EXPECT_EQ(ReadFile(Backup() + "/em002_64-300_1.dat"), "em002_64 kept");
}

TEST_F(BackupStoreTest, ModulePathsMustStayInTheirFolder) {
  struct Row {
    const char* path;
    bool module_path;
    bool copy_name;
  };
  const Row rows[] = {
      {"em002.dat", true, true},   {"sub/em002.dat", true, false}, {"..", false, false},
      {"../em.dat", false, false}, {"a/../../em", false, false},   {"/etc/passwd", false, false},
      {"", false, false},          {"a..b.dat", true, true},       {"sub/", false, false},
      {".", false, false},         {"a//b", false, false},         {"./em002.dat", false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(IsSafeModulePath(row.path), row.module_path);
    EXPECT_EQ(IsSafeCopyName(row.path), row.copy_name);
  }
}

// The modules of a server group that is used again come back from where
// they were parked, unless what is installed is as new.
class GroupParking : public BackupStoreTest {
 protected:
  void SetUp() override {
    BackupStoreTest::SetUp();
    engine_.ServeThrough(host_);
    const std::string store = "file://" + dir_.file("settings.ini");
    std::memcpy(host_.settings()->settingsStore, store.c_str(), store.size() + 1);
  }

  std::string Park(const std::string& group, const std::string& file, const char* name,
                   uint32_t build) {
    const std::string content = testhost::ModuleFileText({name, 3, 1, build, "v"});
    WriteCreating(Backup() + "/" + group + "/" + file, content);
    return content;
  }

  // The installed module record the engine gives for a module file.
  void Installed(CListBase& list, const std::string& file, const char* name, uint32_t build) {
    WriteFile(Modules() + "/" + file, testhost::ModuleFileText({name, 3, 1, build, "v"}));
    _COMPONENT_INFO record;
    record.flags = kComponentModuleFile;
    record.category = kCategoryEngine;
    SafeStrCopy(record.module, sizeof record.module, (std::string(name) + "64").c_str());
    record.platform = 1;
    record.build = build;
    record.localFile = Modules() + "/" + file;
    list.Add(record);
  }

  testhost::EventHost host_;
  testhost::EngineStandIn engine_;
  const ENGINE_DISPATCH engine_pair_ = engine_.dispatch();
};

TEST_F(GroupParking, NewerParkedModulesComeBackAndTheFolderGoes) {
  CListBase list;
  Installed(list, "em002.dat", "scan", 5);
  Installed(list, "em003.dat", "keep", 9);
  const std::string newer = Park("Release", "em002.dat", "scan", 6);
  Park("Release", "em003.dat", "keep", 9);
  const std::string absent = Park("Release", "em004.dat", "fresh", 1);
  WriteCreating(Backup() + "/Release/em005.dat", "unreadable");

  ASSERT_EQ(CleanupModulesForGroup(*store_, host_.settings(), &engine_pair_, list), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), newer);
  EXPECT_EQ(ReadFile(Modules() + "/em003.dat"), testhost::ModuleFileText({"keep", 3, 1, 9, "v"}));
  EXPECT_EQ(ReadFile(Modules() + "/em004.dat"), absent);
  EXPECT_FALSE(fs::exists(Modules() + "/em005.dat"));
  EXPECT_FALSE(fs::exists(Backup() + "/Release"));
  ASSERT_EQ(list.GetSize(), 3);
  EXPECT_EQ(list[0].build, 6u);
  EXPECT_EQ(list[0].localFile, Modules() + "/em002.dat");
  EXPECT_EQ(list[2].localFile, Modules() + "/em004.dat");
  EXPECT_STREQ(list[2].module, "fresh64");
  EXPECT_TRUE(engine_.counts().Balanced());
}

TEST_F(GroupParking, TheStoredGroupIsUsedAndOddNamesTouchNothing) {
  CListBase list;
  Park("Beta", "em002.dat", "scan", 2);
  Park("Release", "em003.dat", "other", 2);
  WriteFile(dir_.file("settings.ini"), "[Settings]\r\nUpdateServerGroup=Beta\r\n");
  ASSERT_EQ(CleanupModulesForGroup(*store_, host_.settings(), &engine_pair_, list), 0u);
  EXPECT_TRUE(fs::exists(Modules() + "/em002.dat"));
  EXPECT_FALSE(fs::exists(Modules() + "/em003.dat"));
  EXPECT_TRUE(fs::exists(Backup() + "/Release/em003.dat"));

  for (const char* group : {"..", ".", "a/b", "../backup", ""}) {
    SCOPED_TRACE(group);
    WriteFile(dir_.file("settings.ini"),
              std::string("[Settings]\r\nUpdateServerGroup=") + group + "\r\n");
    EXPECT_EQ(CleanupModules(*store_, &engine_pair_, group, list), 0u);
    EXPECT_TRUE(fs::exists(Backup() + "/config.xml"));
    EXPECT_TRUE(fs::exists(Backup() + "/Release/em003.dat"));
  }
}

TEST_F(GroupParking, InstalledModulesAreParkedByTheirPath) {
  CListBase list;
  Installed(list, "em002.dat", "scan", 5);
  store_->SaveComponentFile(list[0], "Beta");
  EXPECT_EQ(ReadFile(Backup() + "/Beta/em002.dat"), ReadFile(Modules() + "/em002.dat"));
  store_->SaveComponentFile(list[0], "..");
  EXPECT_FALSE(fs::exists(dir_.file("data/em002.dat")));
}

}  // namespace
}  // namespace upd::test
