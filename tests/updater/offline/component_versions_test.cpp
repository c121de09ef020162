#include "updater/offline/component_versions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/util/strings.h"

namespace upd::test {
namespace {

struct Package {
  const char* module;
  int32_t level;
  uint32_t base;
  uint32_t build;
  uint32_t platform = 1;
  bool dropped = false;
};

CListBase ListOf(const std::vector<Package>& packages) {
  CListBase list;
  for (const Package& p : packages) {
    _COMPONENT_INFO entry;
    SafeStrCopy(entry.module, sizeof entry.module, p.module);
    entry.level = p.level;
    entry.base = p.level == 0 ? std::nullopt : std::optional<uint32_t>(p.base);
    entry.build = p.build;
    entry.platform = p.platform;
    entry.flags = p.dropped ? kComponentDropped : kComponentInstall;
    list.Add(entry);
  }
  return list;
}

struct ResolveCase {
  const char* name;
  std::vector<Package> packages;
  uint32_t target;
  ChainList chain;
};

TEST(ResolveComponentVersions, ChoosesTheChainThatReachesFurthest) {
  const ResolveCase cases[] = {
      {"no full package", {{"em1", 1, 100, 200}}, 0, {}},
      {"one full package", {{"em1", 0, 0, 100}}, 100, {0}},
      {"the higher full package", {{"em1", 0, 0, 100}, {"em1", 0, 0, 300}}, 300, {1}},
      {"a chain beats a higher full package",
       {{"em1", 0, 0, 250}, {"em1", 0, 0, 100}, {"em1", 1, 100, 200}, {"em1", 2, 200, 400}},
       400,
       {1, 2, 3}},
      // Equal reach keeps the package that comes first.
      {"equal reach keeps the first", {{"em1", 0, 0, 300}, {"em1", 0, 0, 300}}, 300, {0}},
      {"equal chains keep the first",
       {{"em1", 0, 0, 100}, {"em1", 0, 0, 200}, {"em1", 1, 100, 300}, {"em1", 1, 200, 300}},
       300,
       {0, 2}},
      {"a delta of a missing base is passed over",
       {{"em1", 0, 0, 100}, {"em1", 1, 150, 900}},
       100,
       {0}},
      {"a level that is skipped ends the chain",
       {{"em1", 0, 0, 100}, {"em1", 2, 100, 900}},
       100,
       {0}},
      {"other modules, platforms and dropped packages take no part",
       {{"em2", 0, 0, 900},
        {"EM1", 0, 0, 100},
        {"em1", 0, 0, 800, 2},
        {"em1", 0, 0, 700, 1, true},
        {"em1", 1, 100, 200, 1, true}},
       100,
       {1}},
  };
  for (const ResolveCase& c : cases) {
    SCOPED_TRACE(c.name);
    const CListBase list = ListOf(c.packages);
    ChainList chain = {7};
    EXPECT_EQ(ResolveComponentVersions(list, "em1", 1, chain), c.target);
    ChainList expected = {7};
    expected.insert(expected.end(), c.chain.begin(), c.chain.end());
    EXPECT_EQ(chain, expected);
  }
}

TEST(ResolveComponentVersions, ChainsRunToLevelNineAndNoFurther) {
  std::vector<Package> packages = {{"em1", 0, 0, 1000}};
  for (int32_t level = 1; level <= 10; ++level) {
    packages.push_back({"em1", level, 1000u + level - 1, 1000u + level});
  }
  ChainList chain;
  EXPECT_EQ(ResolveComponentVersions(ListOf(packages), "em1", 1, chain), 1009u);
  EXPECT_EQ(chain, (ChainList{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

}  // namespace
}  // namespace upd::test
