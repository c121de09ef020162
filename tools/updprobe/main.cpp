#include <cstdio>
#include <map>
#include <string>

#include "command.h"

namespace updprobe {
namespace {

struct Entry {
  std::string usage;
  CommandFn fn;
};

std::map<std::string, Entry, std::less<>>& Commands() {
  static std::map<std::string, Entry, std::less<>> commands;
  return commands;
}

void PrintCommands() {
  std::fputs("usage: updprobe COMMAND [ARGS...]\n", stderr);
  for (const auto& [name, entry] : Commands()) std::fprintf(stderr, "  %s\n", entry.usage.c_str());
}

}  // namespace

Registrar::Registrar(std::string_view name, std::string_view usage, CommandFn fn) {
  Commands().emplace(std::string(name), Entry{std::string(usage), fn});
}

int Usage(std::string_view message) {
  std::fprintf(stderr, "updprobe: %.*s\n", static_cast<int>(message.size()), message.data());
  return kExitUsage;
}

}  // namespace updprobe

int main(int argc, char** argv) {
  using namespace updprobe;
  if (argc < 2) {
    PrintCommands();
    return kExitUsage;
  }
  auto it = Commands().find(std::string_view(argv[1]));
  if (it == Commands().end()) {
    std::fprintf(stderr, "updprobe: unknown command '%s'\n", argv[1]);
    PrintCommands();
    return kExitUsage;
  }
  return it->second.fn(Args(argv + 2, static_cast<size_t>(argc - 2)));
}
