// Commands of the context, its times and control calls, and the small
// working exports.

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"

namespace updhost {
namespace {

using Args = std::vector<std::string>;

constexpr UPD_ERROR kOk = 0;

// "last-update" and "last-attempt": seconds since 1970, -1 when unknown.
void PrintTimes(HostSession& session) {
  const auto last_update = UPDHOST_EXPORT(session, UpdGetUpdateLastTime)(session.context());
  const auto last_attempt = UPDHOST_EXPORT(session, UpdGetUpdateLastAttemptTime)(session.context());
  std::printf("last-update %" PRId64 "\n", static_cast<int64_t>(last_update));
  std::printf("last-attempt %" PRId64 "\n", static_cast<int64_t>(last_attempt));
}

CommandOutcome Times(HostSession& session, const Args&) {
  UPDHOST_EXPORT(session, UpdLoadUpdateAttemptTime)(session.context(), session.settings());
  PrintTimes(session);
  return {kOk, ""};
}

CommandOutcome SaveTime(HostSession& session, const Args&) {
  UPDHOST_EXPORT(session, UpdSaveUpdateAttemptTime)(session.context(), session.settings());
  PrintTimes(session);
  return {kOk, ""};
}

CommandOutcome Cleanup(HostSession& session, const Args&) {
  return {UPDHOST_EXPORT(session, UpdCleanupModules)(session.context(), session.settings()), ""};
}

CommandOutcome ScannerVersion(HostSession& session, const Args&) {
  uint32_t build = 0;
  char version[256] = {};
  const UPD_ERROR result = UPDHOST_EXPORT(session, UpdGetScannerVersionEx2)(
      session.context(), session.settings(), &build, version, sizeof version);
  if (result == kOk) std::printf("build %u\nversion %s\n", build, version);
  return {result, ""};
}

// The size query first, then the text with exactly the size it asked for.
CommandOutcome Hash(HostSession& session, const Args&) {
  const auto retrieve = UPDHOST_EXPORT(session, UpdRetrieveUpdateHash);
  uint64_t size = 0;
  const UPD_ERROR query = retrieve(session.context(), nullptr, &size);
  if (size == 0) return {query, ""};
  std::vector<uint8_t> hash(size);
  const UPD_ERROR result = retrieve(session.context(), hash.data(), &size);
  if (result == kOk) std::printf("hash %s\n", reinterpret_cast<const char*>(hash.data()));
  return {result, ""};
}

CommandOutcome Stop(HostSession& session, const Args&) {
  UPDHOST_EXPORT(session, UpdStopUpdates)(session.context());
  return {kOk, ""};
}

CommandOutcome Reset(HostSession& session, const Args&) {
  UPDHOST_EXPORT(session, UpdResetUpdate)(session.context());
  return {kOk, ""};
}

const Registrar kTimes("times", {"times", 0, false, Times});
const Registrar kSaveTime("save-time", {"save-time", 0, false, SaveTime});
const Registrar kCleanup("cleanup", {"cleanup", 0, false, Cleanup});
const Registrar kScannerVersion("scanner-version", {"scanner-version", 0, false, ScannerVersion});
const Registrar kHash("hash", {"hash", 0, false, Hash});
const Registrar kStop("stop", {"stop", 0, false, Stop});
const Registrar kReset("reset", {"reset", 0, false, Reset});

}  // namespace
}  // namespace updhost
