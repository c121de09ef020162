#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "repository/client/repository_host_records.h"
#include "updater.h"

// URL arithmetic of the repository client: the repository root, product
// folders and the paths that repository documents give.

// The default repository server; the paths below it are fixed.
inline constexpr std::string_view kDefaultRepositoryServer = "http://repository.wexa-update.net";
inline constexpr std::string_view kReleaseRoot = "/v1/";
inline constexpr std::string_view kPreReleaseRoot = "/prerelease/v1/";

// The configured update server unchanged, unless it is empty, "AUTOSELECT"
// or "auto" (letter case folded): then the default root of the channel.
[[nodiscard]] std::string RepositoryBaseUrl(const UPDATER_SETTINGS& settings);

// The repository's operating-system word: the host's type text, else the
// library's platform, "linux" being sent as "other_linux".
[[nodiscard]] std::string GetRepositoryPlatformName(const RepositoryOsInfo& info);

// base / name with every '.' as '/' / file, one '/' between the parts.
[[nodiscard]] std::string BuildRepositoryUrl(std::string_view base, std::string_view name,
                                             std::string_view file);

// A "//server/path" given the scheme of scheme_prefix ("HTTPS://" gives
// "HTTPS://server/path"), or "http:" without one. Any other path unchanged.
[[nodiscard]] std::string MakeAbsoluteRepositoryUrl(std::optional<std::string_view> scheme_prefix,
                                                    std::string_view path,
                                                    bool protocol_relative);

// Whether a path from a repository document may be followed: it holds no
// ".." segment (also percent-encoded), so a relative path stays below the
// configured server's root, and when it names its own server that server is
// reached over HTTP or HTTPS, never as a local or shared file.
// A "//server/path" is checked on the URL it becomes (IsNetworkUrl).
[[nodiscard]] bool IsAcceptedRepositoryPath(std::string_view path);
// "http://" or "https://" in any letter case.
[[nodiscard]] bool IsNetworkUrl(std::string_view url);
