#include "updater/engine/lists/list_builder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../package_fixture.h"
#include "platform/os/os_time.h"
#include "platform/util/host_binding.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"
#include "updater/engine/lists/list_reconcile.h"
#include "updater/engine/lists/update_groups.h"
#include "updater/engine/package/local_packages.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

using upd::testhost::EngineStandIn;
using upd::testhost::EventHost;
using upd::testhost::ModuleFacts;
using upd::testhost::ModuleFileText;

constexpr char kServer[] = "http://updates.example/v1/";
constexpr uint32_t kInstall = kComponentSelected | kComponentInstall;
// A catalogue entry read with a build and made absolute, to be installed.
constexpr uint32_t kOffered = kComponentHasBuild | kComponentResolved | kInstall;

// An engine section for module on x64 in the group "engine".
std::string Engine(const std::string& section, const std::string& module, const std::string& keys) {
  return "[" + section + "]\r\ncategory=engine\r\nplatform=x64\r\ngroup=engine\r\ntype=" + module +
         "\r\n" + keys;
}

// A build record made here, without a library context: the test's folders,
// its own lists and server location, a host that names the groups of
// groups_ and serves the engine stand-in, and no update attempted yet.
class ListBuilderTest : public PackageFolderTest {
 protected:
  void SetUp() override {
    PackageFolderTest::SetUp();
    engine_.ServeThrough(host_);
    host_.OnEvent(UPD_EVENT_UPDATE_GROUPS, [this](uint32_t, void* data) {
      SafeStrCopy(static_cast<char*>(data), UPD_GROUP_LIST_SIZE, groups_.c_str());
      return 0u;
    });
    fs::create_directories(Modules());
    fs::create_directories(Updfiles());
    host_binding_.settings = host_.settings();
    SafeStrCopy(host_binding_.updateFolder, UPD_PATH_SIZE, (Updfiles() + "/").c_str());
    SafeStrCopy(host_binding_.modulesFolder, UPD_PATH_SIZE, (Modules() + "/").c_str());
    SafeStrCopy(server_root_, UPD_PATH_SIZE, kServer);
    SafeStrCopy(base_url_, UPD_PATH_SIZE, kServer);
  }

  std::string Updfiles(const std::string& name = "") const {
    return name.empty() ? Path("updfiles") : Path("updfiles/" + name);
  }
  std::string Modules() const { return Path("modules"); }

  // The run's catalogue, built in memory as the catalogue step hands it on.
  void Catalogue(const std::string& text) {
    catalogue_ = ::Catalogue::FromText(text, CatalogueTrust::kUnchecked);
  }
  // An installed engine module of x64.
  void Install(const std::string& module, uint32_t build) {
    WriteFile(Modules() + "/" + module + ".dat",
              ModuleFileText(ModuleFacts{module, 3, 1, build, "v" + std::to_string(build)}));
  }

  ListBuild Record() {
    return {host_binding_,
            lists_,
            installed_,
            catalogue_,
            {base_url_, server_root_},
            last_attempt_,
            RunCancellation(abort_)};
  }
  UPD_ERROR Build() { return PrepareUpdateLists(Record(), ScanNupFolders, {}); }
  CUpdateLists& lists() { return lists_; }
  CInstalledModules& installed() { return installed_; }

  std::string groups_ = "engine";
  EventHost host_;
  EngineStandIn engine_;
  HostBinding host_binding_;
  CUpdateLists lists_;
  CInstalledModules installed_;
  ::Catalogue catalogue_;
  char base_url_[UPD_PATH_SIZE] = {};
  char server_root_[UPD_PATH_SIZE] = {};
  std::atomic<int64_t> last_attempt_{-1};
  std::atomic<uint8_t> abort_{0};
};

std::vector<std::string> ModuleNames(const CInstalledList& installed) {
  std::vector<std::string> names;
  for (const _INSTALLED_COMPONENT_INFO& module : installed) names.emplace_back(module.name);
  return names;
}

std::vector<std::string> Names(const CListBase& list) {
  std::vector<std::string> names;
  for (const _COMPONENT_INFO& entry : list) names.emplace_back(entry.name);
  return names;
}

TEST_F(ListBuilderTest, AnInstalledModuleGetsTheCataloguesNewerPackages) {
  Install("em001_64", 100);
  Catalogue(
      Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\nsize=1000\r\nfile=p/f200.nup\r\n") +
      Engine("em001_64_d", "em001_64",
             "build=300\r\nlevel=1\r\nbase=200\r\nsize=90\r\nfile=p/d300.nup\r\n") +
      Engine("em009_64", "em009_64", "build=7\r\nlevel=0\r\nfile=p/new.nup\r\n") +
      "[lib]\r\ncategory=dll\r\nplatform=x64\r\ngroup=engine\r\ntype=lib\r\nbuild=5\r\n");
  ASSERT_EQ(Build(), kUpdOk);

  ASSERT_EQ(installed().installedList.GetSize(), 2);
  const _INSTALLED_COMPONENT_INFO& module = installed().installedList[0];
  EXPECT_STREQ(module.name, "em001_64");
  EXPECT_EQ(module.build, 100u);
  EXPECT_EQ(module.flags, 0u);
  // A module the catalogue offers but this machine lacks comes at build 0.
  EXPECT_STREQ(installed().installedList[1].name, "em009_64");
  EXPECT_EQ(installed().installedList[1].build, 0u);

  const CUpdateList& updates = lists().updateList;
  EXPECT_EQ(Names(updates), (std::vector<std::string>{"em001_64", "em001_64_d", "em009_64"}));
  EXPECT_EQ(updates[0].url, std::string(kServer) + "p/f200.nup");
  EXPECT_EQ(updates[1].url, std::string(kServer) + "p/d300.nup");
  for (const _COMPONENT_INFO& entry : updates) EXPECT_EQ(entry.flags, kOffered) << entry.name;
  EXPECT_EQ(installed().flags, CInstalledModules::kEngineModuleReplaced);

  ASSERT_EQ(installed().baseNupList.GetSize(), 1);
  EXPECT_EQ(installed().baseNupList[0].flags, kComponentModuleFile);
  EXPECT_EQ(installed().baseNupList[0].build, 100u);
  EXPECT_EQ(engine_.counts().requests, 2u);  // installed modules, then base_nonnups
  EXPECT_TRUE(engine_.counts().Balanced());
}

// The host names "engine": a module offered to " engine" or to no group is
// not taken, so neither are its packages.
TEST_F(ListBuilderTest, OnlyModulesOfferedToTheHostsGroupsAreUpdated) {
  for (const char* module : {"em001_64", "em002_64", "em003_64"}) Install(module, 100);
  Catalogue(
      "[a]\r\ncategory=engine\r\nplatform=x64\r\ngroup=engine\r\ntype=em001_64\r\n"
      "build=200\r\nlevel=0\r\n"
      "[b]\r\ncategory=engine\r\nplatform=x64\r\ngroup= engine\r\ntype=em002_64\r\n"
      "build=200\r\nlevel=0\r\n"
      "[c]\r\ncategory=engine\r\nplatform=x64\r\ngroup=\r\ntype=em003_64\r\n"
      "build=200\r\nlevel=0\r\n");
  ASSERT_EQ(Build(), kUpdOk);
  EXPECT_EQ(ModuleNames(installed().installedList), (std::vector<std::string>{"em001_64"}));
  EXPECT_EQ(Names(lists().updateList), (std::vector<std::string>{"a"}));
}

TEST_F(ListBuilderTest, SettingsFlags40And80KeepEngineModulesOut) {
  Install("em001_64", 100);
  Catalogue(Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\n"));
  const struct {
    uint32_t flags;
    bool kept_out;
  } cases[] = {{0x40, true}, {0x80, true}, {0xC0, true}, {0x20, false}, {0x100, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.flags);
    lists().Clear();
    installed().Clear();
    host_.settings()->flags = c.flags;
    ASSERT_EQ(Build(), kUpdOk);
    ASSERT_EQ(installed().installedList.GetSize(), 1);
    if (c.kept_out) {
      EXPECT_EQ(lists().updateList.GetSize(), 0);
      EXPECT_EQ(installed().installedList[0].flags, kInstalledUpToDate);
      EXPECT_EQ(installed().flags, 0u);
    } else {
      EXPECT_EQ(lists().updateList.GetSize(), 1);
      EXPECT_EQ(installed().installedList[0].flags, 0u);
      EXPECT_EQ(installed().flags, CInstalledModules::kEngineModuleReplaced);
    }
  }
}

// Packages that bring the module no further lose their install marks and the
// module counts as up to date; a section without "level" is no full package
// and brings it nowhere.
TEST_F(ListBuilderTest, NothingIsInstalledWhenTheCatalogueBringsNothingNewer) {
  Install("em001_64", 100);
  const struct {
    const char* name;
    const char* keys;
    bool up_to_date;
  } cases[] = {
      {"newer", "build=200\r\nlevel=0\r\n", false},
      {"the same build", "build=100\r\nlevel=0\r\n", true},
      {"an older build", "build=50\r\nlevel=0\r\n", true},
      {"no level", "build=200\r\n", true},
      {"only a delta", "build=200\r\nlevel=1\r\nbase=100\r\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lists().Clear();
    installed().Clear();
    Catalogue(Engine("em001_64", "em001_64", c.keys));
    ASSERT_EQ(Build(), kUpdOk);
    ASSERT_EQ(lists().updateList.GetSize(), 1);
    EXPECT_EQ((lists().updateList[0].flags & kInstall) == 0, c.up_to_date);
    EXPECT_EQ(installed().installedList[0].flags, c.up_to_date ? kInstalledUpToDate : 0u);
    EXPECT_EQ(installed().flags,
              c.up_to_date ? 0u : uint32_t{CInstalledModules::kEngineModuleReplaced});
  }
}

// Continuous packages that reach the catalogue's build from the installed
// module: the smaller is chosen, the first of equal sizes; one from a base
// this machine lacks, one to another build and one of another spelling of the
// module are not candidates.
TEST_F(ListBuilderTest, TheSmallerContinuousPackageIsChosen) {
  Install("em001_64", 100);
  const struct {
    int size_a;
    int size_b;
    int chosen;
  } cases[] = {{300, 200, 1}, {200, 300, 0}, {200, 200, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.size_a) + " " + std::to_string(c.size_b));
    lists().Clear();
    installed().Clear();
    const std::string delta = "level=1\r\nbase=100\r\nbuild=200\r\n";
    Catalogue(
        Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\nsize=5000\r\n") +
        Engine("CONTINUOUS_a", "em001_64", delta + "size=" + std::to_string(c.size_a) + "\r\n") +
        Engine("CONTINUOUS_b", "em001_64", delta + "size=" + std::to_string(c.size_b) + "\r\n") +
        Engine("CONTINUOUS_c", "em001_64", "level=1\r\nbase=90\r\nbuild=200\r\nsize=1\r\n") +
        Engine("CONTINUOUS_d", "em001_64", "level=1\r\nbase=100\r\nbuild=190\r\nsize=1\r\n") +
        Engine("CONTINUOUS_e", "EM001_64", delta + "size=1\r\n"));
    ASSERT_EQ(Build(), kUpdOk);

    const _INSTALLED_COMPONENT_INFO& module = installed().installedList[0];
    EXPECT_EQ(module.chosen, static_cast<uint32_t>(c.chosen));
    EXPECT_EQ(module.flags, kInstalledPackageChosen | kInstalledBaseIsModuleFile);
    const CContinuousList& continuous = lists().continuousList;
    ASSERT_EQ(continuous.GetSize(), 5);
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ((continuous[k].flags & kInstall) != 0, k == c.chosen) << k;
    }
    EXPECT_EQ(continuous[c.chosen].basePath, Modules() + "/em001_64.dat");
    EXPECT_EQ(lists().updateList[0].flags & kInstall, 0u);
    EXPECT_EQ(installed().flags, CInstalledModules::kEngineModuleReplaced);
  }
}

TEST_F(ListBuilderTest, AContinuousPackageHeldLocallyIsTakenFromThere) {
  Install("em001_64", 100);
  const std::string held = Updfiles("continuous/zel00000001.nup");
  ASSERT_TRUE(MakePackage(
      held, EngineKeys("em001_64", {"name=CONTINUOUS_a", "build=200", "level=1", "base=100"})));
  Catalogue(Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\n") +
            Engine("CONTINUOUS_a", "em001_64",
                   "level=1\r\nbase=100\r\nbuild=200\r\nsize=5\r\nfile=c/a.nup\r\n"));
  ASSERT_EQ(Build(), kUpdOk);
  const _COMPONENT_INFO& chosen = lists().continuousList[0];
  EXPECT_EQ(chosen.flags & (kInstall | kComponentPresent), kInstall | kComponentPresent);
  EXPECT_EQ(PackageLocation(chosen), held);
}

// A local package equal to the catalogue's is installed from where it lies.
TEST_F(ListBuilderTest, ALocalPackageStandsInForTheCataloguesCopy) {
  Install("em001_64", 100);
  const std::string local = Updfiles("zel00000002.nup");
  ASSERT_TRUE(MakePackage(local, EngineKeys("em001_64", {"build=200", "level=0"})));
  const uint64_t size = fs::file_size(local);
  for (const bool same_size : {true, false}) {
    SCOPED_TRACE(same_size);
    lists().Clear();
    installed().Clear();
    Catalogue(Engine("em001_64", "em001_64",
                     "build=200\r\nlevel=0\r\nfile=f200.nup\r\nsize=" +
                         std::to_string(same_size ? size : size + 1) + "\r\n"));
    ASSERT_EQ(Build(), kUpdOk);
    const _COMPONENT_INFO& entry = lists().updateList[0];
    EXPECT_STREQ(entry.name, "em001_64");
    if (same_size) {
      EXPECT_EQ(PackageLocation(entry), local);
      EXPECT_EQ(entry.flags, kComponentHasBuild | kComponentPresent | kComponentInstall);
      EXPECT_STREQ(lists().localList[0].name, "em001_64");
    } else {
      EXPECT_EQ(PackageLocation(entry), std::string(kServer) + "f200.nup");
      EXPECT_EQ(entry.flags, kOffered);
    }
    // Full local packages are bases too.
    EXPECT_EQ(installed().baseNupList.GetSize(), 2);
    EXPECT_EQ(installed().flags, CInstalledModules::kEngineModuleReplaced);
  }
}

// "PRELIMINARY" closed: neither prob 2^31 nor a delay of all ones can pass.
constexpr char kClosedPreliminary[] =
    "[PRELIMINARY]\r\nUpdateProb=2147483648\r\nUpdateMaxDelay=4294967295\r\n";

TEST_F(ListBuilderTest, PreliminaryPackagesNewerThanTheLocalOnesAreSelected) {
  const std::string catalogue = Engine("PRELIMINARY_em001", "em001_64", "build=300\r\nlevel=0\r\n");
  const struct {
    const char* name;
    const char* local_build;  // null: no local package
    bool selected;
  } cases[] = {
      {"no local package", nullptr, true},
      {"an older local package", "200", true},
      {"a local package as new", "300", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lists().Clear();
    installed().Clear();
    fs::remove_all(Updfiles("preliminary"));
    if (c.local_build != nullptr) {
      ASSERT_TRUE(MakePackage(Updfiles("preliminary/zel00000003.nup"),
                              EngineKeys("em001_64", {"name=em001", "level=0",
                                                      std::string("build=") + c.local_build})));
    }
    Catalogue(catalogue);
    ASSERT_EQ(Build(), kUpdOk);
    ASSERT_EQ(lists().preliminaryList.GetSize(), 1);
    EXPECT_EQ((lists().preliminaryList[0].flags & kComponentSelected) != 0, c.selected);
    EXPECT_EQ(lists().preliminaryList[0].flags & kComponentResolved, kComponentResolved);
  }
  lists().Clear();
  installed().Clear();
  Catalogue(kClosedPreliminary + catalogue);
  ASSERT_EQ(Build(), kUpdOk);
  EXPECT_EQ(lists().preliminaryList.GetSize(), 0);
}

// "UpdateProb" 10 weakens to 0 after 25 hours: the preliminary gate opens.
TEST_F(ListBuilderTest, TenPercentTwentyFiveHoursAfterTheLastAttemptReadsPreliminaries) {
  Catalogue("[PRELIMINARY]\r\nUpdateProb=10\r\nUpdateMaxDelay=4294967295\r\n" +
            Engine("PRELIMINARY_em001", "em001_64", "build=300\r\nlevel=0\r\n"));
  last_attempt_ = OsTime() - 25 * 3600;
  ASSERT_EQ(Build(), kUpdOk);
  EXPECT_EQ(lists().preliminaryList.GetSize(), 1);
}

TEST_F(ListBuilderTest, ChannelListsAreResolvedAgainstTheServerRoot) {
  Catalogue(Engine("CONTINUOUS_a", "em001_64", "file=c/a.nup\r\n") +
            Engine("REVERSE_a", "em001_64", "file=/root/r.nup\r\n") +
            Engine("REVERSE_b", "em001_64", "file=data0000\r\n") +
            Engine("PRELIMINARY_a", "em001_64", "file=https://other.example/p.nup\r\n"));
  ASSERT_EQ(Build(), kUpdOk);
  EXPECT_EQ(lists().continuousList[0].url, std::string(kServer) + "c/a.nup");
  EXPECT_EQ(lists().reverseList[0].url, "http://updates.example/root/r.nup");
  EXPECT_EQ(lists().reverseList[1].url, "data0000");
  EXPECT_EQ(lists().preliminaryList[0].url, "https://other.example/p.nup");
}

TEST_F(ListBuilderTest, WithoutTheInstalledScanOnlyTheCatalogueDecides) {
  Install("em001_64", 100);
  Catalogue(Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\n"));
  host_.settings()->skipInstalledScan = 1;
  ASSERT_EQ(Build(), kUpdOk);
  EXPECT_EQ(installed().baseNupList.GetSize(), 0);
  EXPECT_EQ(installed().installedList[0].build, 0u);
  EXPECT_EQ(engine_.counts().requests, 1u);  // base_nonnups only
}

// The merge of referenced catalogues runs once, on the build's resolved
// lists; its result does not end the build.
TEST_F(ListBuilderTest, TheCatalogueMergeRunsOnceOnResolvedLists) {
  Install("em001_64", 100);
  Catalogue(Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\nfile=f.nup\r\n"));
  int merges = 0;
  const CUpdateLists* merged = nullptr;
  std::string file_at_merge;
  const ComponentCatalogueMerge record_merge = [&](CUpdateLists& lists) {
    ++merges;
    merged = &lists;
    file_at_merge = PackageLocation(lists.updateList[0]);
    return kUpdStopped;
  };
  ASSERT_EQ(PrepareUpdateLists(Record(), ScanNupFolders, record_merge), kUpdOk);
  EXPECT_EQ(merges, 1);
  EXPECT_EQ(merged, &lists());
  EXPECT_EQ(file_at_merge, std::string(kServer) + "f.nup");
}

TEST_F(ListBuilderTest, AnAbortEndsTheBuildWithItsCode) {
  Install("em001_64", 100);
  Catalogue(Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\n"));
  abort_ = 1;
  EXPECT_EQ(Build(), kUpdStopped);
  EXPECT_EQ(lists().updateList.GetSize(), 1);
}

TEST_F(ListBuilderTest, AMissingCatalogueGivesEmptyLists) {
  Install("em001_64", 100);
  ASSERT_EQ(Build(), kUpdOk);
  EXPECT_EQ(installed().installedList.GetSize(), 0);
  EXPECT_EQ(lists().updateList.GetSize(), 0);
  EXPECT_EQ(installed().flags, 0u);
}

// The reverse channel after the build: a package back from the installed
// build replaces the older local full package.
TEST_F(ListBuilderTest, ReverseReconcileFollowsTheBuild) {
  Install("em001_64", 200);
  ASSERT_TRUE(
      MakePackage(Updfiles("zel00000004.nup"), EngineKeys("em001_64", {"build=100", "level=0"})));
  Catalogue(Engine("em001_64", "em001_64", "build=200\r\nlevel=0\r\n") +
            Engine("REVERSE_em001", "em001_64", "build=150\r\nbase=200\r\nlevel=0\r\n"));
  ASSERT_EQ(Build(), kUpdOk);
  ReconcileReverseList(installed(), lists().updateList, lists().reverseList, lists().localList);
  EXPECT_EQ(lists().reverseList[0].flags & kInstall, kInstall);
  EXPECT_NE(lists().localList[0].flags & kComponentDropped, 0u);
}

class MirrorListsTest : public ListBuilderTest {
 protected:
  void SetUp() override {
    ListBuilderTest::SetUp();
    Catalogue(
        "[lib]\r\ncategory=dll\r\nplatform=x64\r\ntype=lib\r\nbuild=7\r\nfile=lib.nup\r\n"
        "[CONTINUOUS_lib]\r\ncategory=dll\r\nplatform=x64\r\ntype=lib\r\nbuild=8\r\n"
        "[REVERSE_lib]\r\ncategory=dll\r\nplatform=x64\r\ntype=lib\r\nbuild=6\r\n"
        "[em001_64]\r\ncategory=engine\r\nplatform=x64\r\ntype=em001_64\r\nbuild=5\r\n"
        "[app_a]\r\ncategory=component\r\nplatform=winnt64\r\nversion=1.0\r\nfile=a.nup\r\n"
        "[app_b]\r\ncategory=component\r\nplatform=winnt64\r\nversion=2.0\r\n"
        "[app_c]\r\ncategory=component\r\nplatform=winnt64\r\nversion=3.0\r\n");
    mirror_ = host_.mirror_settings();
  }
  void SetNames(const std::string& text) {
    std::memset(mirror_->sectionNames, 0, sizeof mirror_->sectionNames);
    std::memcpy(mirror_->sectionNames, text.data(), text.size());
  }

  MIRROR_SETTINGS* mirror_ = nullptr;
};

TEST_F(MirrorListsTest, EveryChannelOfTheCategoryAndTheNamedSections) {
  SetNames(" app_a,,app_b\tmissing");
  EXPECT_EQ(PrepareMirrorLists(Record(), catalogue_, kCategoryDll), 5);
  EXPECT_EQ(Names(lists().updateList), (std::vector<std::string>{"lib"}));
  EXPECT_EQ(Names(lists().continuousList), (std::vector<std::string>{"CONTINUOUS_lib"}));
  EXPECT_EQ(Names(lists().reverseList), (std::vector<std::string>{"REVERSE_lib"}));
  EXPECT_EQ(Names(lists().componentList), (std::vector<std::string>{"app_a", "app_b"}));
  EXPECT_EQ(lists().updateList[0].url, std::string(kServer) + "lib.nup");
  EXPECT_EQ(lists().componentList[0].url, std::string(kServer) + "a.nup");
}

TEST_F(MirrorListsTest, PlainOnlyTakesThePlainSections) {
  SetNames("app_a");
  mirror_->plainOnly = 1;
  EXPECT_EQ(PrepareMirrorLists(Record(), catalogue_, kCategoryDll), 1);
  EXPECT_EQ(lists().continuousList.GetSize() + lists().reverseList.GetSize() +
                lists().componentList.GetSize(),
            0);
  lists().Clear();
  host_.settings()->mirrorSettings = nullptr;
  EXPECT_EQ(PrepareMirrorLists(Record(), catalogue_, kCategoryEngine), 1);
  EXPECT_EQ(lists().componentList.GetSize(), 0);
}

// Section names that fill the whole field without an end are read within it.
TEST_F(MirrorListsTest, SectionNamesWithoutAnEndStayWithinTheirField) {
  std::string text(sizeof mirror_->sectionNames, ' ');
  text.replace(text.size() - 5, 5, "app_c");
  SetNames(text);
  EXPECT_EQ(PrepareMirrorLists(Record(), catalogue_, kCategoryDll), 4);
  EXPECT_EQ(Names(lists().componentList), (std::vector<std::string>{"app_c"}));
}

// The offline download: modules of the given platforms offered to the given
// groups, with the catalogue's packages and the local ones.
TEST_F(ListBuilderTest, NupListsFollowTheCallersGroupsAndPlatforms) {
  const std::string local = Updfiles("zel00000005.nup");
  ASSERT_TRUE(MakePackage(local, EngineKeys("em001_64", {"build=200", "level=0", "size=5"})));
  Catalogue(
      "[em001]\r\ncategory=engine\r\nplatform=x86\r\ngroup=g\r\ntype=em001\r\n"
      "build=200\r\nlevel=0\r\nfile=x86.nup\r\n" +
      Engine("em001_64", "em001_64", "group=g\r\nbuild=200\r\nlevel=0\r\nsize=5\r\n") +
      "[em002]\r\ncategory=engine\r\nplatform=arm\r\ngroup=g\r\ntype=em002\r\nbuild=2\r\n" +
      "[em003_64]\r\ncategory=engine\r\nplatform=x64\r\ngroup=h\r\ntype=em003_64\r\n"
      "build=2\r\n");
  CGroupList groups;
  ParseGroupList(groups, "g");
  const uint32_t platforms[] = {0, 1};
  PrepareNupLists(Record(), ScanNupFolders, groups, platforms);
  EXPECT_EQ(ModuleNames(installed().installedList),
            (std::vector<std::string>{"em001", "em001_64"}));
  const CUpdateList& updates = lists().updateList;
  ASSERT_EQ(updates.GetSize(), 2);
  EXPECT_EQ(PackageLocation(updates[0]), std::string(kServer) + "x86.nup");
  EXPECT_EQ(PackageLocation(updates[1]), local);
  EXPECT_EQ(lists().localList.GetSize(), 1);
  EXPECT_EQ(engine_.counts().requests, 0u);
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_UPDATE_GROUPS).empty());
}

}  // namespace
}  // namespace upd::test
