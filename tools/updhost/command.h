#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "updater.h"

namespace updhost {

class HostSession;

// What a command reports: its result, and text that follows it on the
// "result 0xXXXX" line (the update's " flags 0xXXXX").
struct CommandOutcome {
  UPD_ERROR result = 0;
  std::string suffix;
};

using CommandFn = CommandOutcome (*)(HostSession& session, const std::vector<std::string>& args);
// A usage error for arguments that do not parse, empty when they do.
using ArgsCheck = std::string (*)(const std::vector<std::string>& args);

struct CommandInfo {
  std::string_view usage;  // "NAME [ARGS]"
  size_t arguments = 0;    // positional arguments the command takes
  // 0x5003 (nothing new) counts as success for the exit code.
  bool nothing_new_is_success = false;
  CommandFn fn = nullptr;
  ArgsCheck check_args = nullptr;  // none: any text will do
};

// Each command group registers its commands from a static Registrar in its
// own source file, so a later group never touches the frame.
struct Registrar {
  Registrar(std::string_view name, CommandInfo info);
};

// The registered command of that name, or null.
const CommandInfo* FindCommand(std::string_view name);
// The usages of every command, separated by ", ".
std::string CommandNames();

}  // namespace updhost
