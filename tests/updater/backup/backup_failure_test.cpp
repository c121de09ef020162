#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "backup_fixture.h"
#include "support/small_tmpfs.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// Entries of a folder whose names end in suffix.
std::vector<std::string> EntriesEndingIn(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

// Two snapshots of two modules, then newer modules installed: what a failed
// rollback must leave exactly as it found it.
class RollbackFailure : public BackupFixture {
 protected:
  void SetUp() override {
    BackupFixture::SetUp();
    for (uint32_t build = 1; build <= 2; ++build) {
      Install("em002.dat", Module("scan", build));
      Install("em003.dat", Module("other", build, 4));
      ASSERT_EQ(Snapshot(), 0u);
    }
    scan_ = Install("em002.dat", Module("scan", 3));
    other_ = Install("em003.dat", Module("other", 3, 4));
    database_ = ReadFile(Database());
    entries_ = BackupEntries();
  }

  void ExpectNothingChanged() {
    EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), scan_);
    EXPECT_EQ(ReadFile(Modules() + "/em003.dat"), other_);
    EXPECT_TRUE(EntriesEndingIn(Modules(), ".restore").empty());
    EXPECT_TRUE(EntriesEndingIn(Modules(), ".replaced").empty());
    EXPECT_EQ(ReadFile(Database()), database_);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(LIB(UpdBackupIsUpdateBlocked)(context_, nullptr), 0);
  }

  std::string scan_;
  std::string other_;
  std::string database_;
  std::vector<std::string> entries_;
};

TEST_F(RollbackFailure, MissingCopyLeavesModulesAndSnapshotsAsTheyWere) {
  fs::remove(Backup() + "/em003_64-1.dat");
  entries_.erase(std::find(entries_.begin(), entries_.end(), "em003_64-1.dat"));
  EXPECT_EQ(Rollback(Now() + 3600), 0x101Au);
  ExpectNothingChanged();
  EXPECT_EQ(BackupEntries(), entries_);
}

// The second module cannot be swapped in (the name its old file would move
// to is taken by a folder): the first, already in place, goes back.
TEST_F(RollbackFailure, FailedSwapPutsEveryModuleBack) {
  WriteCreating(Modules() + "/em003.dat.replaced/blocker", "x");
  EXPECT_EQ(Rollback(Now() + 3600), 0x101Eu);
  fs::remove_all(Modules() + "/em003.dat.replaced");
  ExpectNothingChanged();
  EXPECT_EQ(BackupEntries(), entries_);

  ASSERT_EQ(Rollback(0), 0u) << "once the obstacle is gone";
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"),
            testhost::ModuleFileText(Module("scan", 1), "payload"));
  EXPECT_EQ(Count(), 1);
}

// Settings that no longer read block nothing and take no block: the
// rollback itself still succeeds, only its block time is lost.
TEST_F(RollbackFailure, UnreadableSettingsBlockNothing) {
  WriteFile(Config(), "<WEXA><SECTION>");
  EXPECT_EQ(Rollback(Now() + 3600), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"),
            testhost::ModuleFileText(Module("scan", 1), "payload"));
  EXPECT_EQ(LIB(UpdBackupIsUpdateBlocked)(context_, nullptr), 0);
  EXPECT_EQ(LIB(UpdBackupUnblockUpdate)(context_), 0x3104u);
  EXPECT_EQ(ReadFile(Config()), "<WEXA><SECTION>");
}

// A folder of the test's own mounted as a 64 KiB tmpfs before the library
// context is made on it.
class SmallDisk : public BackupFixture {
 protected:
  void Mount(const std::string& folder) {
    tmpfs_ = std::make_unique<SmallTmpfs>(folder, "64k");
    if (!tmpfs_->mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here (needs root)";
    BackupFixture::SetUp();
  }
  void TearDown() override {
    BackupFixture::TearDown();
    tmpfs_.reset();
  }

  std::unique_ptr<SmallTmpfs> tmpfs_;
};

class FullBackupDisk : public SmallDisk {
 protected:
  void SetUp() override { Mount(Backup()); }

  void ExpectNothingRecorded() {
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(BackupEntries(), std::vector<std::string>{"config.xml"});
    EXPECT_EQ(DumpXml(Config()).at(8), "      NODE NAME=LastBackupTime VALUE=0 TYPE=DWORD");
    EXPECT_TRUE(engine_.counts().Balanced());
  }
};

TEST_F(FullBackupDisk, SnapshotWhoseCopyFailsIsNotRecorded) {
  Install("em001.dat", Module("small", 1, 2), std::string(8 << 10, 's'));
  Install("em002.dat", Module("large", 1), std::string(200 << 10, 'l'));
  EXPECT_EQ(Snapshot(), 0x1020u);
  ExpectNothingRecorded();

  fs::remove(Modules() + "/em002.dat");
  ASSERT_EQ(Snapshot(), 0u) << "the disk itself still works";
  EXPECT_EQ(Count(), 1);
}

// The copies fit, the database written after them does not.
TEST_F(FullBackupDisk, SnapshotWhoseDatabaseCannotBeWrittenIsNotRecorded) {
  const size_t free_bytes = fs::space(Backup()).available;
  const std::string header = testhost::ModuleFileText(Module("fill", 1), "");
  Install("em002.dat", Module("fill", 1), std::string(free_bytes - header.size(), 'f'));
  EXPECT_EQ(Snapshot(), 0x1020u);
  ExpectNothingRecorded();
}

TEST_F(FullBackupDisk, SettingsThatCannotBeWrittenAreReported) {
  const std::string settings = ReadFile(Config());
  WriteFile(Backup() + "/filler", std::string(fs::space(Backup()).available, 'x'));
  EXPECT_EQ(LIB(UpdBackupUnblockUpdate)(context_), 0x3105u);
  EXPECT_EQ(ReadFile(Config()), settings);
  EXPECT_EQ(BackupEntries(), (std::vector<std::string>{"config.xml", "filler"}));
}

class FullModulesDisk : public SmallDisk {
 protected:
  void SetUp() override { Mount(Modules()); }
};

TEST_F(FullModulesDisk, RollbackThatDoesNotFitChangesNothing) {
  const std::string old_module =
      Install("em002.dat", Module("scan", 1), std::string(40 << 10, 'o'));
  ASSERT_EQ(Snapshot(), 0u);
  const std::string new_module = Install("em002.dat", Module("scan", 2), "small");
  WriteFile(Modules() + "/filler", std::string(fs::space(Modules()).available - (8 << 10), 'x'));
  const std::string database = ReadFile(Database());

  EXPECT_EQ(Rollback(Now() + 3600), 0x1020u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), new_module);
  EXPECT_TRUE(EntriesEndingIn(Modules(), ".restore").empty());
  EXPECT_EQ(ReadFile(Database()), database);
  EXPECT_EQ(LIB(UpdBackupIsUpdateBlocked)(context_, nullptr), 0);

  fs::remove(Modules() + "/filler");
  ASSERT_EQ(Rollback(0), 0u);
  EXPECT_EQ(ReadFile(Modules() + "/em002.dat"), old_module);
}

}  // namespace
}  // namespace upd::test
