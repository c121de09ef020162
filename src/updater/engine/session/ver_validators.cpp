#include "updater/engine/session/ver_validators.h"

#include "platform/util/strings.h"
#include "updater/engine/common/stored_settings.h"

namespace {

// Keys and values as the store keeps them: a longer key is cut, a longer
// value is not read back whole.
constexpr size_t kKeySize = 256;
constexpr size_t kValueSize = 128;

struct Keys {
  char etag[kKeySize];
  char lastModified[kKeySize];
};

Keys KeysOf(const char* host, const char* path, const char* fileName) {
  Keys keys{};
  SafeSnprintf(keys.etag, sizeof keys.etag, kKeyVerFileEtagFormat, host, path, fileName);
  SafeSnprintf(keys.lastModified, sizeof keys.lastModified, kKeyVerFileLastModifiedFormat, host,
               path, fileName);
  return keys;
}

std::string Load(SETTINGS_STORE* store, const char* key) {
  char value[kValueSize] = {};
  if (!SettingsStoreGetString(store, key, value, sizeof value)) return {};
  return value;
}

bool Save(SETTINGS_STORE* store, const char* key, const std::string& value) {
  if (value.empty()) {
    SettingsStoreDeleteValue(store, key);
    return true;
  }
  return SettingsStoreSetString(store, key, value.c_str());
}

}  // namespace

void LoadVerFileValidators(const char* host, const char* path, const char* fileName,
                           const UPDATER_SETTINGS* settings, std::string* etag,
                           std::string* lastModified) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return;
  const Keys keys = KeysOf(host, path, fileName);
  *etag = Load(store.get(), keys.etag);
  *lastModified = Load(store.get(), keys.lastModified);
}

bool SaveVerFileValidators(const char* host, const char* path, const char* fileName,
                           const UPDATER_SETTINGS* settings, const std::string& etag,
                           const std::string& lastModified) {
  const SettingsStorePtr store = OpenSettingsStore(settings);
  if (!store) return false;
  const Keys keys = KeysOf(host, path, fileName);
  const bool etag_saved = Save(store.get(), keys.etag, etag);
  return Save(store.get(), keys.lastModified, lastModified) && etag_saved;
}
