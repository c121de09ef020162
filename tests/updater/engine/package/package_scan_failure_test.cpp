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

// A failure of this machine says nothing about the packages: a scan that
// cannot write the header's temporary file must keep every package, even
// those it would find invalid, since it never got to look at them.
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

  void ExpectNothingDeleted(UPD_ERROR expected) {
    for (const char* name : {"genuine.nup", "foreign.nup", "bad-crc.nup"}) {
      SCOPED_TRACE(name);
      _COMPONENT_INFO record;
      EXPECT_EQ(ReadUpdateInfoSection((Folder() + "/" + name).c_str(), &record, false), expected);
    }
    for (const bool skip_signature : {true, false}) {
      CListBase list;
      EXPECT_EQ(ScanFolderToList(Folder().c_str(), &list, 0, {.skipSignature = skip_signature}),
                0u);
      EXPECT_EQ(list.GetSize(), 0);
    }
    for (const char* name : {"genuine.nup", "foreign.nup", "bad-crc.nup"}) {
      EXPECT_TRUE(fs::exists(Folder() + "/" + name)) << name;
    }
  }
};

TEST_F(PackageScanFailureTest, WithoutATemporaryFolderNothingIsDeleted) {
  ASSERT_EQ(setenv("TMPDIR", Path("missing").c_str(), 1), 0);
  ExpectNothingDeleted(kUpdTempFileFailed);
}

TEST_F(PackageScanFailureTest, WithAFullTemporaryFolderNothingIsDeleted) {
  SmallTmpfs small(Path("full"), "16k");
  if (!small.mounted()) GTEST_SKIP() << "tmpfs cannot be mounted here";
  // Fill the file system to its last block.
  (void)RunCommand("dd if=/dev/zero of='" + Path("full") + "/filler' bs=1k 2>/dev/null");
  ASSERT_EQ(setenv("TMPDIR", Path("full").c_str(), 1), 0);
  ExpectNothingDeleted(kUpdDiskFull);
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("full")), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace upd::test
