#include "updater/engine/servers/server_list.h"

#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <thread>
#include <vector>

#include "server_fixture.h"
#include "updater/engine/servers/server_draw.h"
#include "updater/engine/servers/server_roulette.h"

namespace upd::test {
namespace {

// A draw that answers a script and records the totals it was asked for.
struct ScriptedDraw {
  std::deque<uint32_t> answers;
  std::vector<uint32_t> totals;

  ServerDraw Seam() {
    return [this](uint32_t total) {
      totals.push_back(total);
      const uint32_t x = answers.front();
      answers.pop_front();
      return x;
    };
  }
};

TEST(ServerList, RunningTotalsAndOwnWeights) {
  CDefServersArray servers = MakeServers({{"a", 2}, {"b", 3}, {"c", 5}});
  ToRunningTotals(servers);
  EXPECT_EQ(Entries(servers), (ServerEntries{{"a", 2}, {"b", 5}, {"c", 10}}));
  EXPECT_EQ(TotalWeight(servers), 10u);
  EXPECT_EQ(OwnWeight(servers, 0), 2u);
  EXPECT_EQ(OwnWeight(servers, 2), 5u);
  EXPECT_EQ(TotalWeight(CDefServersArray()), 0u);
}

// Totals that would pass 32 bits stay at the top instead of wrapping, which
// would make a later server unreachable and an earlier one drawn twice.
TEST(ServerList, RunningTotalsStopAtTheTop) {
  CDefServersArray servers = MakeServers({{"a", 0xF0000000u}, {"b", 0x20000000u}, {"c", 1}});
  ToRunningTotals(servers);
  EXPECT_EQ(Entries(servers),
            (ServerEntries{{"a", 0xF0000000u}, {"b", 0xFFFFFFFFu}, {"c", 0xFFFFFFFFu}}));
}

TEST(ServerList, DrawPicksTheFirstTotalAboveIt) {
  CDefServersArray servers = MakeServers({{"a", 2}, {"b", 0}, {"c", 3}});
  ToRunningTotals(servers);  // 2, 2, 5
  const struct {
    uint32_t x;
    int64_t index;
  } cases[] = {{0, 0}, {1, 0}, {2, 2}, {4, 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(FindDrawnServer(servers, c.x), c.index) << c.x;
  }
  EXPECT_EQ(FindDrawnServer(servers, 5), std::nullopt);
}

TEST(ServerList, ContainsUrlFoldsAsciiCaseOnly) {
  const CDefServersArray servers = MakeServers({{"http://Srv.Test/upd/", 1}});
  EXPECT_TRUE(servers.ContainsUrl("HTTP://srv.test/UPD/"));
  EXPECT_FALSE(servers.ContainsUrl("http://srv.test/upd"));
  EXPECT_FALSE(servers.ContainsUrl(nullptr));
  EXPECT_FALSE(CDefServersArray().ContainsUrl("x"));
}

TEST(ServerRoulette, PickTakesTheServerOutOfTheTotals) {
  ScriptedDraw draw{{4}, {}};
  CServerRoulette roulette(MakeServers({{"a", 2}, {"b", 3}, {"c", 5}}), draw.Seam());
  EXPECT_EQ(Entries(roulette.servers()), (ServerEntries{{"a", 2}, {"b", 5}, {"c", 10}}));
  const _DEF_SERVER* pick = roulette.PickServer();
  ASSERT_NE(pick, nullptr);
  EXPECT_STREQ(pick->url, "b");
  EXPECT_EQ(roulette.lastPick(), 1u);
  EXPECT_EQ(draw.totals, (std::vector<uint32_t>{10}));
  EXPECT_EQ(Entries(roulette.servers()), (ServerEntries{{"a", 2}, {"b", 2}, {"c", 7}}));
}

TEST(ServerRoulette, EveryServerWithWeightComesOnceThenNothing) {
  ScriptedDraw draw{{9, 0, 0, 0}, {}};
  CServerRoulette roulette(MakeServers({{"a", 2}, {"none", 0}, {"b", 3}, {"c", 5}}), draw.Seam());
  std::vector<std::string> picks;
  while (const _DEF_SERVER* pick = roulette.PickServer()) picks.emplace_back(pick->url);
  EXPECT_EQ(picks, (std::vector<std::string>{"c", "a", "b"}));
  EXPECT_EQ(draw.totals, (std::vector<uint32_t>{10, 5, 3}));
  EXPECT_EQ(roulette.lastPick(), CServerRoulette::kExhausted);
  EXPECT_EQ(roulette.PickServer(), nullptr);
  EXPECT_EQ(draw.answers.size(), 1u);  // no draw once exhausted
}

TEST(ServerRoulette, EmptyOrWeightlessListsGiveNothing) {
  for (ServerEntries entries : {ServerEntries{}, ServerEntries{{"a", 0}, {"b", 0}}}) {
    CServerRoulette roulette(MakeServers(entries), [](uint32_t) -> uint32_t {
      ADD_FAILURE() << "drawn";
      return 0;
    });
    EXPECT_EQ(roulette.PickServer(), nullptr);
    EXPECT_EQ(roulette.lastPick(), CServerRoulette::kExhausted);
  }
}

TEST(ServerRoulette, DrawOutOfRangeFallsToTheLastServer) {
  ScriptedDraw draw{{100}, {}};
  CServerRoulette roulette(MakeServers({{"a", 1}, {"b", 1}}), draw.Seam());
  const _DEF_SERVER* pick = roulette.PickServer();
  ASSERT_NE(pick, nullptr);
  EXPECT_STREQ(pick->url, "b");
}

// The roulette's default draw is the standard generator; every pick is a
// server not picked before.
TEST(ServerRoulette, StandardGeneratorVisitsEachServerOnce) {
  CServerRoulette roulette(MakeServers({{"a", 1}, {"b", 1000}, {"c", 7}}));
  std::multiset<std::string> picks;
  while (const _DEF_SERVER* pick = roulette.PickServer()) picks.insert(pick->url);
  EXPECT_EQ(picks, (std::multiset<std::string>{"a", "b", "c"}));
}

TEST(ServerDraws, DrawServerSkipsEmptyTotals) {
  CDefServersArray servers = MakeServers({{"a", 0}, {"b", 1}});
  ToRunningTotals(servers);
  ScriptedDraw draw{{0}, {}};
  EXPECT_EQ(DrawServer(servers, draw.Seam()), 1);
  EXPECT_EQ(draw.totals, (std::vector<uint32_t>{1}));
  CDefServersArray weightless = MakeServers({{"a", 0}});
  EXPECT_EQ(DrawServer(weightless, draw.Seam()), std::nullopt);
  EXPECT_EQ(DrawServer(CDefServersArray(), draw.Seam()), std::nullopt);
}

// Two servers of weights 1 and 0 (totals 1, 1): the first is always drawn;
// once its weight is taken out nothing is left to draw.
TEST(ServerDraws, FailedServerLeavesTheDraw) {
  CDefServersArray servers = MakeServers({{"one", 1}, {"zero", 0}});
  ToRunningTotals(servers);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(DrawServer(servers, DrawWithThreadTwister), 0);
  RemoveServerWeight(servers, 0);
  EXPECT_EQ(Entries(servers), (ServerEntries{{"one", 0}, {"zero", 0}}));
  EXPECT_EQ(DrawServer(servers, DrawWithThreadTwister), std::nullopt);
}

TEST(ServerDraws, SourcesStayInRangeAndReachEveryValue) {
  for (const ServerDraw& draw : {ServerDraw(DrawWithRand), ServerDraw(DrawWithThreadTwister)}) {
    std::set<uint32_t> seen;
    for (int i = 0; i < 2000; ++i) {
      const uint32_t x = draw(5);
      ASSERT_LT(x, 5u);
      seen.insert(x);
    }
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(draw(1), 0u);
    EXPECT_LT(draw(0xFFFFFFFFu), 0xFFFFFFFFu);
  }
}

// Each thread has its own twister seeded from the random device: threads
// started together do not draw the same sequence.
TEST(ServerDraws, ThreadsHaveTheirOwnTwister) {
  constexpr int kThreads = 4;
  std::vector<std::vector<uint32_t>> sequences(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&sequences, t] {
      for (int i = 0; i < 16; ++i) sequences[t].push_back(DrawWithThreadTwister(0xFFFFFFFFu));
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::set<std::vector<uint32_t>> distinct(sequences.begin(), sequences.end());
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads));
}

}  // namespace
}  // namespace upd::test
