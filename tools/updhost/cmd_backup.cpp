// Commands of the backup snapshots: take one, roll back, and the block that
// a rollback leaves.

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"

namespace updhost {
namespace {

using Args = std::vector<std::string>;

constexpr UPD_ERROR kOk = 0;

// Keeps as many snapshots as --backup KEEP:DAYS says (none without it).
CommandOutcome Snapshot(HostSession& session, const Args&) {
  return {UPDHOST_EXPORT(session, UpdBackupCreateSnapshot2)(session.context(), session.settings()),
          ""};
}

// Blocks updates until --until TIME when it is given.
CommandOutcome Rollback(HostSession& session, const Args&) {
  return {UPDHOST_EXPORT(session, UpdBackupRollback)(session.context(), session.options().until),
          ""};
}

// "blocked 1" and "until TIME" while updates are blocked, else "blocked 0".
CommandOutcome Blocked(HostSession& session, const Args&) {
  uint32_t until = 0;
  const uint8_t blocked =
      UPDHOST_EXPORT(session, UpdBackupIsUpdateBlocked)(session.context(), &until);
  std::printf("blocked %u\n", static_cast<unsigned>(blocked));
  if (blocked != 0) std::printf("until %u\n", until);
  return {kOk, ""};
}

CommandOutcome Unblock(HostSession& session, const Args&) {
  return {UPDHOST_EXPORT(session, UpdBackupUnblockUpdate)(session.context()), ""};
}

CommandOutcome Snapshots(HostSession& session, const Args&) {
  std::printf("snapshots %d\n",
              UPDHOST_EXPORT(session, UpdBackupGetStoredSnapshotsCount)(session.context()));
  return {kOk, ""};
}

const Registrar kSnapshot("snapshot", {"snapshot", 0, false, Snapshot});
const Registrar kRollback("rollback", {"rollback [--until TIME]", 0, false, Rollback});
const Registrar kBlocked("blocked", {"blocked", 0, false, Blocked});
const Registrar kUnblock("unblock", {"unblock", 0, false, Unblock});
const Registrar kSnapshots("snapshots", {"snapshots", 0, false, Snapshots});

}  // namespace
}  // namespace updhost
