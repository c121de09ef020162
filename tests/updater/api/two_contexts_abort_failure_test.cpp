// Two library contexts in one process: an abort belongs to the context it
// names and to the call that entered before it, never to another context.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "updater.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

// One context on its own folders, with a host whose settings name one
// update server.
class Side {
 public:
  Side(const TempDir& dir, const std::string& name) : root_(dir.file(name)) {
    fs::create_directories(root_ + "/modules");
    fs::create_directories(root_ + "/data");
    host_.OnEvent(UPD_EVENT_UPDATE_GROUPS, [](uint32_t, void* data) {
      SafeStrCopy(static_cast<char*>(data), UPD_GROUP_LIST_SIZE, "engine");
      return 0u;
    });
    context_ = UpdInitialize((root_ + "/data").c_str(), (root_ + "/modules").c_str(), "1.0", "host");
  }
  ~Side() {
    if (context_ != nullptr) UpdUninitialize(context_);
  }
  Side(const Side&) = delete;
  Side& operator=(const Side&) = delete;

  // Settings of a run against server (a fresh host record for each).
  UPDATER_SETTINGS* SettingsFor(const NetServer& server, testhost::EventHost* host = nullptr) {
    if (host == nullptr) host = &host_;
    UPDATER_SETTINGS* settings = host->settings();
    SafeStrCopy(settings->settingsStore, sizeof(settings->settingsStore),
                ("file://" + root_ + "/settings.ini").c_str());
    SafeStrCopy(settings->updateServer, sizeof(settings->updateServer), "AUTOSELECT");
    SafeStrCopy(settings->secondServer, sizeof(settings->secondServer), server.Url().c_str());
    return settings;
  }

  UPD_ERROR Run(const UPDATER_SETTINGS* settings) {
    uint32_t flags = 0;
    return UpdPerformUpdate(context_, settings, &flags);
  }

  UPDATER_CONTEXT* context() const { return context_; }
  testhost::EventHost& host() { return host_; }

 private:
  std::string root_;
  testhost::EventHost host_;
  UPDATER_CONTEXT* context_ = nullptr;
};

// A call on a thread of its own, joined (after an abort of its context) on
// every path out of the test.
class Runner {
 public:
  Runner(Side& side, const UPDATER_SETTINGS* settings)
      : side_(side), thread_([this, settings] {
          result_ = side_.Run(settings);
          ended_at_ = steady_clock::now();
          finished_ = true;
        }) {}
  ~Runner() {
    if (!thread_.joinable()) return;
    UpdAbortUpdate(side_.context());
    thread_.join();
  }
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  void Join() { thread_.join(); }
  bool finished() const { return finished_.load(); }
  UPD_ERROR result() const { return result_; }
  steady_clock::time_point ended_at() const { return ended_at_; }

 private:
  Side& side_;
  std::atomic<bool> finished_{false};
  UPD_ERROR result_ = kUpdOk;
  steady_clock::time_point ended_at_;
  std::thread thread_;
};

class TwoContexts : public ::testing::Test {
 protected:
  TempDir dir_;
  Side a_{dir_, "a"};
  Side b_{dir_, "b"};
};

// Reads the request and never answers.
ScriptedConnection Stalled() { return {script::ReadRequest(), script::Stall()}; }

// Answers after a silence longer than the shortened waits of an abort.
ScriptedConnection LateNotFound() {
  return {script::ReadRequest(), script::Sleep(0.8),
          script::Send(HttpResponse("HTTP/1.1 404 Not Found", "gone")), script::Close()};
}

TEST_F(TwoContexts, AnAbortIsNotUndoneByARunStartingOnTheOtherContext) {
  ASSERT_NE(a_.context(), nullptr);
  ASSERT_NE(b_.context(), nullptr);
  ScriptedPeer stalled(dir_.path().string(), {}, ScriptedPeer::Options().Otherwise(Stalled()));
  ScriptedPeer other(dir_.path().string(), {}, ScriptedPeer::Options().Otherwise(LateNotFound()));
  ASSERT_TRUE(stalled.running());
  ASSERT_TRUE(other.running());

  Runner a(a_, a_.SettingsFor(stalled));
  ASSERT_TRUE(stalled.WaitForConnections(1));
  // The request went out and A waits for the answer.
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_FALSE(a.finished());

  const auto aborted_at = steady_clock::now();
  UpdAbortUpdate(a_.context());
  // B's run starts at once, while A's wait is still running.
  Runner b(b_, b_.SettingsFor(other));
  a.Join();
  const auto took = std::chrono::duration_cast<milliseconds>(a.ended_at() - aborted_at);
  EXPECT_EQ(a.result(), kUpdStopped);
  RecordProperty("abort_ms", static_cast<int>(took.count()));
  EXPECT_LT(took.count(), 300);
}

TEST_F(TwoContexts, AnAbortOfAnIdleContextLeavesTheOtherContextsTransferAlone) {
  ASSERT_NE(a_.context(), nullptr);
  ASSERT_NE(b_.context(), nullptr);
  ScriptedPeer late(dir_.path().string(), {}, ScriptedPeer::Options().Otherwise(LateNotFound()));
  ASSERT_TRUE(late.running());

  // What B's run ends with when nobody aborts anything.
  const UPD_ERROR undisturbed = b_.Run(b_.SettingsFor(late));
  ASSERT_NE(undisturbed, kUpdStopped);
  ASSERT_NE(undisturbed, kUpdConnectionClosed);
  const int connections = late.Connections();

  Runner b(b_, b_.SettingsFor(late));
  ASSERT_TRUE(late.WaitForConnections(connections + 1));
  std::this_thread::sleep_for(milliseconds(100));
  // A is idle; B waits in the middle of its silence.
  UpdAbortUpdate(a_.context());
  b.Join();
  EXPECT_EQ(b.result(), undisturbed);
}

TEST_F(TwoContexts, AnAbortRaisedWhileTheCallWaitsToEnterEndsItBeforeAnyDownload) {
  ASSERT_NE(a_.context(), nullptr);
  ScriptedPeer first_peer(dir_.path().string(), {}, ScriptedPeer::Options().Otherwise(Stalled()));
  ScriptedPeer second_peer(dir_.path().string(), {},
                           ScriptedPeer::Options().Otherwise(LateNotFound()));
  ASSERT_TRUE(first_peer.running());
  ASSERT_TRUE(second_peer.running());

  // The first call holds the context: its host keeps its first phase event
  // until the test lets it go.
  std::mutex mutex;
  std::condition_variable changed;
  bool holding = false;
  bool release = false;
  testhost::EventHost first_host;
  first_host.OnEvent(UPD_EVENT_UPDATE_GROUPS, [](uint32_t, void* data) {
    SafeStrCopy(static_cast<char*>(data), UPD_GROUP_LIST_SIZE, "engine");
    return 0u;
  });
  first_host.OnEvent(UPD_EVENT_PHASE, [&](uint32_t, void*) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!holding) {
      holding = true;
      changed.notify_all();
      changed.wait(lock, [&] { return release; });
    }
    return 0u;
  });
  struct Releaser {
    std::mutex& mutex;
    std::condition_variable& changed;
    bool& release;
    ~Releaser() {
      const std::lock_guard<std::mutex> lock(mutex);
      release = true;
      changed.notify_all();
    }
  };
  Runner first(a_, a_.SettingsFor(first_peer, &first_host));
  Releaser releaser{mutex, changed, release};
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(30), [&] { return holding; }));
  }

  // The second call enters and waits for the context lock; the abort comes
  // after its entry and before it could start any work.
  Runner second(a_, a_.SettingsFor(second_peer));
  Releaser releaser_of_second{mutex, changed, release};
  std::this_thread::sleep_for(milliseconds(300));
  ASSERT_FALSE(second.finished());
  UpdAbortUpdate(a_.context());
  {
    const std::lock_guard<std::mutex> lock(mutex);
    release = true;
    changed.notify_all();
  }
  first.Join();
  second.Join();
  EXPECT_EQ(first.result(), kUpdStopped);
  EXPECT_EQ(second.result(), kUpdStopped);
  // Neither call reached a server.
  EXPECT_EQ(first_peer.Connections(), 0);
  EXPECT_EQ(second_peer.Connections(), 0);

  // The abort does not reach the context's next call.
  const auto started = steady_clock::now();
  EXPECT_NE(a_.Run(a_.SettingsFor(second_peer)), kUpdStopped);
  EXPECT_GE(second_peer.Connections(), 1);
  EXPECT_GE(steady_clock::now() - started, milliseconds(700));
}

}  // namespace
}  // namespace upd::test
