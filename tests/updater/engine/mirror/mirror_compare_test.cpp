#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/util/strings.h"
#include "updater/engine/mirror/mirror.h"

namespace upd::test {
namespace {

_COMPONENT_INFO Entry(const char* name, uint32_t category, uint64_t build, int32_t level = 0,
                      std::optional<uint32_t> base = std::nullopt) {
  _COMPONENT_INFO entry;
  entry.flags = kComponentHasBuild | kComponentPresent;
  SafeStrCopy(entry.name, sizeof entry.name, name);
  SafeStrCopy(entry.module, sizeof entry.module, name);
  entry.category = category;
  entry.platform = 1;
  entry.build = build;
  entry.level = level;
  entry.base = base;
  return entry;
}

std::vector<bool> Dropped(const CListBase& list) {
  std::vector<bool> dropped;
  for (const _COMPONENT_INFO& entry : list) dropped.push_back(IsDropped(entry));
  return dropped;
}

std::vector<bool> ToFetch(const CListBase& list) {
  std::vector<bool> fetch;
  for (const _COMPONENT_INFO& entry : list) fetch.push_back((entry.flags & kComponentFetch) != 0);
  return fetch;
}

// Of packages of one name and category the newest stays; of equal builds
// the one listed last.
TEST(MirrorCompare, OnlyTheNewestPackageOfANameStays) {
  const struct {
    std::vector<uint64_t> builds;
    std::vector<bool> dropped;
  } cases[] = {
      {{1, 2}, {true, false}},
      {{2, 1}, {false, true}},
      {{2, 2}, {true, false}},
      {{3, 1, 2}, {false, true, true}},
      {{1, 3, 2}, {true, false, true}},
  };
  for (const auto& each : cases) {
    CMirror mirror;
    for (const uint64_t build : each.builds) mirror.list().Add(Entry("em001_64", 3, build));
    // Another name and another category are never compared with these.
    mirror.list().Add(Entry("em002_64", 3, 1));
    mirror.list().Add(Entry("em001_64", 4, 1));
    mirror.DropSuperseded();
    std::vector<bool> expected = each.dropped;
    expected.insert(expected.end(), {false, false});
    EXPECT_EQ(Dropped(mirror.list()), expected) << testing::PrintToString(each.builds);
  }
}

// What the server offers against what the mirror holds: new and changed
// packages are fetched and the old copies dropped; what the server no
// longer offers is dropped; what is the same stays.
TEST(MirrorCompare, TheServersListsDecideWhatIsFetchedAndDropped) {
  CMirror mirror;
  CMirrorList& held = mirror.list();
  held.Add(Entry("same", 3, 10));
  held.Add(Entry("older", 3, 10));
  held.Add(Entry("gone", 3, 10));
  held.Add(Entry("app", 1, 5));
  held.Add(Entry("oldapp", 1, 5));
  held.Add(Entry("pico", 2, 1));
  CUpdateList update;
  update.Add(Entry("same", 3, 10));
  update.Add(Entry("older", 3, 11));
  update.Add(Entry("new", 3, 1));
  CComponentList component;
  component.Add(Entry("app", 1, 5));
  component.Add(Entry("oldapp", 1, 6));
  component.Add(Entry("newapp", 1, 1));
  CContinuousList continuous;
  CReverseList reverse;
  CLocalList local;

  EXPECT_EQ(mirror.CompareLists(update, continuous, reverse, component, local), 4u);

  EXPECT_EQ(ToFetch(update), (std::vector<bool>{false, true, true}));
  EXPECT_EQ(ToFetch(component), (std::vector<bool>{false, true, true}));
  EXPECT_EQ(Dropped(held), (std::vector<bool>{false, true, true, false, true, true}));
}

// A package already on this machine is taken in place of a download.
TEST(MirrorCompare, ALocalPackageReplacesTheDownload) {
  CMirror mirror;
  CUpdateList update;
  update.Add(Entry("em001_64", 3, 7));
  update[0].url = "http://server/p/em001.nup";
  CLocalList local;
  local.Add(Entry("em001_64", 3, 7));
  local[0].localFile = "/data/updfiles/tempMirror/zel00000001.nup";
  CContinuousList continuous;
  CReverseList reverse;
  CComponentList component;

  EXPECT_EQ(mirror.CompareLists(update, continuous, reverse, component, local), 1u);
  EXPECT_EQ(PackageLocation(update[0]), local[0].localFile);
  EXPECT_EQ(update[0].flags & (kComponentFetch | kComponentPresent),
            kComponentFetch | kComponentPresent);
}

}  // namespace
}  // namespace upd::test
