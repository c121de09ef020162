#include "updater/engine/servers/configured_server.h"

#include <algorithm>

#include "platform/util/host_fields.h"
#include "platform/util/strings.h"
#include "updater/engine/servers/default_servers.h"

namespace {

constexpr char kAutoSelect[] = "AUTOSELECT";
constexpr char kAuto[] = "auto";

void EnsureSlash(std::string& url) {
  if (url.empty() || url.back() != '/') url.push_back('/');
}

}  // namespace

std::string NormaliseServerUrl(std::string url) {
  std::replace(url.begin(), url.end(), '\\', '/');
  EnsureSlash(url);
  return url;
}

bool IsAutoSelectServer(const char* server) {
  return server != nullptr &&
         (AsciiStrICmp(server, kAutoSelect) == 0 || AsciiStrICmp(server, kAuto) == 0);
}

std::string ResolveServerUrl(const UPDATER_SETTINGS* settings, const char* suffix) {
  if (settings == nullptr) return "";
  const std::string configured = HostFieldString(settings->updateServer);
  const std::string server =
      IsAutoSelectServer(configured.c_str()) ? HostFieldString(settings->secondServer) : configured;
  if (server.empty()) return "";
  std::string url = NormaliseServerUrl(server);
  if (suffix != nullptr && *suffix != '\0') url = NormaliseServerUrl(url + suffix);
  return url;
}

bool IsMirrorUpdateUrl(const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return false;
  std::string server = HostFieldString(settings->updateServer);
  if (AsciiStrICmp(server.c_str(), kAutoSelect) == 0) return false;
  server.resize(std::min(server.size(), kMaxServerUrl));
  EnsureSlash(server);
  CDefServersArray stored;
  static_cast<void>(LoadDefaultServers(stored, settings, nullptr));
  return !stored.ContainsUrl(server.c_str());
}
