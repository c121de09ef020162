// Commands of the pico updates: list the picos the catalogue announces, and
// fetch the new files of one of them.

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"
#include "options.h"
#include "testhost/allocator_host.h"

namespace updhost {
namespace {

using Args = std::vector<std::string>;

UPD_PICO_PARAMS PicoParams(HostSession& session, uint32_t id) {
  UPD_PICO_PARAMS params{};
  params.cbSize = sizeof params;
  params.context = session.context();
  params.settings = session.settings();
  params.picoId = id;
  return params;
}

// One line "pico ID interval SECONDS" per pico, in ascending id order.
CommandOutcome PicoList(HostSession& session, const Args&) {
  upd::testhost::AllocatorHost allocator;
  UPD_PICO_LIST_RESULT result{};
  result.cbSize = sizeof result;
  result.picos.allocator = allocator.allocator();
  const UPD_PICO_PARAMS params = PicoParams(session, 0);
  const UPD_ERROR code = UPDHOST_EXPORT(session, UpdGetPicoUpdates)(&params, &result);
  const auto* picos = static_cast<const UPD_PICO_INFO*>(result.picos.elements);
  for (uint64_t i = 0; i < result.picos.count; ++i) {
    std::printf("pico %u interval %u\n", picos[i].picoId, picos[i].interval);
  }
  if (result.picos.elements != nullptr) allocator.allocator()->Free(result.picos.elements);
  return {code, ""};
}

std::string CheckId(const Args& args) {
  uint32_t id = 0;
  return ParseU32(args[0], &id) ? "" : "pico: ID must be a number";
}

CommandOutcome Pico(HostSession& session, const Args& args) {
  uint32_t id = 0;
  static_cast<void>(ParseU32(args[0], &id));
  UPD_PICO_UPDATE_RESULT result{};
  result.cbSize = sizeof result;
  const UPD_PICO_PARAMS params = PicoParams(session, id);
  return {UPDHOST_EXPORT(session, UpdPerformPicoUpdate)(&params, &result), ""};
}

const Registrar kPicoList("pico-list", {"pico-list", 0, false, PicoList});
const Registrar kPico("pico", {"pico ID", 1, true, Pico, CheckId});

}  // namespace
}  // namespace updhost
