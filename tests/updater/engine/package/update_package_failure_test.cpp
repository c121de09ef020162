#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "platform/util/update_errors.h"
#include "support/sign_kit.h"
#include "support/small_tmpfs.h"
#include "support/temp_dir.h"
#include "updater/engine/package/update_package.h"

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

TEST_F(UpdatePackageFailureTest, NoTemporaryFolder) {
  ASSERT_EQ(setenv("TMPDIR", dir_.file("missing").c_str(), 1), 0);
  char ini[4096] = "previous";
  EXPECT_EQ(ExtractUpdateInfoPackage(dir_.file("genuine.nup").c_str(), dir_.file("out").c_str(),
                                     ini, sizeof(ini), false),
            kUpdTempFileFailed);
  EXPECT_STREQ(ini, "");
  EXPECT_FALSE(fs::exists(dir_.file("out")));
}

// A payload that does not fit on its file system is reported as a full disk
// and leaves no partial module behind; the caller's INI file stays.
TEST_F(UpdatePackageFailureTest, PayloadOnAFullDisk) {
  fs::create_directory(dir_.file("tmp"));
  ASSERT_EQ(setenv("TMPDIR", dir_.file("tmp").c_str(), 1), 0);
  SmallTmpfs small(dir_.file("mnt"), "64k");
  if (!small.mounted()) GTEST_SKIP() << "tmpfs cannot be mounted here";
  const std::string out = dir_.file("mnt") + "/em000_64.dat";
  char ini[4096] = {};
  EXPECT_EQ(ExtractUpdateInfoPackage(dir_.file("genuine.nup").c_str(), out.c_str(), ini,
                                     sizeof(ini), false),
            kUpdDiskFull);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(fs::exists(ini));
}

}  // namespace
}  // namespace upd::test
