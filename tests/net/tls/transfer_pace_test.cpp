#include "net/tls/transfer_pace.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

// The minimum-rate bookkeeping on given times: no waiting, so each row can
// show where exactly a sliding minute is cut.
namespace {

struct Receive {
  uint64_t at_ms;
  uint64_t bytes;
};

struct PaceCase {
  const char* name;
  std::vector<Receive> receives;
  // Index of the receive at which the transfer is cut; none: never.
  std::optional<size_t> cut_at;
};

// bytes_per_second at the end of every second for `seconds`.
std::vector<Receive> Steady(uint64_t bytes_per_second, uint64_t seconds) {
  std::vector<Receive> receives;
  for (uint64_t s = 1; s <= seconds; ++s) receives.push_back({s * 1000, bytes_per_second});
  return receives;
}

TEST(TransferPace, CutsWhereAnyMinuteHoldsFewerThanTheRulesBytes) {
  std::vector<Receive> trickle;  // one byte every 5 s
  for (uint64_t at = 5000; at <= 90000; at += 5000) trickle.push_back({at, 1});
  std::vector<Receive> steady = Steady(1229, 200);
  std::vector<Receive> below = Steady(17, 90);  // 1,020 bytes a minute
  const PaceCase cases[] = {
      {"nothing at all: cut one minute after the start", {{59999, 0}, {60000, 0}}, 1},
      {"one full kilobyte keeps it until a minute after its slice",
       {{10, 1024}, {60999, 0}, {61000, 0}},
       2},
      {"a trickle of one byte every 5 s", trickle, 11},
      {"about 1.2 KiB/s for 200 s", steady, std::nullopt},
      {"17 bytes a second is below the rule", below, 59},
      // 1,023 bytes, then one byte that completes the kilobyte: the minute
      // after the first bytes' slice (2 s) still holds only two bytes at 62 s.
      // Windows that restart at each full kilobyte would miss it.
      {"a sliding minute, not fixed windows",
       {{1500, 1023}, {59900, 1}, {60000, 1}, {61999, 0}, {62000, 0}},
       4},
      // Bytes that waited in the socket while the caller was busy count before
      // the check.
      {"a late receive with enough bytes", {{10, 1024}, {70000, 2000}, {130999, 0}}, std::nullopt},
      {"a late receive with too few bytes", {{10, 1024}, {70000, 10}}, 1},
  };
  for (const PaceCase& c : cases) {
    SCOPED_TRACE(c.name);
    CTransferPace pace;
    pace.Start(kTransferMinimumRate, 0);
    std::optional<size_t> cut_at;
    for (size_t i = 0; i < c.receives.size() && !cut_at; ++i) {
      pace.Note(c.receives[i].at_ms, c.receives[i].bytes);
      if (pace.cut()) cut_at = i;
    }
    EXPECT_EQ(cut_at, c.cut_at);
  }
}

TEST(TransferPace, AWaitNeverOutlastsTheRule) {
  CTransferPace pace;
  pace.Start(kTransferMinimumRate, 1000);
  EXPECT_EQ(pace.WaitMs(60000), 60000);
  EXPECT_EQ(pace.WaitMs(100), 100);
  EXPECT_EQ(pace.WaitMs(-1), 60000);  // no limit of its own
  // Counted from the last receive.
  pace.Note(31000, 0);
  EXPECT_EQ(pace.WaitMs(60000), 30000);
  EXPECT_EQ(pace.deadline_ms(), 61000u);
  // A full kilobyte moves the deadline to a minute after its slice.
  pace.Note(31500, 4096);
  EXPECT_EQ(pace.deadline_ms(), 92000u);
  EXPECT_EQ(pace.WaitMs(INT_MAX), 92000 - 31500);
  pace.Note(92000, 0);
  EXPECT_TRUE(pace.cut());
  EXPECT_EQ(pace.WaitMs(60000), 0);
  // A new transfer starts afresh.
  pace.Start(kTransferMinimumRate, 200000);
  EXPECT_FALSE(pace.cut());
  EXPECT_EQ(pace.WaitMs(60000), 60000);
}

TEST(TransferPace, AnUnboundedRuleTracksNothing) {
  for (const MinimumRate rule : {MinimumRate{}, MinimumRate{1024, 0}, MinimumRate{0, 60}}) {
    CTransferPace pace;
    pace.Start(rule, 0);
    EXPECT_FALSE(pace.active());
    pace.Note(uint64_t{1} << 40, 0);
    EXPECT_FALSE(pace.cut());
    EXPECT_EQ(pace.WaitMs(-1), -1);
    EXPECT_EQ(pace.WaitMs(5), 5);
  }
  // Never started: no bound either.
  CTransferPace fresh;
  EXPECT_FALSE(fresh.active());
  EXPECT_EQ(fresh.WaitMs(60000), 60000);
}

}  // namespace
