#include "updater/engine/servers/server_groups.h"

#include <string>

#include "updater/engine/common/stored_settings.h"
#include "updater/engine/servers/server_formats.h"

namespace {

// The stored group, empty when there is none or no store.
std::string StoredGroup(const UPDATER_SETTINGS* settings) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  char group[kMaxGroupName + 1] = {};
  if (store) SettingsStoreGetString(store.get(), kKeyUpdateServerGroup, group, sizeof group);
  return group;
}

// The list in the links form, else in the hosts form.
bool ParseList(const CProfileFile& catalogue, const std::string& name, const char* base_url,
               CDefServersArray& out) {
  return CLinksServerFormat().Parse(catalogue, name.c_str(), base_url, &out) ||
         CHostsServerFormat().Parse(catalogue, name.c_str(), base_url, &out);
}

}  // namespace

bool BuildServerGroupName(const CProfileFile& catalogue, uint32_t group_number,
                          const char* group_name, const char* base_url,
                          const UPDATER_SETTINGS* settings, CDefServersArray& out) {
  out.RemoveAll();
  const std::string number = std::to_string(group_number);
  const std::string group =
      group_name != nullptr && *group_name != '\0' ? group_name : StoredGroup(settings);
  if (!group.empty() && !ParseList(catalogue, group + "-" + number, base_url, out)) {
    static_cast<void>(ParseList(catalogue, group + "-" + kGroupOther, base_url, out));
  }
  if (!out.IsEmpty()) return true;
  static_cast<void>(ParseList(catalogue, number, base_url, out));
  if (!out.IsEmpty()) return true;
  static_cast<void>(ParseList(catalogue, kGroupOther, base_url, out));
  return !out.IsEmpty();
}

bool LoadServerList(CDefServersArray& out, const CProfileFile& catalogue, uint32_t group_number,
                    const char* group_name, const char* base_url,
                    const UPDATER_SETTINGS* settings) {
  CDefServersArray found;
  const bool listed =
      BuildServerGroupName(catalogue, group_number, group_name, base_url, settings, found);
  for (const _DEF_SERVER& server : found) out.Add(server);
  return listed;
}
