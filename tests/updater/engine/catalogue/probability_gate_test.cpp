#include "updater/engine/catalogue/probability_gate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "../catalogue_file_fixture.h"
#include "platform/os/os_time.h"

namespace upd::test {
namespace {

constexpr int64_t kNow = 1'700'000'000;
constexpr int64_t kHour = 3600;
// "UpdateMaxDelay" far beyond any time of this century.
constexpr int32_t kNoDelayLimit = -1;

TEST(ProbabilityGate, ArithmeticAsTheServersExpectIt) {
  const struct {
    const char* name;
    GateInput input;
    bool pass;
  } cases[] = {
      {"no probability", {0, kNoDelayLimit, std::nullopt, kNow, 0}, true},
      {"prob 10 after 25 hours is 0", {10, kNoDelayLimit, kNow - 25 * kHour, kNow, 0}, true},
      {"prob 10 after 5 hours is 2, draw 3", {10, kNoDelayLimit, kNow - 5 * kHour, kNow, 3}, true},
      {"prob 10 after 5 hours is 2, draw 0", {10, kNoDelayLimit, kNow - 5 * kHour, kNow, 0}, false},
      {"less than an hour divides nothing", {100, kNoDelayLimit, kNow - 3599, kNow, 0}, false},
      {"never attempted divides nothing", {10, kNoDelayLimit, std::nullopt, kNow, 0}, false},
      {"a future attempt divides nothing", {1, kNoDelayLimit, kNow + 99 * kHour, kNow, 0}, false},
      {"an attempt now divides nothing", {1, kNoDelayLimit, kNow, kNow, 0}, false},
      {"max delay 0", {10, 0, std::nullopt, kNow, 0}, true},
      {"max delay reached", {10, static_cast<int32_t>(kNow), std::nullopt, kNow, 0}, true},
      {"max delay one second ahead",
       {10, static_cast<int32_t>(kNow + 1), std::nullopt, kNow, 0},
       false},
      // The delay compares with the low 32 bits of the time.
      {"low bits of a late time reached", {10, 5, std::nullopt, (int64_t{1} << 32) + 5, 0}, true},
      {"low bits of a late time ahead", {10, 6, std::nullopt, (int64_t{1} << 32) + 5, 0}, false},
      // The product wraps in 32 bits and is read as signed.
      {"product 2^30", {1 << 30, kNoDelayLimit, std::nullopt, kNow, 1}, true},
      {"product 2^31 reads negative", {1 << 30, kNoDelayLimit, std::nullopt, kNow, 2}, false},
      {"product 3 * 2^30 reads negative", {1 << 30, kNoDelayLimit, std::nullopt, kNow, 3}, false},
      {"product 5 * 2^30 wraps to 2^30", {1 << 30, kNoDelayLimit, std::nullopt, kNow, 5}, true},
      {"prob 2^31 never passes, odd draw",
       {std::numeric_limits<int32_t>::min(), kNoDelayLimit, std::nullopt, kNow, 7},
       false},
      {"prob 2^31 never passes, even draw",
       {std::numeric_limits<int32_t>::min(), kNoDelayLimit, std::nullopt, kNow, 8},
       false},
      // A negative probability divides as unsigned: 0xFFFFFFFB / 2 = 0x7FFFFFFD.
      {"negative prob divided unsigned", {-5, kNoDelayLimit, kNow - 2 * kHour, kNow, 1}, true},
      {"the oldest attempt divides to 0",
       {10, kNoDelayLimit, std::numeric_limits<int64_t>::min(), kNow, 0},
       true},
  };
  for (const auto& c : cases) EXPECT_EQ(ProbabilityGateDecision(c.input), c.pass) << c.name;
}

using ProbabilityGateFile = CatalogueTest;

// "UpdateProb" 2^31 never passes the draw, and a delay of all ones is never
// reached: the gate of that section is closed whatever rand() gives.
constexpr char kClosed[] = "UpdateProb=2147483648\r\nUpdateMaxDelay=4294967295\r\n";

TEST_F(ProbabilityGateFile, EachGateReadsItsOwnSection) {
  const Catalogue setup = InMemory(std::string("[SETUP]\r\n") + kClosed);
  const Catalogue preliminary = InMemory(std::string("[PRELIMINARY]\r\n") + kClosed);
  EXPECT_FALSE(UpdateProbabilityGate(setup, std::nullopt));
  EXPECT_TRUE(PreliminaryUpdateGate(setup, std::nullopt));
  EXPECT_TRUE(UpdateProbabilityGate(preliminary, std::nullopt));
  EXPECT_FALSE(PreliminaryUpdateGate(preliminary, std::nullopt));
}

TEST_F(ProbabilityGateFile, TenPercentAfterTwentyFiveHoursPasses) {
  const Catalogue catalogue = InMemory(
      "[SETUP]\r\nUpdateProb=10\r\nUpdateMaxDelay=4294967295\r\n"
      "[PRELIMINARY]\r\nUpdateProb=10\r\nUpdateMaxDelay=4294967295\r\n");
  const int64_t last = OsTime() - 25 * kHour;
  for (int i = 0; i < 20; ++i) {
    EXPECT_TRUE(UpdateProbabilityGate(catalogue, last));
    EXPECT_TRUE(PreliminaryUpdateGate(catalogue, last));
  }
}

TEST_F(ProbabilityGateFile, WithoutTheKeysOrTheCatalogueTheGatesPass) {
  const Catalogue catalogue = InMemory("[SETUP]\r\nUpdateProb=10\r\n[PRELIMINARY]\r\n");
  EXPECT_TRUE(UpdateProbabilityGate(catalogue, std::nullopt));
  EXPECT_TRUE(PreliminaryUpdateGate(catalogue, std::nullopt));
  const Catalogue missing = FromTestFile("missing.ver");
  EXPECT_TRUE(UpdateProbabilityGate(missing, std::nullopt));
  EXPECT_TRUE(PreliminaryUpdateGate(missing, std::nullopt));
}

}  // namespace
}  // namespace upd::test
