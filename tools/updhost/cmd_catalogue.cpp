// The catalogue command: fetches the update catalogue from the configured
// server (or a chosen one with --server AUTOSELECT) into the data folder's
// "updfiles/upd.ver", as the host's own catalogue download does.

#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"

namespace updhost {
namespace {

CommandOutcome Ver(HostSession& session, const std::vector<std::string>&) {
  return {UPDHOST_EXPORT(session, UpdDownloadVERFile)(session.context(), session.settings()), ""};
}

const Registrar kVer("ver", {"ver", 0, false, Ver});

}  // namespace
}  // namespace updhost
