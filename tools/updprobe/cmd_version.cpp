#include <cstdio>

#include "command.h"

namespace updprobe {
namespace {

int Version(Args args) {
  if (!args.empty()) return Usage("version takes no arguments");
  std::printf("updprobe %s\n", UPD_VERSION);
  return kExitOk;
}

const Registrar kVersion("version", "version", Version);

}  // namespace
}  // namespace updprobe
