#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace updhost {

// One command of the command line with its positional arguments; the first
// comes before the options, each later one after "--then".
struct CommandLine {
  std::string name;
  std::vector<std::string> args;
};

struct HostOptions {
  std::string library;  // empty: the built library next to updhost
  std::vector<CommandLine> commands;

  // The context (UPDATER_INIT_PARAMS).
  std::string data;
  std::string modules;
  std::optional<std::string> engine;  // default: the modules folder
  std::optional<std::string> pico;
  std::optional<std::string> cert_folder;
  std::optional<std::string> app_version;

  // The settings (UPDATER_SETTINGS).
  std::string server = "AUTOSELECT";
  std::string second_server;
  std::string user;
  std::string password;
  std::optional<std::string> proxy_host;
  uint32_t proxy_port = 0;
  std::string proxy_user;
  std::string proxy_password;
  bool direct_retry = false;
  std::optional<std::string> store;  // default: DATA/settings.ini
  uint32_t channel = 0;
  uint32_t group = 0;
  bool gate = false;
  std::optional<uint32_t> backup_keep;
  uint32_t backup_days = 0;
  std::optional<uint32_t> confirm_limit_kib;
  uint32_t until = 0;
  // The mirror (MIRROR_SETTINGS).
  std::optional<std::string> mirror;
  uint32_t mirror_type = 0;
  bool plain_only = false;  // rollback: block updates until then (seconds since 1970)
  // The folder of packages that setup-engines installs from.
  std::optional<std::string> packages;

  // The host's answers to the events.
  std::string groups = "engine";              // event 19
  bool refuse_large = false;                  // event 20
  std::string user_agent = "updhost";         // event 15
  std::optional<std::string> refuse_address;  // event 23
  std::optional<double> abort_after_seconds;
  uint32_t install_answer = 0;                // event 41

  // The application update: the host's further products and its accepted
  // agreements, and how the run treats a new agreement.
  std::vector<std::string> products;    // NAME:VERSION:FORMAT:PATH
  std::vector<std::string> components;  // NAME:VERSION:HASH
  bool agree = false;
  bool skip_agreement = false;
};

// The options, or an error message for a usage error.
struct ParsedOptions {
  HostOptions options;
  std::string error;  // non-empty: a usage error
};

ParsedOptions ParseOptions(int argc, char** argv);

// A decimal 32-bit number filling the whole text.
bool ParseU32(std::string_view text, uint32_t* out);

}  // namespace updhost
