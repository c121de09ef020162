#pragma once

#include <string>

#include "updater.h"

// The server that the host's settings name: a URL or path, or a word that
// lets the library choose.

// The server text with backslashes turned into '/' and '/' at the end.
[[nodiscard]] std::string NormaliseServerUrl(std::string url);

// "AUTOSELECT" or "auto", ASCII case folded: the library chooses the server.
[[nodiscard]] bool IsAutoSelectServer(const char* server);

// The configured server, or the second server when the library chooses,
// with suffix appended as a path part, backslashes turned into '/' and '/'
// at the end. Empty when that server is empty.
[[nodiscard]] std::string ResolveServerUrl(const UPDATER_SETTINGS* settings, const char* suffix);

// True when the configured server is a mirror: neither "AUTOSELECT" (ASCII
// case folded) nor one of the stored default servers, compared with '/' at
// the end. "auto" is therefore a mirror unless it is stored as a default
// server. False for null settings.
[[nodiscard]] bool IsMirrorUpdateUrl(const UPDATER_SETTINGS* settings);
