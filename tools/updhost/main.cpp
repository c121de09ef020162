#include <cstdio>
#include <exception>

#include "command.h"
#include "host_session.h"
#include "options.h"

// updhost: the command-line host of libupdater.so. The last line on standard
// output is "result 0xXXXX"; events go to standard error. Exit 0 when the
// result is 0 (or 0x5003 where a command counts it as success), 1 for any
// other result, 2 for a usage error or a library that cannot be loaded.

namespace updhost {
namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr UPD_ERROR kNothingNew = 0x5003;

// One line: the problem, then how to call.
int Usage(const std::string& message) {
  std::fprintf(stderr,
               "updhost: %s; usage: updhost COMMAND --data DIR --modules DIR [OPTIONS]; "
               "commands: %s\n",
               message.c_str(), CommandNames().c_str());
  return kExitUsage;
}

// The commands of the command line, checked before anything runs.
std::string CheckCommands(const HostOptions& options) {
  for (const CommandLine& command : options.commands) {
    const CommandInfo* info = FindCommand(command.name);
    if (info == nullptr) return "unknown command " + command.name;
    if (command.args.size() != info->arguments) {
      return "usage: " + std::string(info->usage);
    }
    if (info->check_args != nullptr) {
      if (std::string error = info->check_args(command.args); !error.empty()) return error;
    }
  }
  return "";
}

int Run(const HostOptions& options) {
  HostSession session(options);
  if (std::string error = session.Load(); !error.empty()) return Usage(error);
  if (std::string error = session.PrepareSettings(); !error.empty()) return Usage(error);
  if (!session.CreateContext()) {
    std::printf("result 0x%04X\n", 0x3001u);
    return kExitFailure;
  }
  session.StartAbortTimer();
  int exit_code = kExitSuccess;
  for (const CommandLine& command : options.commands) {
    const CommandInfo* info = FindCommand(command.name);
    const CommandOutcome outcome = info->fn(session, command.args);
    session.events().EndProgress();
    std::printf("result 0x%04X%s\n", outcome.result, outcome.suffix.c_str());
    std::fflush(stdout);
    const bool success =
        outcome.result == 0 || (info->nothing_new_is_success && outcome.result == kNothingNew);
    exit_code = success ? kExitSuccess : kExitFailure;
  }
  const upd::testhost::EngineCounts& engine = session.events().engine_counts();
  if (!engine.Balanced()) {
    std::fprintf(stderr,
                 "updhost: engine use unbalanced: opens %zu closes %zu, events 26 %zu 27 %zu, "
                 "28 %zu 29 %zu\n",
                 engine.opens, engine.closes, engine.folder_requests, engine.folder_releases,
                 engine.requests, engine.releases);
  }
  return exit_code;
}

}  // namespace
}  // namespace updhost

int main(int argc, char** argv) {
  using namespace updhost;
  const ParsedOptions parsed = ParseOptions(argc, argv);
  if (!parsed.error.empty()) return Usage(parsed.error);
  if (std::string error = CheckCommands(parsed.options); !error.empty()) return Usage(error);
  try {
    return Run(parsed.options);
  } catch (const MissingExport& missing) {
    return Usage(std::string("the library lacks ") + missing.what());
  }
}
