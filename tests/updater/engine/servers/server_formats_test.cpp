#include "updater/engine/servers/server_formats.h"

#include <gtest/gtest.h>

#include <string>

#include "server_fixture.h"

namespace upd::test {
namespace {

using ServerFormats = CatalogueTest;

constexpr char kBase[] = "http://origin.test:8080/root/dir/";

TEST_F(ServerFormats, LinksAppendTheirPathToEveryServerWithItsWeight) {
  const std::string ini = WriteCatalogue(
      "[SERVERS]\nlist=3@http://a/ , http://b/;http://c/\n"
      "[LINKS]\nRelease-0=upd/\n");
  CDefServersArray out;
  ASSERT_TRUE(CLinksServerFormat().Parse(FromPath(ini).Document(), "Release-0", kBase, &out));
  EXPECT_EQ(Entries(out),
            (ServerEntries{{"http://a/upd/", 3}, {"http://b/upd/", 1}, {"http://c/upd/", 1}}));
}

TEST_F(ServerFormats, ListedServersResolveAgainstTheCatalogueUrl) {
  const std::string ini = WriteCatalogue(
      "[HOSTS]\n"
      "g=rel/ /abs/ //other.test/x/ https://full.test/y/ \\\\share\\s\\ c:\\mirror\\\n");
  CDefServersArray out;
  ASSERT_TRUE(CHostsServerFormat().Parse(FromPath(ini).Document(), "g", kBase, &out));
  EXPECT_EQ(Entries(out), (ServerEntries{{"http://origin.test:8080/root/dir/rel/", 1},
                                         {"http://origin.test:8080/abs/", 1},
                                         {"http://other.test/x/", 1},
                                         {"https://full.test/y/", 1},
                                         {"//share/s/", 1},
                                         {"c:/mirror/", 1}}));
}

TEST_F(ServerFormats, MissingListsAndEmptyLists) {
  const std::string ini = WriteCatalogue(
      "[SERVERS]\nlist=\n[LINKS]\nempty=upd/\n"
      "[HOSTS]\nblank= , ;\n");
  const std::string no_servers = WriteCatalogue("[LINKS]\nx=upd/\n", "links_only.ver");
  const CLinksServerFormat links;
  const CHostsServerFormat hosts;
  const struct {
    const char* name;
    const IServerFormat* format;
    std::string ini;
    const char* list;
    bool found;
  } cases[] = {
      {"links: empty server list is found", &links, ini, "empty", true},
      {"links: list name missing", &links, ini, "other", false},
      {"links: no SERVERS section", &links, no_servers, "x", false},
      {"links: no catalogue", &links, dir_.file("none.ver"), "empty", false},
      {"hosts: a list without servers", &hosts, ini, "blank", false},
      {"hosts: list name missing", &hosts, ini, "other", false},
  };
  for (const auto& c : cases) {
    CDefServersArray out;
    EXPECT_EQ(c.format->Parse(FromPath(c.ini).Document(), c.list, kBase, &out), c.found) << c.name;
    EXPECT_TRUE(out.IsEmpty()) << c.name;
  }
}

TEST_F(ServerFormats, QuotedValuesLoseTheirQuotes) {
  const std::string ini = WriteCatalogue(
      "[SERVERS]\nlist=\"2@http://a/ http://b/\"\n[LINKS]\nL=\"upd/\"\n"
      "[HOSTS]\nH=\"http://h/\"\n");
  CDefServersArray out;
  ASSERT_TRUE(CLinksServerFormat().Parse(FromPath(ini).Document(), "L", kBase, &out));
  ASSERT_TRUE(CHostsServerFormat().Parse(FromPath(ini).Document(), "H", kBase, &out));
  EXPECT_EQ(Entries(out),
            (ServerEntries{{"http://a/upd/", 2}, {"http://b/upd/", 1}, {"http://h/", 1}}));
}

// A URL cut to fit a record would name another place; it is left out.
TEST_F(ServerFormats, UrlsLongerThanARecordAreLeftOut) {
  const std::string fits = "http://h/" + std::string(kMaxServerUrl - 9, 'f');
  const std::string too_long = "http://h/" + std::string(kMaxServerUrl - 8, 'g');
  const std::string ini =
      WriteCatalogue("[HOSTS]\nH=" + fits + " " + too_long + " " + std::string(300, 'r') + "\n");
  CDefServersArray out;
  ASSERT_TRUE(CHostsServerFormat().Parse(FromPath(ini).Document(), "H", kBase, &out));
  EXPECT_EQ(Entries(out), (ServerEntries{{fits, 1}}));

  // Relative ones count with the base in front.
  const std::string near_limit(kMaxServerUrl - std::string(kBase).size() + 1, 'n');
  const std::string relative = WriteCatalogue("[HOSTS]\nH=" + near_limit + "\n", "rel.ver");
  CDefServersArray none;
  EXPECT_FALSE(CHostsServerFormat().Parse(FromPath(relative).Document(), "H", kBase, &none));
}

TEST_F(ServerFormats, ParseAllTakesEveryList) {
  const std::string ini = WriteCatalogue(
      "[SERVERS]\nlist=http://a/ 2@http://b/\n"
      "[LINKS]\none=x/\ntwo=y/\n"
      "[HOSTS]\nh1=http://h1/\nh2=4@http://h2/ http://h3/\n");
  CDefServersArray links;
  CLinksServerFormat().ParseAll(FromPath(ini).Document(), kBase, &links);
  EXPECT_EQ(Entries(links),
            (ServerEntries{
                {"http://a/x/", 1}, {"http://b/x/", 2}, {"http://a/y/", 1}, {"http://b/y/", 2}}));
  CDefServersArray hosts;
  CHostsServerFormat().ParseAll(FromPath(ini).Document(), kBase, &hosts);
  EXPECT_EQ(Entries(hosts),
            (ServerEntries{{"http://h1/", 1}, {"http://h2/", 4}, {"http://h3/", 1}}));
}

}  // namespace
}  // namespace upd::test
