#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/util/update_errors.h"
#include "run_fixture.h"
#include "updater/api/context.h"

namespace upd::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// Packages trickle out unless a range is asked for, so that a run can be
// caught in the middle of one and the next run's resumption is quick.
class AbortRunTest : public RunFixture {
 protected:
  NginxServer::Options ServerOptions() const override {
    return NginxServer::Options().ServerConf(
        "location /p/ { gzip off; if ($http_range = \"\") { set $limit_rate 8k; } }");
  }

  // The largest package file being written in the update folder.
  uint64_t LargestPartialPackage() const {
    uint64_t largest = 0;
    if (!fs::exists(UpdateFolder())) return 0;
    for (const auto& entry : fs::recursive_directory_iterator(UpdateFolder())) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.starts_with("zel")) {
        largest = std::max<uint64_t>(largest, entry.file_size());
      }
    }
    return largest;
  }
};

TEST_F(AbortRunTest, AnAbortFromAnotherThreadEndsTheRunAndTheNextRunResumesByRange) {
  // A module of 256 KiB takes half a minute at the trickle's rate.
  Publish({"--module", "em001:200", "--size", "262144"});
  std::atomic<bool> finished{false};
  UPD_ERROR result = kUpdOk;
  std::thread runner([&] {
    result = Run();
    finished = true;
  });
  // Whatever fails below, the run ends before the fixture goes.
  struct Joiner {
    UPDATER_CONTEXT* context;
    std::thread& thread;
    ~Joiner() {
      if (!thread.joinable()) return;
      UpdAbortUpdate(context);
      thread.join();
    }
  } joiner{context_, runner};
  // Wait until some of the package has arrived.
  const auto deadline = steady_clock::now() + std::chrono::seconds(30);
  while (!finished && LargestPartialPackage() < 16384 && steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(20));
  }
  ASSERT_FALSE(finished.load());
  ASSERT_EQ(context_->phase.load(), static_cast<uint32_t>(UPD_PHASE_DOWNLOADING));

  const auto aborted_at = steady_clock::now();
  UpdAbortUpdate(context_);
  runner.join();
  const auto took = std::chrono::duration_cast<milliseconds>(steady_clock::now() - aborted_at);
  EXPECT_EQ(result, kUpdStopped);
  RecordProperty("abort_ms", static_cast<int>(took.count()));
  // Every socket wait of the transports ends within 100 ms of an abort; the
  // bound leaves room for a loaded machine.
  EXPECT_LT(took.count(), 2000);
  EXPECT_EQ(flags_, kFlagObtained | kFlagNewCatalogue);
  EXPECT_FALSE(fs::exists(ModulePath("em001_64")));
  EXPECT_EQ(context_->phase.load(), static_cast<uint32_t>(UPD_PHASE_IDLE));

  // The next run asks for the rest only.
  ASSERT_EQ(Run(), kUpdOk);
  EXPECT_EQ(ReadFile(ModulePath("em001_64")), Module("em001_64", 200));
  bool resumed = false;
  for (const AccessLogEntry& entry : server_->AccessLog()) {
    if (entry.request.find("/p/em001_64-200.nup") == std::string::npos) continue;
    if (entry.range.starts_with("bytes=") && !entry.range.starts_with("bytes=0-")) {
      resumed = true;
      EXPECT_EQ(entry.status, 206);
    }
  }
  EXPECT_TRUE(resumed);
}

}  // namespace
}  // namespace upd::test
