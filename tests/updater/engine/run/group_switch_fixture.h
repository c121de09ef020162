#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../servers/server_fixture.h"
#include "platform/util/update_errors.h"
#include "updater/api/context.h"
#include "updater/api/run_binding.h"
#include "updater/engine/run/server_group_switch.h"

namespace upd::test {

using Calls = std::vector<std::string>;

// Switch steps that write down what the switch asks of them; the fetch is the
// test's to script.
class RecordingSwitchSteps final : public GroupSwitchSteps {
 public:
  explicit RecordingSwitchSteps(Calls& calls) : calls_(calls) {}

  UpdError FetchCatalogue(uint32_t attempts) override { return fetch(attempts); }
  void SaveModulesOfLeftGroup(const char* group_left) override {
    calls_.push_back(std::string("save ") + group_left);
    if (on_save) on_save();
  }
  void ResetSession() override { calls_.push_back("reset"); }
  void CloseConnections() override { calls_.push_back("close"); }

  std::function<UpdError(uint32_t attempts)> fetch;
  std::function<void()> on_save;

 private:
  Calls& calls_;
};

// A context on the test's folders and switch steps that record what the
// switch asks of them; each fetch answers the next scripted result (0 when
// none is left) and, like the catalogue step, leaves a last catalogue.
class GroupSwitch : public ServerTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir_.file("modules"));
    std::filesystem::create_directories(dir_.file("data"));
    context_ = UpdInitialize(dir_.file("data").c_str(), dir_.file("modules").c_str(), "1.0", "");
    ASSERT_NE(context_, nullptr);
    context_->settings = settings_.get();
    std::filesystem::create_directories(UpdateFolder());
    steps_.fetch = [this](uint32_t attempts) { return ScriptedFetch(attempts); };
  }

  void TearDown() override { UpdUninitialize(context_); }

  std::string UpdateFolder() const { return dir_.file("data") + "/updfiles/"; }

  UpdError ScriptedFetch(uint32_t attempts) {
    calls_.push_back("fetch " + std::to_string(attempts) + " " +
                     Stored("UpdateServerGroup").value_or("-"));
    WriteFile(UpdateFolder() + "lastupd.ver", "[ENGINE]\n");
    if (fetch_results_.empty()) return UpdError{kUpdOk};
    const UpdError result = fetch_results_.front();
    fetch_results_.pop_front();
    return result;
  }

  // One switch call: its token taken as it enters, as the export's call does,
  // so an abort raised by an earlier case does not reach it.
  UpdError Switch(const char* group, uint32_t set) {
    calls_.clear();
    context_->runCancel = context_->abort.TokenFromNow();
    UpdateRun run = BindRun(*context_);
    return SwitchUpdateGroup(run, steps_, group, set);
  }

  UPDATER_CONTEXT* context_ = nullptr;
  Calls calls_;
  RecordingSwitchSteps steps_{calls_};
  std::deque<UpdError> fetch_results_;
};

}  // namespace upd::test
