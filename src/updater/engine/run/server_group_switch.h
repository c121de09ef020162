#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"

class CBackupStore;

// Switching the server group (release, pre-release, deferred or the host's
// own): the stored group changes, the update folder is emptied and the
// catalogue of the new group is fetched. "SwitchUpdateGroupFinished" = 0
// marks a switch whose last fetch failed; the next call without a change
// retries that fetch.

// What a switch needs from the rest of the engine. An empty step is skipped;
// an empty fetch answers kUpdNotSupported.
struct GroupSwitchSteps {
  // The catalogue step under the context lock, with this many rounds.
  std::function<UpdError(uint32_t attempts)> fetch_catalogue;
  // Keeps the installed modules that are newer than what the new group's last
  // catalogue offers in the backup sub-folder named group_left.
  std::function<void(const char* group_left)> save_modules_of_left_group;
  // The download session: forget the host's verdicts and abort flags at the
  // start; close both HTTP connections on every return.
  std::function<void()> reset_session;
  std::function<void()> close_connections;
};

// A group name that may become a folder name under "backup": not empty, at
// most kMaxGroupName characters (the store reads no more back), no '/' and
// no "..", and not ".".
[[nodiscard]] bool IsPlainGroupName(std::string_view name);

// UpdSwitchUpdateGroup once its entry checks passed, with the context locked
// and the settings bound (host: those settings and the update folder;
// last_catalogue: the context's last catalogue, which the fetches write).
// set non-zero switches to group; set 0 goes back to the group stored before
// the host's last switch to "Prerelease" or "Deferred". kUpdSettingsUnreadable
// without a store; kUpdInvalidArgument for a missing or not plain group;
// kUpdNoGroupChange when nothing is to change; kUpdGroupSwitchIncomplete when
// the retried fetch of an unfinished switch failed; else the result of the
// switch.
[[nodiscard]] UpdError SwitchUpdateGroup(const HostBinding& host, const char* last_catalogue,
                                         const char* group, uint32_t set,
                                         const GroupSwitchSteps& steps);

// Stores target as the group (empty: the default group) in place of left,
// the update folder emptied between the fetches of the old and the new
// group's catalogue; the result of the final fetch.
[[nodiscard]] UpdError SwitchServerGroup(const HostBinding& host, const char* last_catalogue,
                                         const std::string& target, const std::string& left,
                                         const GroupSwitchSteps& steps);

// Lists the installed modules of modules_folder through the host's engine
// and parks in store, in the backup sub-folder group_left, each one whose
// build is above what the plain engine sections of last_catalogue offer for
// its module and platform (0 when nothing), so that leaving a group never
// throws away a newer module.
void SaveModulesOfLeftGroup(const UPDATER_SETTINGS* settings, const char* modules_folder,
                            const char* last_catalogue, CBackupStore& store,
                            const char* group_left);
