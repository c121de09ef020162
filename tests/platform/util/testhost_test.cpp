#include <gtest/gtest.h>

#include "testhost/allocator_host.h"
#include "testhost/engine_host.h"
#include "testhost/event_host.h"

namespace {

using upd::testhost::AllocatorHost;
using upd::testhost::EngineHost;
using upd::testhost::EventHost;

// The test host itself: later tests rely on what it records and answers.
TEST(TestHost, AllocatorCountsFailsAndSpotsForeignFrees) {
  AllocatorHost host;
  const ApiAllocator* allocator = host.allocator();
  void* a = allocator->Allocate(16);
  void* b = allocator->Allocate(0);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_TRUE(host.Owns(a));
  allocator->Free(a);
  EXPECT_EQ(host.allocations(), 2u);
  EXPECT_EQ(host.live(), 1u);
  int local = 0;
  allocator->Free(&local);
  EXPECT_EQ(host.foreign_frees(), 1u);
  host.FailAfter(1);
  EXPECT_NE(allocator->Allocate(8), nullptr);
  EXPECT_EQ(allocator->Allocate(8), nullptr);
  EXPECT_EQ(host.live(), 2u);  // the destructor releases what is left
}

TEST(TestHost, NestedEngineHostsAnswerInTurn) {
  EngineHost outer;
  outer.Answer(ENGINE_FN_CLOSE_MODULE, 11);
  const ENGINE_DISPATCH pair = outer.dispatch();
  {
    EngineHost inner;
    inner.Answer(ENGINE_FN_CLOSE_MODULE, 22);
    EXPECT_EQ(pair.entry(ENGINE_FN_CLOSE_MODULE, uint64_t{0}), 22u);
  }
  EXPECT_EQ(pair.entry(ENGINE_FN_CLOSE_MODULE, uint64_t{0}), 11u);
  EXPECT_EQ(pair.hostWord, 0x5EEDu);
}

TEST(TestHost, EventsWithoutAKnownRecordKeepOnlyTheirId) {
  EventHost host;
  uint32_t data = 5;
  host.SetRecordSize(19, sizeof data);
  host.Answer(25, 3);
  EXPECT_EQ(EventHost::Callback(25, nullptr, host.settings()->userData), 3u);
  EXPECT_EQ(EventHost::Callback(19, &data, host.settings()->userData), 0u);
  ASSERT_EQ(host.events().size(), 2u);
  EXPECT_FALSE(host.events()[0].has_data);
  EXPECT_EQ(host.events()[1].As<uint32_t>(), 5u);
  EXPECT_EQ(host.EventsOf(19).size(), 1u);
  host.Clear();
  EXPECT_TRUE(host.events().empty());
}

}  // namespace
