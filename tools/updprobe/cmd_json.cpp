#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "probe_input.h"
#include "repository/json/json_parser.h"
#include "repository/json/json_writer.h"

namespace updprobe {
namespace {

// json FILE [--text]: 0 when the file parses as the repository client parses
// its documents, 1 when it is refused, 2 when it cannot be read. --text also
// prints the compact text of the root.
int Json(Args args) {
  const bool text = args.size() == 2 && std::string_view(args[1]) == "--text";
  if (args.size() != 1 && !text) return Usage("usage: json FILE [--text]");
  std::vector<uint8_t> data;
  if (!ReadInput(args[0], data)) {
    std::fprintf(stderr, "updprobe: cannot read %s\n", args[0]);
    return kExitUsage;
  }
  // The client hands over NUL-terminated texts.
  data.push_back(0);
  const wexajson::Value root =
      wexajson::Parse(reinterpret_cast<const char*>(data.data()), 0, wexajson::kDocumentDepth);
  if (root.IsUndefined()) {
    std::fprintf(stderr, "updprobe: %s does not parse\n", args[0]);
    return kExitFailure;
  }
  if (text) {
    const std::string line = wexajson::ToText(root) + "\n";
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() ||
        std::fflush(stdout) != 0) {
      return kExitFailure;
    }
  }
  return kExitOk;
}

const Registrar kJson("json", "json FILE [--text]", Json);

}  // namespace
}  // namespace updprobe
