#pragma once

#include <cstdint>
#include <string_view>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/run/update_run.h"

class CBackupStore;

// Switching the server group (release, pre-release, deferred or the host's
// own): the stored group changes, the update folder is emptied and the
// catalogue of the new group is fetched. "SwitchUpdateGroupFinished" = 0
// marks a switch whose last fetch did not succeed; the next call without a
// change retries that fetch.
//
// An abort of the call ends the switch at once (kUpdStopped): its fetches
// take the run's token and the switch polls it between its steps. What is
// stored stays a state the next call finishes: the group not yet changed, or
// changed and marked unfinished. The mark is written before the group, so a
// host killed in the middle leaves that state too.

// What a switch asks of the engine besides the settings store and the update
// folder; tests put steps of their own behind it.
class GroupSwitchSteps {
 public:
  // The catalogue step of the run, with this many rounds.
  [[nodiscard]] virtual UpdError FetchCatalogue(uint32_t attempts) = 0;
  // Keeps the installed modules that are newer than what the new group's last
  // catalogue offers in the backup sub-folder group_left.
  virtual void SaveModulesOfLeftGroup(const char* group_left) = 0;
  // The download session: forget the host's verdicts and abort flags at the
  // start; close both HTTP connections on every return.
  virtual void ResetSession() = 0;
  virtual void CloseConnections() = 0;

 protected:
  ~GroupSwitchSteps() = default;
};

// The engine's steps on a run: each fetch is the run's catalogue step in mode
// 1 on a freshly reset session, as the host's own catalogue download is, with
// the run's token.
class EngineGroupSwitchSteps final : public GroupSwitchSteps {
 public:
  EngineGroupSwitchSteps(UpdateRun& run, EngineServices& services)
      : run_(run), services_(services) {}

  [[nodiscard]] UpdError FetchCatalogue(uint32_t attempts) override;
  void SaveModulesOfLeftGroup(const char* group_left) override;
  void ResetSession() override;
  void CloseConnections() override;

 private:
  UpdateRun& run_;
  EngineServices& services_;
};

// A group name that may become a folder name under "backup": not empty, at
// most kMaxGroupName characters (the store reads no more back), no '/' and
// no "..", and not ".".
[[nodiscard]] bool IsPlainGroupName(std::string_view name);

// UpdSwitchUpdateGroup once its entry checks passed, with the context locked
// and the run bound (its settings, update folder, last catalogue and token).
// set non-zero switches to group; set 0 goes back to the group stored before
// the host's last switch to "Prerelease" or "Deferred". kUpdSettingsUnreadable
// without a store; kUpdInvalidArgument for a missing or not plain group;
// kUpdNoGroupChange when nothing is to change; kUpdStopped once aborted;
// kUpdGroupSwitchIncomplete when the retried fetch of an unfinished switch
// failed; else the result of the switch's final fetch.
[[nodiscard]] UpdError SwitchUpdateGroup(UpdateRun& run, EngineServices& services,
                                         const char* group, uint32_t set);
// The same through steps of the caller's.
[[nodiscard]] UpdError SwitchUpdateGroup(UpdateRun& run, GroupSwitchSteps& steps,
                                         const char* group, uint32_t set);

// Lists the installed modules of modules_folder through the host's engine
// and parks in store, in the backup sub-folder group_left, each one whose
// build is above what the plain engine sections of last_catalogue offer for
// its module and platform (0 when nothing), so that leaving a group never
// throws away a newer module.
void SaveModulesOfLeftGroup(const UPDATER_SETTINGS* settings, const char* modules_folder,
                            const char* last_catalogue, CBackupStore& store,
                            const char* group_left);
