#pragma once

#include <span>
#include <string_view>

namespace updprobe {

// Exit codes shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Arguments after the subcommand's own name.
using Args = std::span<char* const>;
using CommandFn = int (*)(Args args);

// Each subcommand group registers its commands from a static Registrar in
// its own source file, so adding a group never touches main.cpp.
struct Registrar {
  Registrar(std::string_view name, std::string_view usage, CommandFn fn);
};

int Usage(std::string_view message);

}  // namespace updprobe
