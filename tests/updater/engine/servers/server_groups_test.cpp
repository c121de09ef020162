#include "updater/engine/servers/server_groups.h"

#include <gtest/gtest.h>

#include <string>

#include "server_fixture.h"

namespace upd::test {
namespace {

using ServerGroups = ServerTest;

constexpr char kBase[] = "http://origin.test/";

// Which list a group's servers come from: each row is a catalogue that
// holds some of the candidate lists; the servers show which one was taken.
TEST_F(ServerGroups, ListFallBacks) {
  const struct {
    const char* name;
    std::string sections;
    const char* expected;  // the one server found, or null
  } cases[] = {
      {"group-number in links", "[LINKS]\nBeta-7=beta7/\nBeta-Other=x/\n7=x/\nOther=x/\n",
       "http://s/beta7/"},
      {"group-number in hosts", "[HOSTS]\nBeta-7=http://h/beta7/\n7=http://x/\n",
       "http://h/beta7/"},
      {"links before hosts", "[LINKS]\nBeta-7=links/\n[HOSTS]\nBeta-7=http://h/hosts/\n",
       "http://s/links/"},
      {"group-Other", "[LINKS]\nBeta-Other=betaother/\n7=x/\nOther=x/\n", "http://s/betaother/"},
      {"group-Other in hosts", "[HOSTS]\nBeta-Other=http://h/bo/\nOther=http://x/\n",
       "http://h/bo/"},
      {"number", "[LINKS]\n7=seven/\nOther=x/\n", "http://s/seven/"},
      {"number in hosts", "[HOSTS]\n7=http://h/7/\nOther=http://x/\n", "http://h/7/"},
      {"Other", "[LINKS]\nOther=other/\n", "http://s/other/"},
      {"Other in hosts", "[HOSTS]\nOther=http://h/o/\n", "http://h/o/"},
      {"other groups and numbers do not count", "[LINKS]\nAlpha-7=x/\nBeta-8=x/\n8=x/\n", nullptr},
      {"a hosts list without servers is not found", "[HOSTS]\nBeta-7=\nBeta-Other=http://h/bo/\n",
       "http://h/bo/"},
  };
  for (const auto& c : cases) {
    const std::string ini = WriteCatalogue("[SERVERS]\nlist=http://s/\n" + c.sections);
    CDefServersArray out;
    const bool found =
        BuildServerGroupName(FromPath(ini).Document(), 7, "Beta", kBase, nullptr, out);
    const ServerEntries expected =
        c.expected != nullptr ? ServerEntries{{c.expected, 1}} : ServerEntries{};
    EXPECT_EQ(found, c.expected != nullptr) << c.name;
    EXPECT_EQ(Entries(out), expected) << c.name;
  }
}

// A links list over an empty "SERVERS" list is found but holds nothing:
// "-Other" is not tried, the number is.
TEST_F(ServerGroups, EmptyLinksListStopsTheGroupFallBack) {
  const std::string ini = WriteCatalogue(
      "[SERVERS]\nlist=\n[LINKS]\nBeta-7=x/\n"
      "[HOSTS]\nBeta-Other=http://h/bo/\n7=http://h/7/\n");
  CDefServersArray out;
  ASSERT_TRUE(BuildServerGroupName(FromPath(ini).Document(), 7, "Beta", kBase, nullptr, out));
  EXPECT_EQ(Entries(out), (ServerEntries{{"http://h/7/", 1}}));
}

TEST_F(ServerGroups, GroupComesFromTheStoreWhenNotGiven) {
  const std::string ini =
      WriteCatalogue("[HOSTS]\nStored-0=http://stored/\nGiven-0=http://given/\n0=http://number/\n");
  WriteStore({"UpdateServerGroup=Stored"});
  CDefServersArray out;
  ASSERT_TRUE(
      BuildServerGroupName(FromPath(ini).Document(), 0, nullptr, kBase, settings_.get(), out));
  EXPECT_EQ(Entries(out), (ServerEntries{{"http://stored/", 1}}));
  ASSERT_TRUE(BuildServerGroupName(FromPath(ini).Document(), 0, "", kBase, settings_.get(), out));
  EXPECT_EQ(Entries(out), (ServerEntries{{"http://stored/", 1}}));
  ASSERT_TRUE(
      BuildServerGroupName(FromPath(ini).Document(), 0, "Given", kBase, settings_.get(), out));
  EXPECT_EQ(Entries(out), (ServerEntries{{"http://given/", 1}}));
  // Without settings (no store) only the number and "Other" are looked at.
  ASSERT_TRUE(BuildServerGroupName(FromPath(ini).Document(), 0, nullptr, kBase, nullptr, out));
  EXPECT_EQ(Entries(out), (ServerEntries{{"http://number/", 1}}));
}

TEST_F(ServerGroups, LoadServerListAppends) {
  const std::string ini = WriteCatalogue("[HOSTS]\n3=2@http://a/ http://b/\n");
  CDefServersArray out = MakeServers({{"http://kept/", 9}});
  ASSERT_TRUE(LoadServerList(out, FromPath(ini).Document(), 3, nullptr, kBase, nullptr));
  EXPECT_EQ(Entries(out), (ServerEntries{{"http://kept/", 9}, {"http://a/", 2}, {"http://b/", 1}}));
  EXPECT_FALSE(
      LoadServerList(out, FromPath(dir_.file("none.ver")).Document(), 3, nullptr, kBase, nullptr));
  EXPECT_EQ(out.GetSize(), 3);
}

}  // namespace
}  // namespace upd::test
