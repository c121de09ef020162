#include "updater/engine/lists/list_reconcile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/util/strings.h"

namespace {

constexpr uint32_t kInstall = kComponentSelected | kComponentInstall;

struct Package {
  const char* module = "em001_64";
  uint64_t build = 0;
  int32_t level = 0;
  std::optional<uint32_t> base = std::nullopt;
  uint32_t flags = 0;
  const char* url = "";
  const char* local = "";
  uint32_t size = 10;
  uint32_t list_kind = kListPlain;
  uint32_t category = kCategoryEngine;
  const char* name = "";
};

_COMPONENT_INFO Record(const Package& p) {
  _COMPONENT_INFO record;
  SafeStrCopy(record.module, sizeof record.module, p.module);
  SafeStrCopy(record.name, sizeof record.name, p.name);
  record.platform = 1;
  record.category = p.category;
  record.build = p.build;
  record.level = p.level;
  record.base = p.base;
  record.flags = p.flags;
  record.url = p.url;
  record.localFile = p.local;
  record.size = p.size;
  record.listKind = p.list_kind;
  return record;
}

template <class List>
List ListOf(const std::vector<Package>& packages) {
  List list;
  for (const Package& p : packages) list.Add(Record(p));
  return list;
}

std::vector<std::string> Files(const CListBase& list) {
  std::vector<std::string> files;
  for (const _COMPONENT_INFO& entry : list) files.push_back(PackageLocation(entry));
  return files;
}

std::vector<uint32_t> Flags(const CListBase& list) {
  std::vector<uint32_t> flags;
  for (const _COMPONENT_INFO& entry : list) flags.push_back(entry.flags);
  return flags;
}

constexpr uint32_t kLocal = kComponentHasBuild | kComponentPresent;

// The local chain reaches as far as the catalogue's: every package of the
// module is taken from the local ones, and one without a local twin is no
// longer wanted. Other modules are left alone.
TEST(ReconcileLocalPackages, ALocalChainThatIsNotBehindReplacesTheCatalogues) {
  auto updates = ListOf<CUpdateList>({
      {.build = 200, .flags = kInstall | kComponentFetch, .url = "http://s/f200", .name = "A"},
      {.build = 300, .level = 1, .base = 200, .flags = kInstall, .url = "http://s/d300"},
      {.build = 250, .level = 2, .base = 999, .flags = kInstall, .url = "http://s/d250"},
      {.module = "em002_64", .build = 5, .flags = kInstall, .url = "http://s/other"},
  });
  auto local = ListOf<CLocalList>({
      {.build = 200, .flags = kLocal, .local = "/l/f200", .name = "update_info"},
      {.build = 300, .level = 1, .base = 200, .flags = kLocal, .local = "/l/d300"},
  });
  ReconcileLocalPackages(updates, local);
  EXPECT_EQ(Files(updates),
            (std::vector<std::string>{"/l/f200", "/l/d300", "http://s/d250", "http://s/other"}));
  EXPECT_EQ(Flags(updates), (std::vector<uint32_t>{kLocal | kComponentInstall | kComponentFetch,
                                                   kLocal | kComponentInstall, 0, kInstall}));
  // The replacement keeps the catalogue's name, which the local record takes too.
  EXPECT_STREQ(updates[0].name, "A");
  EXPECT_STREQ(local[0].name, "A");
  EXPECT_STREQ(updates[1].name, "");
}

// The catalogue reaches further: only the packages held locally stand in.
TEST(ReconcileLocalPackages, ALocalChainThatIsBehindReplacesOnlyWhatItHolds) {
  auto updates = ListOf<CUpdateList>({
      {.build = 200, .flags = kInstall, .url = "http://s/f200"},
      {.build = 300, .level = 1, .base = 200, .flags = kInstall, .url = "http://s/d300"},
  });
  auto local = ListOf<CLocalList>({
      {.build = 200, .base = 7, .flags = kLocal, .local = "/l/other-base"},
      {.build = 200, .flags = kLocal, .local = "/l/f200"},
  });
  ReconcileLocalPackages(updates, local);
  EXPECT_EQ(Files(updates), (std::vector<std::string>{"/l/f200", "http://s/d300"}));
  EXPECT_EQ(Flags(updates), (std::vector<uint32_t>{kLocal | kComponentInstall, kInstall}));
}

// An installed module file stands in for a package of its build, whatever
// its size, unless the package is to be fetched anyway.
TEST(ReconcileLocalPackages, AnInstalledModuleFileStandsInUnlessTheEntryIsFetched) {
  for (const uint32_t fetch : {0u, kComponentFetch}) {
    SCOPED_TRACE(fetch);
    auto updates = ListOf<CUpdateList>({
        {.build = 200, .flags = kInstall | fetch, .url = "http://s/f200"},
        {.build = 300, .level = 1, .base = 200, .flags = kInstall, .url = "http://s/d300"},
    });
    auto local = ListOf<CLocalList>({
        {.build = 200, .flags = kComponentModuleFile, .local = "/m/em001_64.dat", .size = 99},
    });
    ReconcileLocalPackages(updates, local);
    EXPECT_EQ(PackageLocation(updates[0]), fetch != 0 ? "http://s/f200" : "/m/em001_64.dat");
  }
}

TEST(ReconcileLocalPackages, PackagesWithoutALocalTwinStayAsTheyAre) {
  const std::vector<Package> catalogue = {
      {.build = 200, .flags = kInstall, .url = "http://s/f200"},
  };
  const struct {
    const char* name;
    Package local;
  } cases[] = {
      {"another module", {.module = "em002_64", .build = 200, .flags = kLocal, .local = "/l"}},
      {"another channel",
       {.build = 200, .flags = kLocal, .local = "/l", .list_kind = kListContinuous}},
      {"a delta", {.build = 200, .level = 1, .flags = kLocal, .local = "/l"}},
      {"dropped", {.build = 200, .flags = kLocal | kComponentDropped, .local = "/l"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto updates = ListOf<CUpdateList>(catalogue);
    auto local = ListOf<CLocalList>({c.local});
    ReconcileLocalPackages(updates, local);
    EXPECT_EQ(PackageLocation(updates[0]), "http://s/f200");
    EXPECT_EQ(updates[0].flags, kInstall);
  }
}

// A local package of the same build but another size is another file: it
// does not stand in, and the catalogue's package is selected again.
TEST(ReconcileLocalPackages, ALocalTwinOfAnotherSizeSelectsTheCataloguePackage) {
  auto updates = ListOf<CUpdateList>({
      {.build = 200, .flags = kComponentInstall, .url = "http://s/f200", .size = 10},
      {.module = "em002_64", .build = 7, .flags = 0, .url = "http://s/g7", .size = 10},
  });
  auto local = ListOf<CLocalList>({
      {.build = 200, .flags = kLocal, .local = "/l/f200", .size = 11},
      {.module = "em002_64", .build = 7, .flags = kLocal, .local = "/l/g7", .size = 10},
  });
  ReconcileLocalPackages(updates, local);
  EXPECT_EQ(Files(updates), (std::vector<std::string>{"http://s/f200", "/l/g7"}));
  EXPECT_EQ(updates[0].flags, kComponentInstall | kComponentSelected);
}

// Installed em001_64 at build 200 (an installed module file), offered by
// the catalogue.
CInstalledModules Installed(uint64_t build = 200, bool offered = true,
                            uint32_t category = kCategoryEngine) {
  CInstalledModules installed;
  if (offered) {
    _INSTALLED_COMPONENT_INFO module;
    SafeStrCopy(module.name, sizeof module.name, "em001_64");
    module.type = kEngineModuleType;
    module.platform = 1;
    installed.installedList.Add(module);
  }
  installed.baseNupList.Add(Record({.build = build,
                                    .flags = kComponentModuleFile,
                                    .local = "/m/em001_64.dat",
                                    .category = category}));
  return installed;
}

// A reverse package that takes em001_64 from 200 back to 150.
CReverseList Reverse(uint32_t category = kCategoryEngine) {
  return ListOf<CReverseList>({{.build = 150,
                                .base = 200,
                                .url = "http://s/r150",
                                .list_kind = kListReverse,
                                .category = category}});
}

TEST(ReconcileReverse, APackageFromTheInstalledBuildIsInstalledUnlessALocalOneIsAsNew) {
  const struct {
    const char* name;
    std::vector<Package> local;
    uint32_t reverse_flags;
    std::vector<uint32_t> local_flags;
  } cases[] = {
      {"no local full package", {}, kInstall, {}},
      {"an older local full package is dropped",
       {{.build = 100, .flags = kLocal}},
       kInstall,
       {kLocal | kComponentDropped}},
      {"a local full package as new", {{.build = 150, .flags = kLocal}}, 0, {kLocal}},
      {"a newer local full package", {{.build = 300, .flags = kLocal}}, 0, {kLocal}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CInstalledModules installed = Installed();
    CUpdateList updates;
    CReverseList reverse = Reverse();
    auto local = ListOf<CLocalList>(c.local);
    ReconcileReverseList(installed, updates, reverse, local);
    EXPECT_EQ(reverse[0].flags, c.reverse_flags);
    EXPECT_EQ(PackageLocation(reverse[0]), "http://s/r150");
    EXPECT_EQ(Flags(local), c.local_flags);
  }
}

TEST(ReconcileReverse, APackageHeldLocallyIsTakenFromThere) {
  CInstalledModules installed = Installed();
  CUpdateList updates;
  CReverseList reverse = Reverse();
  auto local = ListOf<CLocalList>({
      {.build = 150, .level = 1, .base = 200, .flags = kLocal, .local = "/l/reverse/r150"},
  });
  ReconcileReverseList(installed, updates, reverse, local);
  EXPECT_EQ(reverse[0].flags, kInstall | kComponentPresent);
  EXPECT_EQ(PackageLocation(reverse[0]), "/l/reverse/r150");
}

TEST(ReconcileReverse, OtherwiseTheReversePackageIsLeftAlone) {
  const struct {
    const char* name;
    std::vector<Package> updates;
    uint64_t installed_build;
    bool offered;
    uint32_t category;
  } cases[] = {
      {"another installed build", {}, 210, true, kCategoryEngine},
      {"a module the catalogue does not offer", {}, 200, false, kCategoryEngine},
      {"not an engine module", {}, 200, true, kCategoryDll},
      {"a full package selected",
       {{.build = 300, .flags = kComponentSelected}},
       200,
       true,
       kCategoryEngine},
      {"a full package to fetch",
       {{.build = 300, .flags = kComponentFetch}},
       200,
       true,
       kCategoryEngine},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CInstalledModules installed = Installed(c.installed_build, c.offered, c.category);
    auto updates = ListOf<CUpdateList>(c.updates);
    CReverseList reverse = Reverse(c.category);
    CLocalList local;
    ReconcileReverseList(installed, updates, reverse, local);
    EXPECT_EQ(reverse[0].flags, 0u);
  }
}

// A full package that is only to be installed (not selected or fetched)
// does not hold the reverse package back.
TEST(ReconcileReverse, AFullPackageOnlyToInstallDoesNotHoldItBack) {
  CInstalledModules installed = Installed();
  auto updates = ListOf<CUpdateList>({{.build = 300, .flags = kComponentInstall}});
  CReverseList reverse = Reverse();
  CLocalList local;
  ReconcileReverseList(installed, updates, reverse, local);
  EXPECT_EQ(reverse[0].flags, kInstall);
}

}  // namespace
