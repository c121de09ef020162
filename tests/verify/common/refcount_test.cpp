#include "verify/common/refcount.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

struct Tracker {
  int destroyed = 0;
};

class Probe {
 public:
  explicit Probe(Tracker* tracker) : tracker_(tracker) {}
  virtual ~Probe() { ++tracker_->destroyed; }

 private:
  Tracker* tracker_;
};

class DerivedProbe : public Probe {
 public:
  DerivedProbe(Tracker* tracker, int value) : Probe(tracker), value(value) {}
  int value;
};

// A control block that records the order of its two release steps.
class OrderBlock final : public RefCountBase {
 public:
  explicit OrderBlock(std::string* log) : log_(log) {}
  void Dispose() override { *log_ += "D"; }
  void Destroy() override { *log_ += "X"; }

 private:
  std::string* log_;
};

TEST(RefCountBaseTest, LastReleaseDisposesThenDestroys) {
  std::string log;
  OrderBlock block(&log);
  block.AddRef();
  block.AddRef();
  EXPECT_EQ(block.Release(), 1);
  EXPECT_EQ(block.Release(), 1);
  EXPECT_EQ(log, "");
  EXPECT_EQ(block.Release(), 0);
  EXPECT_EQ(log, "DX");
}

TEST(CountedPtrTest, CopiesShareOneObjectDestroyedOnce) {
  Tracker tracker;
  {
    CountedPtr<Probe> a = MakeCounted<Probe>(&tracker);
    ASSERT_FALSE(a.IsEmpty());
    EXPECT_EQ(a.GetCount(), 1u);
    CountedPtr<Probe> b = a;
    CountedPtr<Probe> c;
    c = b;
    CountedPtr<Probe>& alias = c;
    c = alias;  // self-assignment keeps the reference
    EXPECT_EQ(a.GetCount(), 3u);
    CountedPtr<Probe> d = std::move(b);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(d.Get(), a.Get());
    EXPECT_EQ(a.GetCount(), 3u);
    c.Reset();
    d.Reset();
    EXPECT_EQ(tracker.destroyed, 0);
    EXPECT_EQ(a.GetCount(), 1u);
  }
  EXPECT_EQ(tracker.destroyed, 1);
}

TEST(CountedPtrTest, ObjectLivesInsideItsBlock) {
  Tracker tracker;
  CountedPtr<Probe> p = MakeCounted<Probe>(&tracker);
  auto* block = reinterpret_cast<const unsigned char*>(p.GetBlock());
  auto* object = reinterpret_cast<const unsigned char*>(p.Get());
  EXPECT_GT(object, block);
  EXPECT_LT(object, block + sizeof(RefCountObj<Probe>));
}

TEST(CountedPtrTest, DerivedConvertsToBaseAndBack) {
  Tracker tracker;
  {
    CountedPtr<DerivedProbe> derived = MakeCounted<DerivedProbe>(&tracker, 42);
    CountedPtr<Probe> base = derived;
    EXPECT_EQ(derived.GetCount(), 2u);
    derived.Reset();
    CountedPtr<DerivedProbe> again = base.StaticCast<DerivedProbe>();
    EXPECT_EQ(again->value, 42);
    EXPECT_EQ(base.GetCount(), 2u);
  }
  EXPECT_EQ(tracker.destroyed, 1);
}

TEST(RefCountDelTest, DeletesSeparateObjectThroughItsVirtualDestructor) {
  Tracker tracker;
  Probe* object = new DerivedProbe(&tracker, 1);
  RefCount_del<Probe>* block = RefCount_del<Probe>::Create(object);
  ASSERT_NE(block, nullptr);
  EXPECT_FALSE(block->IsConstructed());
  EXPECT_EQ(block->GetCount(), 1u);
  CountedPtr<Probe> p = CountedPtr<Probe>::Adopt(object, block);
  CountedPtr<Probe> q = p;
  p.Reset();
  EXPECT_EQ(tracker.destroyed, 0);
  q.Reset();
  EXPECT_EQ(tracker.destroyed, 1);
}

TEST(CountedPtrTest, CopiesOnManyThreadsKeepTheCountExact) {
  Tracker tracker;
  CountedPtr<Probe> shared = MakeCounted<Probe>(&tracker);
  constexpr int kThreads = 8;
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&shared] {
      for (int i = 0; i < kRounds; ++i) {
        CountedPtr<Probe> copy = shared;
        CountedPtr<Probe> second = copy;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(shared.GetCount(), 1u);
  shared.Reset();
  EXPECT_EQ(tracker.destroyed, 1);
}

}  // namespace
