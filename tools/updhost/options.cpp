#include "options.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <functional>
#include <map>
#include <string_view>

namespace updhost {
bool ParseU32(std::string_view text, uint32_t* out) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

namespace {

// "A:B" into two numbers.
bool ParsePair(std::string_view text, uint32_t* first, uint32_t* second) {
  const size_t colon = text.find(':');
  return colon != std::string_view::npos && ParseU32(text.substr(0, colon), first) &&
         ParseU32(text.substr(colon + 1), second);
}

bool ParseSeconds(std::string_view text, double* out) {
  const std::string copy(text);
  char* end = nullptr;
  *out = std::strtod(copy.c_str(), &end);
  return !copy.empty() && end == copy.c_str() + copy.size() && *out >= 0;
}

// An option's action on its value (flags get an empty one); false when the
// value does not parse.
using Setter = std::function<bool(HostOptions&, std::string_view)>;

struct OptionRule {
  bool takes_value;
  Setter set;
};

Setter Text(std::string HostOptions::*field) {
  return [field](HostOptions& o, std::string_view v) {
    o.*field = std::string(v);
    return true;
  };
}

Setter OptionalText(std::optional<std::string> HostOptions::*field) {
  return [field](HostOptions& o, std::string_view v) {
    o.*field = std::string(v);
    return true;
  };
}

Setter Number(uint32_t HostOptions::*field) {
  return [field](HostOptions& o, std::string_view v) { return ParseU32(v, &(o.*field)); };
}

Setter Flag(bool HostOptions::*field) {
  return [field](HostOptions& o, std::string_view) {
    o.*field = true;
    return true;
  };
}

// A repeated option whose value has parts fields separated by ':'.
Setter Append(std::vector<std::string> HostOptions::*field, size_t parts) {
  return [field, parts](HostOptions& o, std::string_view v) {
    if (static_cast<size_t>(std::count(v.begin(), v.end(), ':')) + 1 != parts) return false;
    (o.*field).emplace_back(v);
    return true;
  };
}

const std::map<std::string_view, OptionRule>& Options() {
  static const std::map<std::string_view, OptionRule> options = {
      {"--lib", {true, Text(&HostOptions::library)}},
      {"--data", {true, Text(&HostOptions::data)}},
      {"--modules", {true, Text(&HostOptions::modules)}},
      {"--engine", {true, OptionalText(&HostOptions::engine)}},
      {"--pico", {true, OptionalText(&HostOptions::pico)}},
      {"--cert-folder", {true, OptionalText(&HostOptions::cert_folder)}},
      {"--app-version", {true, OptionalText(&HostOptions::app_version)}},
      {"--server", {true, Text(&HostOptions::server)}},
      {"--second", {true, Text(&HostOptions::second_server)}},
      {"--user", {true, Text(&HostOptions::user)}},
      {"--password", {true, Text(&HostOptions::password)}},
      {"--proxy",
       {true,
        [](HostOptions& o, std::string_view v) {
          const size_t colon = v.rfind(':');
          if (colon == std::string_view::npos || colon == 0) return false;
          o.proxy_host = std::string(v.substr(0, colon));
          return ParseU32(v.substr(colon + 1), &o.proxy_port);
        }}},
      {"--proxy-user", {true, Text(&HostOptions::proxy_user)}},
      {"--proxy-password", {true, Text(&HostOptions::proxy_password)}},
      {"--direct-retry", {false, Flag(&HostOptions::direct_retry)}},
      {"--store", {true, OptionalText(&HostOptions::store)}},
      {"--channel", {true, Number(&HostOptions::channel)}},
      {"--group", {true, Number(&HostOptions::group)}},
      {"--groups", {true, Text(&HostOptions::groups)}},
      {"--gate", {false, Flag(&HostOptions::gate)}},
      {"--backup",
       {true,
        [](HostOptions& o, std::string_view v) {
          uint32_t keep = 0;
          if (!ParsePair(v, &keep, &o.backup_days)) return false;
          o.backup_keep = keep;
          return true;
        }}},
      {"--confirm-limit",
       {true,
        [](HostOptions& o, std::string_view v) {
          uint32_t limit = 0;
          if (!ParseU32(v, &limit)) return false;
          o.confirm_limit_kib = limit;
          return true;
        }}},
      {"--until", {true, Number(&HostOptions::until)}},
      {"--mirror", {true, OptionalText(&HostOptions::mirror)}},
      {"--type", {true, Number(&HostOptions::mirror_type)}},
      {"--folder", {true, OptionalText(&HostOptions::packages)}},
      {"--plain-only", {false, Flag(&HostOptions::plain_only)}},
      {"--refuse-large", {false, Flag(&HostOptions::refuse_large)}},
      {"--install-answer", {true, Number(&HostOptions::install_answer)}},
      {"--product", {true, Append(&HostOptions::products, 4)}},
      {"--component", {true, Append(&HostOptions::components, 3)}},
      {"--agree", {false, Flag(&HostOptions::agree)}},
      {"--skip-agreement", {false, Flag(&HostOptions::skip_agreement)}},
      {"--user-agent", {true, Text(&HostOptions::user_agent)}},
      {"--refuse-address", {true, OptionalText(&HostOptions::refuse_address)}},
      {"--abort-after",
       {true,
        [](HostOptions& o, std::string_view v) {
          double seconds = 0;
          if (!ParseSeconds(v, &seconds)) return false;
          o.abort_after_seconds = seconds;
          return true;
        }}},
  };
  return options;
}

}  // namespace

ParsedOptions ParseOptions(int argc, char** argv) {
  ParsedOptions parsed;
  HostOptions& options = parsed.options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--then") {
      if (i + 1 >= argc) return {options, "--then needs a command"};
      options.commands.push_back({argv[++i], {}});
      continue;
    }
    if (arg.substr(0, 2) != "--") {
      if (options.commands.empty()) {
        options.commands.push_back({std::string(arg), {}});
      } else {
        options.commands.back().args.emplace_back(arg);
      }
      continue;
    }
    const auto option = Options().find(arg);
    if (option == Options().end()) return {options, "unknown option " + std::string(arg)};
    std::string_view value;
    if (option->second.takes_value) {
      if (i + 1 >= argc) return {options, std::string(arg) + " needs a value"};
      value = argv[++i];
    }
    if (!option->second.set(options, value)) {
      return {options, "bad value for " + std::string(arg) + ": " + std::string(value)};
    }
  }
  if (options.commands.empty()) return {options, "no command"};
  if (options.data.empty()) return {options, "--data is required"};
  if (options.modules.empty()) return {options, "--modules is required"};
  return parsed;
}

}  // namespace updhost
