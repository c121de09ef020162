#pragma once

#include <cstdint>

#include "platform/store/profile_file.h"
#include "updater.h"
#include "updater/engine/servers/server_list.h"

// Server groups: the host picks one (stored as "UpdateServerGroup"), and a
// catalogue lists the servers of each group under "<group>-<number>", where
// the number is the settings' server-group parameter.

inline constexpr char kGroupRelease[] = "Release";
inline constexpr char kGroupPrerelease[] = "Prerelease";
inline constexpr char kGroupDeferred[] = "Deferred";
inline constexpr char kGroupOther[] = "Other";

// The stored "UpdateServerGroup" holds at most this many characters.
inline constexpr uint32_t kMaxGroupName = 63;

// Fills out (emptied first) with the group's server list of the catalogue, own weights, URLs
// resolved against base_url. The group is group_name, else the stored one (read through settings,
// when given). Lists are tried in this order, each in the links form and then the hosts form:
// "<group>-<number>", "<group>-Other" when the first exists in neither form,
// then "<number>" and "Other" while nothing was found. True when out holds
// servers.
[[nodiscard]] bool BuildServerGroupName(const CProfileFile& catalogue, uint32_t group_number,
                                        const char* group_name, const char* base_url,
                                        const UPDATER_SETTINGS* settings, CDefServersArray& out);

// BuildServerGroupName, appending to out; its result.
bool LoadServerList(CDefServersArray& out, const CProfileFile& catalogue, uint32_t group_number,
                    const char* group_name, const char* base_url, const UPDATER_SETTINGS* settings);
