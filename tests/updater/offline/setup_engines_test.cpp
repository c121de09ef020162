#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "offline_fixture.h"
#include "platform/util/update_errors.h"

namespace upd::test {
namespace {

using SetupEnginesTest = OfflineFixture;

// A folder of packages: the best chain of each module of the named groups
// is installed straight into the modules folder; what is left out goes.
TEST_F(SetupEnginesTest, InstallsTheBestChainDirectlyAndDropsTheRest) {
  PutModule("em001_64", 100);
  PutModule("em002_64", 5);
  WriteFile(ModulePath("em003_64"),
            testhost::ModuleFileText({"em003_64", 3, 9, 1, "1.1"}, "other platform\n"));
  const std::string older = AddPackage(Full("em001_64", 150));
  const std::string full = AddPackage(Full("em001_64", 200));
  const std::string delta = AddPackage(Delta("em001_64", 1, 200, 300));
  const std::string other_group = AddPackage(Full("em002_64", 9).Group("beta"));
  const uint32_t before = static_cast<uint32_t>(std::time(nullptr));

  ASSERT_EQ(SetupEngines("engine,extra"), kUpdOk);

  EXPECT_EQ(ReadFile(ModulePath("em001_64")), ModuleContent("em001_64", 300));
  // The module of a group the host did not name loses its file; so does a
  // module of another platform.
  EXPECT_FALSE(fs::exists(ModulePath("em002_64")));
  EXPECT_FALSE(fs::exists(ModulePath("em003_64")));
  // Installed in place: no staging folder, no ".old" copy, no temporary folder.
  EXPECT_EQ(Files(Modules()).size(), 1u);
  EXPECT_EQ(std::distance(fs::directory_iterator(Modules()), fs::directory_iterator()), 1);
  for (const std::string& dropped : {older, other_group}) EXPECT_FALSE(fs::exists(dropped));
  for (const std::string& kept : {full, delta}) EXPECT_TRUE(fs::exists(kept));
  uint32_t stamp = 0;
  ASSERT_TRUE(StoredInstallTime(&stamp));
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, static_cast<uint32_t>(std::time(nullptr)));
}

TEST_F(SetupEnginesTest, AlreadyNewestInstallsNothingAndStillRecordsTheTime) {
  PutModule("em001_64", 300);
  const std::string full = AddPackage(Full("em001_64", 200));
  const std::string delta = AddPackage(Delta("em001_64", 1, 200, 300));

  ASSERT_EQ(SetupEngines(), kUpdNothingNew);

  EXPECT_EQ(ReadFile(ModulePath("em001_64")), ModuleContent("em001_64", 300));
  EXPECT_TRUE(fs::exists(full));
  EXPECT_TRUE(fs::exists(delta));
  uint32_t stamp = 0;
  EXPECT_TRUE(StoredInstallTime(&stamp));
}

// The folder's packages are checked whole before anything is chosen: a
// tampered one is deleted and its module stays as it was.
TEST_F(SetupEnginesTest, ATamperedPackageIsDeletedAndNotInstalled) {
  PutModule("em001_64", 100);
  const struct {
    const char* tamper;
  } cases[] = {{"flip-payload"}, {"flip-signature"}, {"truncate"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tamper);
    const std::string tampered = AddPackage(Full("em001_64", 200).Tamper(c.tamper));
    const std::string good = AddPackage(Full("em002_64", 7));

    ASSERT_EQ(SetupEngines(), kUpdOk);

    EXPECT_FALSE(fs::exists(tampered));
    EXPECT_EQ(ReadFile(ModulePath("em001_64")), ModuleContent("em001_64", 100));
    EXPECT_EQ(ReadFile(ModulePath("em002_64")), ModuleContent("em002_64", 7));
    fs::remove(good);
    fs::remove(ModulePath("em002_64"));
  }
}

// Without a package folder that can hold a context nothing starts.
TEST_F(SetupEnginesTest, FoldersTheContextCannotTakeGive0x3001) {
  EXPECT_EQ(LIB(UpdSetupEngines3)(host_.settings(), Modules().c_str(), Modules().c_str(), nullptr,
                                  "engine"),
            kUpdNoContext);
  EXPECT_EQ(LIB(UpdSetupEngines3)(host_.settings(), Modules().c_str(), "", Packages().c_str(),
                                  "engine"),
            kUpdNoContext);
  uint32_t stamp = 0;
  EXPECT_FALSE(StoredInstallTime(&stamp));
}

}  // namespace
}  // namespace upd::test
