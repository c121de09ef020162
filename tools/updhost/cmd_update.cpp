// The module update run.

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"

namespace updhost {
namespace {

// The result line ends with the run's result flags: "result 0xXXXX flags 0xXXXX".
CommandOutcome Update(HostSession& session, const std::vector<std::string>&) {
  uint32_t flags = 0;
  const UPD_ERROR result =
      UPDHOST_EXPORT(session, UpdPerformUpdate)(session.context(), session.settings(), &flags);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " flags 0x%04X", flags);
  return {result, suffix};
}

const Registrar kUpdate("update", {"update", 0, true, Update});

}  // namespace
}  // namespace updhost
