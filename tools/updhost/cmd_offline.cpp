// Commands of the offline packages: install engine modules from a folder of
// packages, and download the packages of update groups into the data folder.

#include <cstdio>
#include <string>
#include <vector>

#include "command.h"
#include "host_session.h"
#include "testhost/allocator_host.h"

namespace updhost {
namespace {

using Args = std::vector<std::string>;

// The platform id of x64, the only one this host asks for.
constexpr uint32_t kHostPlatform = 1;

std::string Text(const HOST_STRING& string) {
  return string.capacity > 15 ? std::string(string.heapText, string.length)
                              : std::string(string.inlineText, string.length);
}

void FreeText(HOST_STRING& string) {
  if (string.capacity > 15) string.allocator->Free(string.heapText);
}

// Installs from --folder DIR for the groups of --groups.
CommandOutcome SetupEngines(HostSession& session, const Args&) {
  const HostOptions& options = session.options();
  if (!options.packages.has_value() || options.packages->empty()) {
    std::fprintf(stderr, "updhost: setup-engines needs --folder DIR\n");
    return {0x1301, ""};
  }
  const std::string engine = options.engine.value_or(options.modules);
  return {UPDHOST_EXPORT(session, UpdSetupEngines3)(session.settings(), engine.c_str(),
                                                    options.modules.c_str(),
                                                    options.packages->c_str(),
                                                    options.groups.c_str()),
          ""};
}

void PrintAndFree(UPD_NUP_INFO& info) {
  std::printf("nup %s build %u base 0x%08X platform %u version %s file %s path %s\n",
              Text(info.moduleName).c_str(), info.build, info.baseBuild, info.platformId,
              Text(info.version).c_str(), Text(info.fileName).c_str(),
              Text(info.packagePath).c_str());
  for (HOST_STRING* s : {&info.moduleName, &info.version, &info.packagePath, &info.fileName}) {
    FreeText(*s);
  }
}

// One line per package of GROUP (a comma list) downloaded for x64.
CommandOutcome DownloadNups(HostSession& session, const Args& args) {
  const HostOptions& options = session.options();
  upd::testhost::AllocatorHost allocator;
  const uint32_t platforms[] = {kHostPlatform};
  UPD_DOWNLOAD_NUPS_PARAMS params{};
  params.settings = session.settings();
  params.dataFolder = options.data.c_str();
  params.groups = args[0].c_str();
  params.certificateFolder = options.cert_folder ? options.cert_folder->c_str() : nullptr;
  params.platformIds = platforms;
  params.platformCount = 1;
  UPD_DOWNLOAD_NUPS_RESULT result{};
  result.cbSize = sizeof result;
  result.packages.allocator = allocator.allocator();
  const UPD_ERROR code = UPDHOST_EXPORT(session, UpdDownloadNups)(&params, &result);
  auto* packages = static_cast<UPD_NUP_INFO*>(result.packages.elements);
  for (uint64_t i = 0; i < result.packages.count; ++i) PrintAndFree(packages[i]);
  if (packages != nullptr) allocator.allocator()->Free(packages);
  return {code, ""};
}

const Registrar kSetupEngines("setup-engines", {"setup-engines", 0, true, SetupEngines});
const Registrar kDownloadNups("download-nups", {"download-nups GROUP", 1, false, DownloadNups});

}  // namespace
}  // namespace updhost
