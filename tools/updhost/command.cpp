#include "command.h"

#include <map>

namespace updhost {
namespace {

std::map<std::string, CommandInfo, std::less<>>& Commands() {
  static std::map<std::string, CommandInfo, std::less<>> commands;
  return commands;
}

}  // namespace

Registrar::Registrar(std::string_view name, CommandInfo info) {
  Commands().emplace(std::string(name), info);
}

const CommandInfo* FindCommand(std::string_view name) {
  const auto command = Commands().find(name);
  return command == Commands().end() ? nullptr : &command->second;
}

std::string CommandNames() {
  std::string names;
  for (const auto& [name, info] : Commands()) {
    if (!names.empty()) names += ", ";
    names += info.usage;
  }
  return names;
}

}  // namespace updhost
