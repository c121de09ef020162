// The mirror run: the options' mirror folder becomes a server for other
// installations.

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"

namespace updhost {
namespace {

// Mirror events go to standard error; the update hash is not available.
uint32_t MirrorEvent(uint32_t code, void* data, void*) {
  if (code == MIRROR_EVENT_ERROR) {
    std::fprintf(stderr, "mirror error 0x%04X\n", *static_cast<const uint32_t*>(data));
  } else if (code == MIRROR_EVENT_PCU_STAGED) {
    std::fprintf(stderr, "mirror staged %s\n", static_cast<const char*>(data));
  } else {
    std::fprintf(stderr, "mirror event %u\n", code);
  }
  return code == MIRROR_EVENT_GET_UPDATE_HASH ? 1 : 0;
}

CommandOutcome Mirror(HostSession& session, const std::vector<std::string>&) {
  const HostOptions& options = session.options();
  auto mirror = std::make_unique<MIRROR_SETTINGS>();
  std::memset(mirror.get(), 0, sizeof *mirror);
  mirror->enabled = 1;
  mirror->callback = &MirrorEvent;
  mirror->mirrorType = options.mirror_type;
  mirror->plainOnly = options.plain_only ? 1 : 0;
  const std::string folder = options.mirror.value_or("");
  if (folder.empty() || folder.size() >= sizeof mirror->mirrorFolder) {
    std::fprintf(stderr, "updhost: mirror needs --mirror DIR\n");
    return {0x1301, ""};
  }
  std::memcpy(mirror->mirrorFolder, folder.c_str(), folder.size() + 1);
  auto settings = std::make_unique<UPDATER_SETTINGS>(*session.settings());
  settings->mirrorSettings = mirror.get();
  return {UPDHOST_EXPORT(session, UpdPerformMirror)(session.context(), settings.get()), ""};
}

const Registrar kMirror("mirror", {"mirror", 0, false, Mirror});

}  // namespace
}  // namespace updhost
