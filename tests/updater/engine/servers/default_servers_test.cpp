#include "updater/engine/servers/default_servers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "server_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

using DefaultServers = ServerTest;

constexpr char kBase[] = "http://origin.test/";

TEST_F(DefaultServers, LoadGivesRunningTotals) {
  WriteStore({"DefaultServerCount=4", "DefaultServer0=http://a/", "DefaultServerWeight0=2",
              "DefaultServer1=http://b/", "DefaultServer3=http://d/", "DefaultServerWeight3=5",
              "DefaultServerWeight2=100", "FailSafeServer=http://safe/"});
  CDefServersArray servers = MakeServers({{"old", 1}});
  std::string fail_safe = "old";
  EXPECT_TRUE(LoadDefaultServers(servers, settings_.get(), &fail_safe));
  // A missing weight counts 1; a missing server skips its index.
  EXPECT_EQ(Entries(servers),
            (ServerEntries{{"http://a/", 2}, {"http://b/", 3}, {"http://d/", 8}}));
  EXPECT_EQ(fail_safe, "http://safe/");
}

TEST_F(DefaultServers, LoadWithoutWeight) {
  const struct {
    const char* name;
    std::vector<std::string> lines;
    bool store;
    ServerEntries loaded;
  } cases[] = {
      {"no count", {"DefaultServer0=http://a/"}, true, {}},
      {"count 0", {"DefaultServerCount=0", "DefaultServer0=http://a/"}, true, {}},
      {"only weightless servers",
       {"DefaultServerCount=1", "DefaultServer0=http://a/", "DefaultServerWeight0=0"},
       true,
       {{"http://a/", 0}}},
      {"no store", {"DefaultServerCount=1", "DefaultServer0=http://a/"}, false, {}},
  };
  for (const auto& c : cases) {
    WriteStore(c.lines);
    SetStoreLocation(c.store ? "file://" + StorePath() : StorePath());
    CDefServersArray servers;
    std::string fail_safe = "old";
    EXPECT_FALSE(LoadDefaultServers(servers, settings_.get(), &fail_safe)) << c.name;
    EXPECT_EQ(fail_safe, "") << c.name;
    EXPECT_EQ(Entries(servers), c.loaded) << c.name;
  }
}

// A damaged count does not make a run walk billions of keys.
TEST_F(DefaultServers, HugeCountIsBounded) {
  WriteStore(
      {"DefaultServerCount=4000000000", "DefaultServer0=http://a/", "DefaultServer1=http://b/"});
  CDefServersArray servers;
  EXPECT_TRUE(LoadDefaultServers(servers, settings_.get(), nullptr));
  EXPECT_EQ(Entries(servers), (ServerEntries{{"http://a/", 1}, {"http://b/", 2}}));
  DeleteDefaultServers(settings_.get());
  EXPECT_FALSE(Stored("DefaultServer0"));
  EXPECT_FALSE(Stored("DefaultServerCount"));
}

class SavingDefaultServers : public ServerTest {
 protected:
  void SetUp() override {
    settings_->serverGroup = 5;
    catalogue_ =
        WriteCatalogue("[SERVERS]\nlist=3@http://a/ , http://b/;http://c/\n[LINKS]\n5=upd/\n");
  }

  bool Save(CatalogueTrust trust = CatalogueTrust::kSignatureVerified) {
    return SaveDefaultServers(settings_.get(), FromPath(catalogue_).Document(), kBase, trust);
  }

  std::string catalogue_;
};

TEST_F(SavingDefaultServers, StoresOwnWeightsOfTheGroupList) {
  WriteStore({"DefaultServerCount=5", "DefaultServer4=http://old4/", "DefaultServerWeight4=9"});
  ASSERT_TRUE(Save());
  EXPECT_EQ(Stored("DefaultServerCount"), "3");
  EXPECT_EQ(Stored("DefaultServer0"), "http://a/upd/");
  EXPECT_EQ(Stored("DefaultServerWeight0"), "3");
  EXPECT_EQ(Stored("DefaultServer2"), "http://c/upd/");
  EXPECT_EQ(Stored("DefaultServerWeight2"), "1");
  // Beyond the new count the old keys stay, unread.
  EXPECT_EQ(Stored("DefaultServer4"), "http://old4/");
  EXPECT_FALSE(Stored("FailSafeServer"));
  CDefServersArray loaded;
  EXPECT_TRUE(LoadDefaultServers(loaded, settings_.get(), nullptr));
  EXPECT_EQ(Entries(loaded),
            (ServerEntries{{"http://a/upd/", 3}, {"http://b/upd/", 4}, {"http://c/upd/", 5}}));
}

// Saving the list that is stored already leaves the store file as it was:
// not rewritten at all, so its bytes and its time stay.
TEST_F(SavingDefaultServers, IdenticalListLeavesTheStoreUntouched) {
  WriteStore({"DefaultServerCount=3", "DefaultServer0=HTTP://A/upd/", "DefaultServerWeight0=3",
              "DefaultServer1=http://b/upd/", "DefaultServer2=http://c/upd/",
              "DefaultServerWeight2=1"});
  const auto old_time = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(StorePath(), old_time);
  const std::string before = ReadFile(StorePath());
  EXPECT_FALSE(Save());
  EXPECT_EQ(ReadFile(StorePath()), before);
  EXPECT_EQ(fs::last_write_time(StorePath()), old_time);
}

TEST_F(SavingDefaultServers, AnyDifferenceRewrites) {
  const struct {
    const char* name;
    std::vector<std::string> stored;
  } cases[] = {
      {"a weight differs",
       {"DefaultServerCount=3", "DefaultServer0=http://a/upd/", "DefaultServerWeight0=2",
        "DefaultServer1=http://b/upd/", "DefaultServer2=http://c/upd/"}},
      {"order differs",
       {"DefaultServerCount=3", "DefaultServer0=http://b/upd/", "DefaultServer1=http://a/upd/",
        "DefaultServerWeight1=3", "DefaultServer2=http://c/upd/"}},
      {"one server fewer",
       {"DefaultServerCount=2", "DefaultServer0=http://a/upd/", "DefaultServerWeight0=3",
        "DefaultServer1=http://b/upd/"}},
      {"nothing stored", {}},
  };
  for (const auto& c : cases) {
    WriteStore(c.stored);
    EXPECT_TRUE(Save()) << c.name;
    EXPECT_EQ(Stored("DefaultServerCount"), "3") << c.name;
    EXPECT_EQ(Stored("DefaultServer0"), "http://a/upd/") << c.name;
    EXPECT_EQ(Stored("DefaultServerWeight0"), "3") << c.name;
  }
}

// Only a catalogue whose signature verified may change the servers that
// later runs trust.
TEST_F(SavingDefaultServers, UncheckedCatalogueWritesNothing) {
  EXPECT_FALSE(Save(CatalogueTrust::kUnchecked));
  EXPECT_FALSE(fs::exists(StorePath()));
  WriteStore({"DefaultServerCount=1", "DefaultServer0=http://trusted/"});
  const std::string before = ReadFile(StorePath());
  EXPECT_FALSE(Save(CatalogueTrust::kUnchecked));
  EXPECT_EQ(ReadFile(StorePath()), before);
}

TEST_F(SavingDefaultServers, NoListOrNoStoreWritesNothing) {
  WriteStore({"DefaultServerCount=1", "DefaultServer0=http://trusted/"});
  const std::string before = ReadFile(StorePath());
  settings_->serverGroup = 6;  // the catalogue lists no servers for it
  EXPECT_FALSE(Save());
  EXPECT_EQ(ReadFile(StorePath()), before);
  settings_->serverGroup = 5;
  SetStoreLocation(StorePath());  // without "file://" the store does not open
  EXPECT_FALSE(Save());
  EXPECT_EQ(ReadFile(StorePath()), before);
  EXPECT_FALSE(SaveDefaultServers(nullptr, FromPath(catalogue_).Document(), kBase,
                                  CatalogueTrust::kSignatureVerified));
}

TEST_F(DefaultServers, DeleteKeepsTheFailSafeServer) {
  WriteStore({"DefaultServerCount=2", "DefaultServer0=http://a/", "DefaultServerWeight0=2",
              "DefaultServer1=http://b/", "DefaultServer2=http://beyond/",
              "FailSafeServer=http://safe/", "UpdateServerGroup=Beta"});
  DeleteDefaultServers(settings_.get());
  for (const char* key :
       {"DefaultServerCount", "DefaultServer0", "DefaultServerWeight0", "DefaultServer1"}) {
    EXPECT_FALSE(Stored(key)) << key;
  }
  EXPECT_EQ(Stored("DefaultServer2"), "http://beyond/");
  EXPECT_EQ(Stored("FailSafeServer"), "http://safe/");
  EXPECT_EQ(Stored("UpdateServerGroup"), "Beta");

  // Nothing stored: the file is not rewritten.
  const std::string before = ReadFile(StorePath());
  DeleteDefaultServers(settings_.get());
  EXPECT_EQ(ReadFile(StorePath()), before);
  DeleteDefaultServers(nullptr);
}

}  // namespace
}  // namespace upd::test
