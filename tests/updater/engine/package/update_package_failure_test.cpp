#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/util/update_errors.h"
#include "support/sign_kit.h"
#include "support/small_tmpfs.h"
#include "support/temp_dir.h"
#include "updater/engine/package/opened_package.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

class UpdatePackageFailureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 random(3);
    std::string payload(300000, '\0');
    for (char& c : payload) c = static_cast<char>(random());
    WriteFile(dir_.file("payload.bin"), payload);
    ASSERT_TRUE(SignKit({"nup", dir_.file("genuine.nup"), dir_.file("payload.bin"),
                         "filename=em000_64.dat", "build=7"}));
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  TempDir dir_;
};

// The header is parsed in memory: a package opens and its payload is
// written without any temporary folder.
TEST_F(UpdatePackageFailureTest, NoTemporaryFolder) {
  ASSERT_EQ(setenv("TMPDIR", dir_.file("missing").c_str(), 1), 0);
  const Result<OpenedPackage> opened =
      OpenedPackage::Open(dir_.file("genuine.nup").c_str(), PackageRead::kPayload, false);
  ASSERT_TRUE(opened.ok()) << opened.code();
  EXPECT_EQ(opened->info().Int("build", 0), 7);
  EXPECT_EQ(opened->WritePayload(dir_.file("out").c_str()), kUpdOk);
  EXPECT_EQ(fs::file_size(dir_.file("out")), 300000u);
}

// A payload that does not fit on its file system is reported as a full disk
// and leaves no partial module behind; the opened package stays usable.
TEST_F(UpdatePackageFailureTest, PayloadOnAFullDisk) {
  fs::create_directory(dir_.file("tmp"));
  ASSERT_EQ(setenv("TMPDIR", dir_.file("tmp").c_str(), 1), 0);
  SmallTmpfs small(dir_.file("mnt"), "64k");
  if (!small.mounted()) GTEST_SKIP() << "tmpfs cannot be mounted here";
  const std::string out = dir_.file("mnt") + "/em000_64.dat";
  const Result<OpenedPackage> opened =
      OpenedPackage::Open(dir_.file("genuine.nup").c_str(), PackageRead::kPayload, false);
  ASSERT_TRUE(opened.ok()) << opened.code();
  EXPECT_EQ(opened->WritePayload(out.c_str()), kUpdDiskFull);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(opened->WritePayload(dir_.file("out").c_str()), kUpdOk);
  EXPECT_EQ(fs::file_size(dir_.file("out")), 300000u);
}

}  // namespace
}  // namespace upd::test
