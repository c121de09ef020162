// An abort during a server-group switch: the call ends at once with the stop
// code, no later fetch starts, and what it leaves stored is a switch the next
// call finishes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "group_switch_fixture.h"
#include "platform/util/update_errors.h"
#include "run_fixture.h"
#include "support/settings_file.h"
#include "updater/api/context.h"

namespace upd::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

// The steps of a switch to "Prerelease" from the default group, and where an
// abort can come: in one of its three fetches, or while the left group's
// modules are kept.
const Calls kWholeSwitch = {"reset",        "fetch 1 -",          "fetch 1 Prerelease",
                            "save Release", "fetch 3 Prerelease", "close"};
constexpr int kAbortInSave = 0;

// kWholeSwitch up to and including its step `last`, then the close.
Calls SwitchUpTo(size_t last) {
  Calls calls(kWholeSwitch.begin(), kWholeSwitch.begin() + static_cast<std::ptrdiff_t>(last) + 1);
  calls.push_back("close");
  return calls;
}

TEST_F(GroupSwitch, AnAbortEndsTheSwitchAtEveryStepAndTheNextCallFinishesIt) {
  const struct {
    const char* name;
    int aborted_fetch;  // the fetch that raises the abort (kAbortInSave: the save)
    UpdError answer;    // what that fetch answers
    UpdError result;
    Calls calls;
    bool switched;  // the group stored and marked unfinished
  } cases[] = {
      {"in the old group's fetch", 1, kUpdStopped, kUpdStopped, SwitchUpTo(1), false},
      {"old group's fetch fails otherwise after the abort", 1, kUpdServerUnreachable,
       kUpdStopped, SwitchUpTo(1), false},
      {"old group's fetch done as the abort comes", 1, kUpdOk, kUpdStopped, SwitchUpTo(1), false},
      {"in the new group's fetch", 2, kUpdStopped, kUpdStopped, SwitchUpTo(2), true},
      {"new group's fetch done as the abort comes", 2, kUpdOk, kUpdStopped, SwitchUpTo(2), true},
      {"while the left group's modules are kept", kAbortInSave, kUpdOk, kUpdStopped,
       SwitchUpTo(3), true},
      {"in the final fetch", 3, kUpdStopped, kUpdStopped, kWholeSwitch, true},
      {"final fetch fails otherwise after the abort", 3, kUpdNotFound, kUpdStopped, kWholeSwitch,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteStore({"DefaultServerCount=1", "DefaultServer0=http://a/", "FailSafeServer=http://s/"});
    WriteFile(UpdateFolder() + "upd.ver", "old group");
    int fetches = 0;
    steps_.fetch = [&](uint32_t attempts) {
      const UpdError scripted = ScriptedFetch(attempts);
      if (++fetches != c.aborted_fetch) return scripted;
      context_->abort.Raise();
      return c.answer;
    };
    steps_.on_save = [&] {
      if (c.aborted_fetch == kAbortInSave) context_->abort.Raise();
    };
    EXPECT_EQ(Switch("Prerelease", 1), c.result);
    EXPECT_EQ(calls_, c.calls);
    if (c.switched) {
      EXPECT_EQ(Stored("UpdateServerGroup"), "Prerelease");
      EXPECT_EQ(Stored("SwitchUpdateGroupFinished"), "0");
      // As a failed final fetch leaves them: forgotten with the old group.
      EXPECT_FALSE(Stored("DefaultServerCount"));
      EXPECT_FALSE(fs::exists(UpdateFolder() + "upd.ver"));
    } else {
      EXPECT_FALSE(Stored("UpdateServerGroup"));
      EXPECT_FALSE(Stored("SwitchUpdateGroupFinished"));
      EXPECT_EQ(Stored("DefaultServerCount"), "1");
      EXPECT_EQ(ReadFile(UpdateFolder() + "upd.ver"), "old group");
    }
    EXPECT_EQ(Stored("FailSafeServer"), "http://s/");

    steps_.fetch = [this](uint32_t attempts) { return ScriptedFetch(attempts); };
    steps_.on_save = nullptr;
    EXPECT_EQ(Switch("Prerelease", 1), kUpdOk);
    EXPECT_EQ(calls_, c.switched ? (Calls{"reset", "fetch 3 Prerelease", "close"}) : kWholeSwitch);
    EXPECT_EQ(Stored("UpdateServerGroup"), "Prerelease");
    EXPECT_FALSE(Stored("SwitchUpdateGroupFinished"));
    std::filesystem::remove(StorePath());
  }
}

// What a host killed at any step of a switch leaves: the new group is never
// stored without the unfinished mark, from the new group's fetch to the end.
TEST_F(GroupSwitch, TheNewGroupIsStoredOnlyMarkedUnfinished) {
  Calls seen;
  const auto look = [&](const std::string& step) {
    seen.push_back(step + " " + Stored("UpdateServerGroup").value_or("-") + " " +
                   Stored("SwitchUpdateGroupFinished").value_or("-"));
  };
  steps_.fetch = [&](uint32_t attempts) {
    look("fetch");
    return ScriptedFetch(attempts);
  };
  steps_.on_save = [&] { look("save"); };
  EXPECT_EQ(Switch("Prerelease", 1), kUpdOk);
  EXPECT_EQ(seen, (Calls{"fetch - -", "fetch Prerelease 0", "save Prerelease 0",
                         "fetch Prerelease 0"}));
  EXPECT_FALSE(Stored("SwitchUpdateGroupFinished"));
}

// A final fetch that got its catalogue finishes the switch, though the abort
// came before the switch could look.
TEST_F(GroupSwitch, AFinalFetchThatSucceededFinishesTheSwitchDespiteAnAbort) {
  int fetches = 0;
  steps_.fetch = [&](uint32_t attempts) {
    const UpdError scripted = ScriptedFetch(attempts);
    if (++fetches == 3) context_->abort.Raise();
    return scripted;
  };
  EXPECT_EQ(Switch("Deferred", 1), kUpdOk);
  EXPECT_EQ(Stored("UpdateServerGroup"), "Deferred");
  EXPECT_FALSE(Stored("SwitchUpdateGroupFinished"));
}

// The retry of an unfinished switch answers the stop code, not
// kUpdGroupSwitchIncomplete, and stays unfinished.
TEST_F(GroupSwitch, AnAbortedRetryStaysUnfinished) {
  WriteStore({"UpdateServerGroup=Prerelease", "SwitchUpdateGroupFinished=0"});
  steps_.fetch = [this](uint32_t attempts) {
    static_cast<void>(ScriptedFetch(attempts));
    context_->abort.Raise();
    return UpdError{kUpdServerUnreachable};
  };
  EXPECT_EQ(Switch("Prerelease", 1), kUpdStopped);
  EXPECT_EQ(calls_, (Calls{"reset", "fetch 3 Prerelease", "close"}));
  EXPECT_EQ(Stored("SwitchUpdateGroupFinished"), "0");
}

// An abort raised before the switch looks at anything (while its call waited
// for the context, say) starts no fetch.
TEST_F(GroupSwitch, AnAbortBeforeTheFirstFetchStartsNone) {
  calls_.clear();
  context_->runCancel = context_->abort.TokenFromNow();
  context_->abort.Raise();
  UpdateRun run = BindRun(*context_);
  EXPECT_EQ(SwitchUpdateGroup(run, steps_, "Prerelease", 1), kUpdStopped);
  EXPECT_EQ(calls_, (Calls{"reset", "close"}));
  EXPECT_FALSE(Stored("UpdateServerGroup"));
}

// Sends one request to peer on a connection of its own and returns that
// connection's number once the peer read it (-1 when it never does). The
// peer numbers connections as it accepts them, in the order they were made:
// any connection the library made before this one has a lower number.
int MarkerConnection(const ScriptedPeer& peer) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(peer.port());
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const std::string request = "GET /marker HTTP/1.1\r\nHost: marker\r\n\r\n";
  int number = -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(request.size())) {
    const auto deadline = steady_clock::now() + std::chrono::seconds(30);
    while (number < 0 && steady_clock::now() < deadline) {
      for (const ScriptedPeer::Request& r : peer.Requests()) {
        if (r.raw.starts_with("GET /marker ")) number = r.connection;
      }
      if (number < 0) std::this_thread::sleep_for(milliseconds(10));
    }
  }
  close(fd);
  return number;
}

// Waits until peer read count requests.
bool WaitForRequests(const ScriptedPeer& peer, size_t count) {
  const auto deadline = steady_clock::now() + std::chrono::seconds(30);
  while (peer.Requests().size() < count) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return true;
}

// A library call on a thread of its own, aborted (until it ends) on every
// path out of the test.
class AbortedCall {
 public:
  AbortedCall(UPDATER_CONTEXT* context, std::function<UPD_ERROR()> call)
      : context_(context), thread_([this, call = std::move(call)] {
          const UPD_ERROR result = call();
          const std::lock_guard lock(mutex_);
          result_ = result;
          ended_at_ = steady_clock::now();
          ended_ = true;
          end_.notify_all();
        }) {}
  ~AbortedCall() {
    while (!EndsBy(steady_clock::now() + milliseconds(50))) UpdAbortUpdate(context_);
    thread_.join();
  }
  AbortedCall(const AbortedCall&) = delete;
  AbortedCall& operator=(const AbortedCall&) = delete;

  // Whether the call ended by deadline.
  bool EndsBy(steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return end_.wait_until(lock, deadline, [this] { return ended_; });
  }
  // Aborts the call and waits for its end, at most `patience`: how long it
  // took from the abort, nullopt when it did not end.
  std::optional<milliseconds> Abort(milliseconds patience) {
    const auto aborted_at = steady_clock::now();
    UpdAbortUpdate(context_);
    if (!EndsBy(aborted_at + patience)) return std::nullopt;
    const std::lock_guard lock(mutex_);
    return std::chrono::duration_cast<milliseconds>(ended_at_ - aborted_at);
  }
  UPD_ERROR result() {
    const std::lock_guard lock(mutex_);
    return result_;
  }

 private:
  UPDATER_CONTEXT* context_;
  std::mutex mutex_;
  std::condition_variable end_;
  bool ended_ = false;
  UPD_ERROR result_ = kUpdOk;
  steady_clock::time_point ended_at_;
  std::thread thread_;
};

// Long enough for any abort to have been seen on a loaded machine, far below
// the 60 s a stalled fetch waits for its answer.
constexpr milliseconds kPatience{10000};

// Answers a request with a 404 and closes, so that every request of the
// catalogue step comes on a connection of its own.
ScriptedConnection NotFound() {
  return {script::ReadRequest(),
          script::Send(HttpResponse("HTTP/1.1 404 Not Found", "gone", "Connection: close\r\n")),
          script::Close()};
}
ScriptedConnection Stalled() { return {script::ReadRequest(), script::Stall()}; }

// A switch against catalogue servers that stall: a scripted peer for the
// switch, nginx with a signed catalogue for the call after it.
class StalledSwitch : public RunFixture {
 protected:
  void SetUp() override {
    RunFixture::SetUp();
    host_.OnEvent(UPD_EVENT_SERVER_ALLOWED, [this](uint32_t, void*) {
      ++fetches_;
      return 0u;
    });
  }

  // How long an abort takes to end the host's own catalogue call on a
  // stalled server, on this machine now.
  milliseconds CatalogueAbortBaseline() {
    ScriptedPeer stalled(dir_.path().string(), {}, ScriptedPeer::Options().Otherwise(Stalled()));
    EXPECT_TRUE(stalled.running());
    SetText(host_.settings()->secondServer, stalled.Url());
    AbortedCall call(context_, [this] { return UpdDownloadVERFile(context_, host_.settings()); });
    EXPECT_TRUE(WaitForRequests(stalled, 1));
    const std::optional<milliseconds> took = call.Abort(kPatience);
    EXPECT_TRUE(took.has_value());
    EXPECT_EQ(call.result(), kUpdStopped);
    return took.value_or(kPatience);
  }

  // To "Prerelease" by its name, or as modules type 1.
  UPD_ERROR SwitchToPrerelease(bool by_type = false) {
    if (by_type) return UpdSwitchModulesType(context_, host_.settings(), 1);
    return UpdSwitchUpdateGroup(context_, host_.settings(), "Prerelease", 1);
  }

  // The server-address check comes once at the start of every fetch.
  std::atomic<int> fetches_{0};
};

TEST_F(StalledSwitch, AnAbortEndsTheSwitchInEachFetchAndTheNextCallCompletesIt) {
  const struct {
    const char* name;
    int stalled_fetch;
    bool switched;
    bool by_type;
  } cases[] = {
      {"stalls on the old group's fetch", 1, false, false},
      {"answers, then stalls on the new group's fetch", 2, true, false},
      {"answers, then stalls on the final fetch", 3, true, false},
      {"modules type 1 stalls on the final fetch", 3, true, true},
  };
  Publish({"--module", "em001:200"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(StorePath());
    fs::remove_all(UpdateFolder());
    const milliseconds baseline = CatalogueAbortBaseline();

    // Each answered fetch asks for the signed catalogue, then the plain one.
    const size_t answered = 2 * static_cast<size_t>(c.stalled_fetch - 1);
    ScriptedPeer peer(dir_.path().string(), std::vector<ScriptedConnection>(answered, NotFound()),
                      ScriptedPeer::Options().Otherwise(Stalled()));
    ASSERT_TRUE(peer.running());
    SetText(host_.settings()->secondServer, peer.Url());
    fetches_ = 0;
    const auto started = steady_clock::now();
    std::optional<milliseconds> took;
    int connections_at_abort = 0;
    UPD_ERROR result = kUpdOk;
    {
      AbortedCall call(context_, [&] { return SwitchToPrerelease(c.by_type); });
      ASSERT_TRUE(WaitForRequests(peer, answered + 1));
      ASSERT_EQ(fetches_.load(), c.stalled_fetch);
      // The abort comes well into the stalled wait, as a host's would; the
      // stalled fetch waits far longer than that for its answer.
      ASSERT_FALSE(call.EndsBy(started + std::chrono::seconds(1)));
      connections_at_abort = peer.Connections();
      took = call.Abort(kPatience);
      result = call.result();
    }
    ASSERT_TRUE(took.has_value()) << "the switch went on after the abort";
    EXPECT_EQ(result, kUpdStopped);
    const std::string index = std::to_string(&c - cases);
    RecordProperty("abort_ms_" + index, static_cast<int>(took->count()));
    RecordProperty("baseline_ms_" + index, static_cast<int>(baseline.count()));
    EXPECT_LT(took->count(), std::max<int64_t>(300, 3 * baseline.count()));
    // No request after the stalled one reached the server.
    EXPECT_EQ(MarkerConnection(peer), connections_at_abort);
    EXPECT_EQ(peer.Requests().size(), answered + 2);
    EXPECT_EQ(fetches_.load(), c.stalled_fetch);
    if (c.switched) {
      EXPECT_EQ(StoredSetting(StorePath(), "UpdateServerGroup"), "Prerelease");
      EXPECT_EQ(StoredSetting(StorePath(), "SwitchUpdateGroupFinished"), "0");
    } else {
      EXPECT_FALSE(StoredSetting(StorePath(), "UpdateServerGroup"));
      EXPECT_FALSE(StoredSetting(StorePath(), "SwitchUpdateGroupFinished"));
    }

    SetText(host_.settings()->secondServer, server_->Url());
    EXPECT_EQ(SwitchToPrerelease(), kUpdOk);
    EXPECT_EQ(StoredSetting(StorePath(), "UpdateServerGroup"), "Prerelease");
    EXPECT_FALSE(StoredSetting(StorePath(), "SwitchUpdateGroupFinished"));
    EXPECT_TRUE(fs::exists(UpdateFolder() + "/upd.ver"));
    EXPECT_EQ(SwitchToPrerelease(), kUpdNoGroupChange);
  }
}

}  // namespace
}  // namespace upd::test
