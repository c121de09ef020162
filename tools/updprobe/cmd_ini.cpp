#include <cstdio>
#include <string_view>

#include "command.h"
#include "platform/os/os_error.h"
#include "platform/store/profile_file.h"

namespace updprobe {
namespace {

constexpr const char* kUsage =
    "ini get FILE SECTION KEY | ini set FILE SECTION KEY VALUE | ini sections FILE";

int Get(Args args) {
  if (args.size() != 3) return Usage("ini get FILE SECTION KEY");
  CProfileFile file;
  if (!file.Init(args[0])) {
    std::fprintf(stderr, "updprobe: cannot read %s\n", args[0]);
    return kExitFailure;
  }
  const char* value = file.GetValue(args[1], args[2], nullptr);
  if (value == nullptr) return kExitFailure;
  std::printf("%s\n", value);
  return kExitOk;
}

int Set(Args args) {
  if (args.size() != 4) return Usage("ini set FILE SECTION KEY VALUE");
  CProfileFile file;
  // A file that does not exist yet starts empty; one that cannot be read is
  // left alone rather than replaced.
  if (!file.Init(args[0]) && OsGetLastError() != kOsNotFound) {
    std::fprintf(stderr, "updprobe: cannot read %s\n", args[0]);
    return kExitFailure;
  }
  CProfileSection* section = file.GetOrAddSection(args[1]);
  if (section == nullptr || !section->SetValue(args[2], args[3]) || !file.Save(nullptr)) {
    std::fprintf(stderr, "updprobe: cannot write %s\n", args[0]);
    return kExitFailure;
  }
  return kExitOk;
}

int Sections(Args args) {
  if (args.size() != 1) return Usage("ini sections FILE");
  CProfileFile file;
  if (!file.Init(args[0])) {
    std::fprintf(stderr, "updprobe: cannot read %s\n", args[0]);
    return kExitFailure;
  }
  for (uint32_t i = 0; i < file.GetSectionCount(); ++i) std::printf("%s\n", file.GetSectionName(i));
  return kExitOk;
}

int Ini(Args args) {
  if (args.empty()) return Usage(kUsage);
  const std::string_view verb = args[0];
  const Args rest = args.subspan(1);
  if (verb == "get") return Get(rest);
  if (verb == "set") return Set(rest);
  if (verb == "sections") return Sections(rest);
  return Usage(kUsage);
}

const Registrar kIni("ini", kUsage, Ini);

}  // namespace
}  // namespace updprobe
