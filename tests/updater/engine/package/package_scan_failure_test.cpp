#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "../package_fixture.h"
#include "platform/util/update_errors.h"
#include "support/small_tmpfs.h"
#include "updater/engine/package/package_scan.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// The header is parsed in memory, so a scan needs no temporary space: with
// the temporary folder missing or full it reads every package as it would
// otherwise, and deletes only those it found invalid.
class PackageScanFailureTest : public PackageFolderTest {
 protected:
  void SetUp() override {
    PackageFolderTest::SetUp();
    ASSERT_TRUE(MakePackage(Folder() + "/genuine.nup", EngineKeys("em001_64"), true));
    ASSERT_TRUE(
        MakePackage(Folder() + "/foreign.nup", EngineKeys("em002_64", {"--foreign"}), true));
    ASSERT_TRUE(MakePackage(Folder() + "/bad-crc.nup",
                            EngineKeys("em003_64", {"--corrupt-payload"}), true));
  }

  std::string Folder() const { return Path("packages"); }

  void ExpectScannedAsUsual() {
    const struct {
      const char* name;
      UPD_ERROR expected;
    } kPackages[] = {
        {"genuine.nup", kUpdOk},
        {"foreign.nup", kUpdSignatureMismatch},
        {"bad-crc.nup", kUpdBadFile},
    };
    for (const auto& package : kPackages) {
      SCOPED_TRACE(package.name);
      _COMPONENT_INFO record;
      EXPECT_EQ(ReadUpdateInfoSection((Folder() + "/" + package.name).c_str(), &record, false),
                package.expected);
    }
    // Headers alone: every package is listed and none deleted.
    CListBase headers;
    EXPECT_EQ(ScanFolderToList(Folder().c_str(), &headers, 0, {.skipSignature = true}), 3u);
    for (const auto& package : kPackages) {
      EXPECT_TRUE(fs::exists(Folder() + "/" + package.name)) << package.name;
    }
    // Checked whole: the genuine package alone stays.
    CListBase checked;
    EXPECT_EQ(ScanFolderToList(Folder().c_str(), &checked, 0, {.skipSignature = false}), 1u);
    for (const auto& package : kPackages) {
      EXPECT_EQ(fs::exists(Folder() + "/" + package.name), package.expected == kUpdOk)
          << package.name;
    }
  }
};

TEST_F(PackageScanFailureTest, WithoutATemporaryFolder) {
  ASSERT_EQ(setenv("TMPDIR", Path("missing").c_str(), 1), 0);
  ExpectScannedAsUsual();
  EXPECT_FALSE(fs::exists(Path("missing")));
}

TEST_F(PackageScanFailureTest, WithAFullTemporaryFolder) {
  SmallTmpfs small(Path("full"), "16k");
  if (!small.mounted()) GTEST_SKIP() << "tmpfs cannot be mounted here";
  // Fill the file system to its last block.
  (void)RunCommand("dd if=/dev/zero of='" + Path("full") + "/filler' bs=1k 2>/dev/null");
  ASSERT_EQ(setenv("TMPDIR", Path("full").c_str(), 1), 0);
  ExpectScannedAsUsual();
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("full")), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace upd::test
