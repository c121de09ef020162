// Commands of the server groups: switch to a named group, or to the group of
// a modules type (0 back to the host's own group, 1 pre-release, 2 deferred).

#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"
#include "options.h"

namespace updhost {
namespace {

using Args = std::vector<std::string>;

std::string CheckType(const Args& args) {
  uint32_t type = 0;
  return ParseU32(args[0], &type) ? "" : "switch-type: N must be a number";
}

CommandOutcome SwitchGroup(HostSession& session, const Args& args) {
  return {UPDHOST_EXPORT(session, UpdSwitchUpdateGroup)(session.context(), session.settings(),
                                                        args[0].c_str(), 1),
          ""};
}

CommandOutcome SwitchType(HostSession& session, const Args& args) {
  uint32_t type = 0;
  static_cast<void>(ParseU32(args[0], &type));
  return {
      UPDHOST_EXPORT(session, UpdSwitchModulesType)(session.context(), session.settings(), type),
      ""};
}

const Registrar kSwitchGroup("switch-group", {"switch-group NAME", 1, false, SwitchGroup});
const Registrar kSwitchType("switch-type", {"switch-type N", 1, false, SwitchType, CheckType});

}  // namespace
}  // namespace updhost
