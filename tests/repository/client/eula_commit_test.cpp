#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "eula_entries.h"
#include "platform/util/update_errors.h"
#include "repository/client/eula_manager.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;
using Entry = EulaManager::EulaFileEntry;

TEST(EulaCommit, EveryFileIsPlacedAndItsBackupRemoved) {
  TempDir dir;
  std::vector<Entry> entries = TwoNewAgreements(dir);
  WriteFile(entries[0].target, "old licence");
  // The second target does not exist yet: it gets no backup.
  ASSERT_EQ(EulaManager::Commit(entries), kUpdOk);
  EXPECT_EQ(ReadFile(entries[0].target), "new licence");
  EXPECT_EQ(ReadFile(entries[1].target), "new privacy");
  for (const Entry& entry : entries) {
    EXPECT_TRUE(entry.temporary.empty()) << "the placed file must not be deleted as temporary";
    EXPECT_FALSE(fs::exists(entry.backup));
  }
  EXPECT_EQ(entries[0].flags, EulaManager::kBackedUp | EulaManager::kPlaced);
  EXPECT_EQ(entries[1].flags, uint32_t{EulaManager::kPlaced});
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(EulaCommit, NothingToPlaceIsNothingToDo) {
  std::vector<Entry> entries;
  EXPECT_EQ(EulaManager::Commit(entries), kUpdNothingToDo);
}

}  // namespace
}  // namespace upd::test
