#include "repository/client/repository_urls.h"

#include <algorithm>
#include <cstring>

#include "platform/util/host_fields.h"
#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/text_helpers.h"
#include "platform/util/url_helpers.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/servers/configured_server.h"

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         AsciiStrNICmp(std::string(text.substr(0, prefix.size())).c_str(),
                       std::string(prefix).c_str(), prefix.size()) == 0;
}

// The path as a server splits it: escaped dots and separators decoded, '\'
// read as '/'.
std::string ServerView(std::string_view path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    std::string_view rest = path.substr(i);
    if (StartsWithNoCase(rest, "%2e")) {
      out += '.';
      i += 2;
    } else if (StartsWithNoCase(rest, "%2f") || StartsWithNoCase(rest, "%5c")) {
      out += '/';
      i += 2;
    } else {
      out += path[i] == '\\' ? '/' : path[i];
    }
  }
  return out;
}

bool HasParentSegment(std::string_view path) {
  const std::string view = ServerView(path);
  size_t start = 0;
  while (start <= view.size()) {
    size_t end = view.find('/', start);
    if (end == std::string::npos) end = view.size();
    if (std::string_view(view).substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

std::string RepositoryBaseUrl(const UPDATER_SETTINGS& settings) {
  std::string server = HostFieldString(settings.updateServer);
  if (!server.empty() && !IsAutoSelectServer(server.c_str())) return server;
  std::string_view root = settings.releaseChannel == UPD_CHANNEL_PRE_RELEASE ? kPreReleaseRoot
                                                                            : kReleaseRoot;
  return std::string(kDefaultRepositoryServer) + std::string(root);
}

std::string GetRepositoryPlatformName(const RepositoryOsInfo& info) {
  std::string name = HostFieldString(info.type);
  if (name.empty()) name = GetPlatformName();
  return name == "linux" ? "other_linux" : name;
}

std::string BuildRepositoryUrl(std::string_view base, std::string_view name,
                               std::string_view file) {
  std::string folder(name);
  std::replace(folder.begin(), folder.end(), '.', '/');
  return PathJoinString(PathJoinString(base, folder), file);
}

std::string MakeAbsoluteRepositoryUrl(std::optional<std::string_view> scheme_prefix,
                                      std::string_view path, bool protocol_relative) {
  if (!protocol_relative) return std::string(path);
  std::string scheme(scheme_prefix.value_or("http://"));
  if (StrEndsWithEx(scheme, "//", true)) scheme.resize(scheme.size() - 2);
  return scheme + std::string(path);
}

bool IsNetworkUrl(std::string_view url) {
  return StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
}

bool IsAcceptedRepositoryPath(std::string_view path) {
  // A NUL would hide the rest of the path from every C-string check after
  // this one.
  if (path.find('\0') != std::string_view::npos || HasParentSegment(path)) return false;
  std::string text(path);
  if (!IsRemotePath(text.c_str()).remote || path.starts_with("//")) return true;
  return IsNetworkUrl(path);
}
