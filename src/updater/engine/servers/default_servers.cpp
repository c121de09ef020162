#include "updater/engine/servers/default_servers.h"

#include <algorithm>

#include "platform/util/strings.h"
#include "updater/engine/common/stored_settings.h"
#include "updater/engine/servers/server_groups.h"
#include "updater/engine/servers/server_tokens.h"

namespace {

using KeyName = char[64];

void ServerKey(KeyName& key, uint32_t index) {
  SafeSnprintf(key, sizeof key, kKeyDefaultServerFormat, static_cast<int>(index));
}

void WeightKey(KeyName& key, uint32_t index) {
  SafeSnprintf(key, sizeof key, kKeyDefaultServerWeightFormat, static_cast<int>(index));
}

// The stored count, bounded: no list the library stores is longer, and a
// damaged count must not walk billions of keys.
uint32_t StoredCount(SETTINGS_STORE* store) {
  uint32_t count = 0;
  if (!SettingsStoreGetDword(store, kKeyDefaultServerCount, &count)) return 0;
  return std::min(count, kMaxServerTokens);
}

bool SameServers(const CDefServersArray& stored, const CDefServersArray& totals) {
  if (stored.GetSize() != totals.GetSize()) return false;
  for (int64_t i = 0; i < stored.GetSize(); ++i) {
    if (stored[i].weight != totals[i].weight) return false;
    if (AsciiStrICmp(stored[i].url, totals[i].url) != 0) return false;
  }
  return true;
}

bool StoreServers(SETTINGS_STORE* store, const CDefServersArray& servers) {
  bool written = true;
  for (int64_t i = 0; i < servers.GetSize(); ++i) {
    KeyName key;
    ServerKey(key, static_cast<uint32_t>(i));
    written = SettingsStoreSetString(store, key, servers[i].url) && written;
    WeightKey(key, static_cast<uint32_t>(i));
    written = SettingsStoreSetDword(store, key, servers[i].weight) && written;
  }
  return SettingsStoreSetDword(store, kKeyDefaultServerCount,
                               static_cast<uint32_t>(servers.GetSize())) &&
         written;
}

}  // namespace

bool LoadDefaultServers(CDefServersArray& servers, const UPDATER_SETTINGS* settings,
                        std::string* fail_safe) {
  servers.RemoveAll();
  if (fail_safe != nullptr) fail_safe->clear();
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return false;
  if (fail_safe != nullptr) {
    char text[sizeof(_DEF_SERVER::url)] = {};
    SettingsStoreGetString(store.get(), kKeyFailSafeServer, text, sizeof text);
    *fail_safe = text;
  }
  const uint32_t count = StoredCount(store.get());
  for (uint32_t i = 0; i < count; ++i) {
    KeyName key;
    ServerKey(key, i);
    _DEF_SERVER server{};
    if (!SettingsStoreGetString(store.get(), key, server.url, sizeof server.url)) continue;
    WeightKey(key, i);
    if (!SettingsStoreGetDword(store.get(), key, &server.weight)) server.weight = 1;
    servers.Add(server);
  }
  ToRunningTotals(servers);
  return TotalWeight(servers) != 0;
}

bool SaveDefaultServers(const UPDATER_SETTINGS* settings, const CProfileFile& catalogue,
                        const char* base_url, CatalogueTrust trust) {
  if (trust != CatalogueTrust::kSignatureVerified || settings == nullptr) return false;
  CDefServersArray listed;
  if (!BuildServerGroupName(catalogue, settings->serverGroup, nullptr, base_url, settings,
                            listed)) {
    return false;
  }
  CDefServersArray totals;
  for (const _DEF_SERVER& server : listed) totals.Add(server);
  ToRunningTotals(totals);
  CDefServersArray stored;
  static_cast<void>(LoadDefaultServers(stored, settings, nullptr));
  if (SameServers(stored, totals)) return false;
  const SettingsStorePtr store = OpenSettingsStore(settings);
  return store && StoreServers(store.get(), listed);
}

void DeleteDefaultServers(const UPDATER_SETTINGS* settings) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return;
  const uint32_t count = StoredCount(store.get());
  for (uint32_t i = 0; i < count; ++i) {
    KeyName key;
    ServerKey(key, i);
    SettingsStoreDeleteValue(store.get(), key);
    WeightKey(key, i);
    SettingsStoreDeleteValue(store.get(), key);
  }
  SettingsStoreDeleteValue(store.get(), kKeyDefaultServerCount);
}
