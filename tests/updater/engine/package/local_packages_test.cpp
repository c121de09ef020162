#include "updater/engine/package/local_packages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../package_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

class LocalPackages : public PackageFolderTest {
 protected:
  std::string Updfiles(const std::string& name = "") const {
    return name.empty() ? Path("updfiles") : Path("updfiles/" + name);
  }
};

constexpr uint32_t kLocal = kComponentHasBuild | kComponentPresent;

TEST_F(LocalPackages, NupFoldersGiveTheirEnginePackagesWithTheirFolderFlags) {
  ASSERT_TRUE(MakePackage(Updfiles("root.nup"), EngineKeys("em001_64")));
  ASSERT_TRUE(MakePackage(Updfiles("continuous/c.nup"), EngineKeys("em002_64", {"build=2"})));
  ASSERT_TRUE(MakePackage(Updfiles("preliminary/p.nup"), EngineKeys("em003_64", {"build=3"})));
  ASSERT_TRUE(MakePackage(Updfiles("reverse/r.nup"), EngineKeys("em004_64", {"build=4"})));
  ASSERT_TRUE(MakePackage(Updfiles("tempMirror/m.nup"), EngineKeys("em005_64")));
  ASSERT_TRUE(MakePackage(Updfiles("dll.nup"),
                          {"category=dll", "platform=x64", "type=lib", "filename=lib.so"}));
  WriteFile(Updfiles("continuous/corrupt.nup"), "not a package");

  CListBase list;
  list.Add(_COMPONENT_INFO());
  EXPECT_EQ(ScanNupFolders(list, Updfiles().c_str()), 4u);
  EXPECT_EQ(SeenOf(list),
            (std::vector<Seen>{
                {"", "", 0},
                {"em001_64", Updfiles("root.nup"), kLocal},
                {"em002_64", Updfiles("continuous/c.nup"), kLocal},
                {"em003_64", Updfiles("preliminary/p.nup"),
                 kComponentHasBuild | kComponentPresent | kComponentPreliminaryFolder},
                {"em004_64", Updfiles("reverse/r.nup"), kLocal},
            }));
  EXPECT_TRUE(fs::exists(Updfiles("dll.nup")));
  EXPECT_FALSE(fs::exists(Updfiles("continuous/corrupt.nup")));
}

TEST_F(LocalPackages, TheMirrorScansItsFoldersForEveryCategoryOnce) {
  ASSERT_TRUE(MakePackage(Updfiles("root.nup"), EngineKeys("em001_64", {"build=1"})));
  fs::create_directories(Updfiles("tempMirror"));
  fs::copy_file(Updfiles("root.nup"), Updfiles("tempMirror/copy.nup"));
  ASSERT_TRUE(MakePackage(
      Updfiles("tempMirrorPCU/app.nup"),
      {"category=component", "platform=winnt64", "type=app", "filename=app.bin", "version=1.2"}));
  ASSERT_TRUE(MakePackage(Updfiles("reverse/lib.nup"),
                          {"category=dll", "platform=x64", "type=lib", "filename=lib.so"}));
  ASSERT_TRUE(MakePackage(Updfiles("preliminary/p.nup"), EngineKeys("em003_64")));

  CListBase list;
  EXPECT_EQ(ScanMirrorNupFolders(list, Updfiles().c_str()), 3u);
  EXPECT_EQ(SeenOf(list), (std::vector<Seen>{
                              {"em001_64", Updfiles("root.nup"), kLocal},
                              {"lib", Updfiles("reverse/lib.nup"), kLocal},
                              {"app", Updfiles("tempMirrorPCU/app.nup"), kLocal},
                          }));
}

}  // namespace
}  // namespace upd::test
