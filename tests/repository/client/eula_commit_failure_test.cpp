#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "eula_entries.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "repository/client/eula_manager.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;
using Entry = EulaManager::EulaFileEntry;

// The second entry's target is a folder, so its new file cannot go there:
// the first file goes back to its temporary name, the old first file comes
// back from its backup, and the failing move's code (here that of its copy
// fallback) is returned.
TEST(EulaCommitFailure, ASecondMoveThatFailsRestoresTheFirstTarget) {
  TempDir dir;
  std::vector<Entry> entries = TwoNewAgreements(dir);
  WriteFile(entries[0].target, "old licence");
  fs::create_directory(entries[1].target);
  WriteFile(entries[1].target + "/inside", "kept");

  UPD_ERROR result = EulaManager::Commit(entries);
  EXPECT_EQ(result, kUpdCopyFailed);
  EXPECT_EQ(ReadFile(entries[0].target), "old licence");
  EXPECT_FALSE(fs::exists(entries[0].backup));
  EXPECT_EQ(ReadFile(entries[0].temporary), "new licence");
  // The folder is no agreement file: it is neither moved aside nor touched.
  EXPECT_FALSE(fs::exists(entries[1].backup));
  EXPECT_EQ(ReadFile(entries[1].target + "/inside"), "kept");
  EXPECT_EQ(ReadFile(entries[1].temporary), "new privacy");
}

// Fails the move onto the second target and every restore from a backup.
UPD_ERROR FailingMove(const char* from, const char* to, uint32_t flags) {
  const std::string source(from);
  const std::string target(to);
  if (target.ends_with("privacy.txt") && source.ends_with(".tmp")) return kUpdMoveFailed;
  if (source.ends_with(".old")) return kUpdCopyFailed;
  return FileMove(from, to, flags);
}

TEST(EulaCommitFailure, ABackupWhoseRestoreFailsStaysOnDisk) {
  TempDir dir;
  std::vector<Entry> entries = TwoNewAgreements(dir);
  WriteFile(entries[0].target, "old licence");
  EXPECT_EQ(EulaManager::Commit(entries, FailingMove), kUpdMoveFailed);
  EXPECT_EQ(ReadFile(entries[0].backup), "old licence");
  EXPECT_EQ(ReadFile(entries[0].temporary), "new licence");
}

}  // namespace
}  // namespace upd::test
