#include "platform/store/settings_store.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/os/os_error.h"
#include "platform/util/strings.h"

namespace {

constexpr const char* kSection = "Settings";
constexpr const char* kFileScheme = "file://";
// Decimal text of a u32 and its NUL, with room to spare.
constexpr size_t kDwordText = 12;

SETTINGS_STORE* FileOpen(SETTINGS_STORE* store, const char* path) {
  if (path == nullptr || store->kind != kSettingsKindSettings) {
    delete store;
    return nullptr;
  }
  if (!store->file.Init(path) && OsGetLastError() != kOsNotFound) store->unreadable = true;
  return store;
}

void FileClose(SETTINGS_STORE* store) {
  ProfileFileRelease(store->file);
  delete store;
}

bool FileGetString(SETTINGS_STORE* store, const char* key, char* buffer, uint32_t size) {
  if (buffer == nullptr) return false;
  const CProfileSection* section = store->file.FindSection(kSection);
  const char* value = section && key ? section->GetValue(key, nullptr) : nullptr;
  SafeStrCopy(buffer, size, value ? value : "");
  return value != nullptr;
}

bool FileGetDword(SETTINGS_STORE* store, const char* key, uint32_t* out) {
  if (key == nullptr || out == nullptr) return false;
  const CProfileSection* section = store->file.FindSection(kSection);
  const auto missing = static_cast<int32_t>(kSettingsMissingDword);
  *out = static_cast<uint32_t>(section ? section->GetInt(key, missing) : missing);
  return *out != kSettingsMissingDword;
}

bool FileSetString(SETTINGS_STORE* store, const char* key, const char* value) {
  if (key == nullptr || value == nullptr || store->unreadable) return false;
  if (CProfileSection* section = store->file.FindSection(kSection)) {
    if (!section->SetValue(key, value)) return false;
  } else {
    auto added = std::unique_ptr<CProfileSection>(new (std::nothrow) CProfileSection(kSection));
    if (!added || !added->SetValue(key, value) || !store->file.AddSection(std::move(added))) {
      return false;
    }
  }
  return store->file.Save(nullptr);
}

bool FileSetDword(SETTINGS_STORE* store, const char* key, uint32_t value) {
  char text[kDwordText];
  std::snprintf(text, sizeof(text), "%" PRIu32, value);
  return FileSetString(store, key, text);
}

bool FileDeleteValue(SETTINGS_STORE* store, const char* key) {
  if (key == nullptr) return false;
  CProfileSection* section = store->file.FindSection(kSection);
  if (section == nullptr || !section->DeleteKey(key)) return false;
  return store->file.Save(nullptr);
}

constexpr SETTINGS_STORE_OPS kFileOps = {FileOpen,     FileClose,     FileGetString,  FileGetDword,
                                         FileSetDword, FileSetString, FileDeleteValue};

}  // namespace

SETTINGS_STORE* SettingsStoreOpen(const char* url, uint32_t kind, void* /*unused*/) {
  auto* store = new (std::nothrow) SETTINGS_STORE();
  if (store == nullptr) return nullptr;
  store->kind = kind;
  if (url == nullptr || std::strstr(url, kFileScheme) == nullptr) {
    delete store;
    return nullptr;
  }
  store->ops = kFileOps;
  // "file:///x" names "/x": the path starts two characters after the first '/'.
  const char* path = std::strchr(url, '/') + 2;
  return store->ops.open(store, path);
}

void SettingsStoreClose(SETTINGS_STORE* store) {
  if (store == nullptr) return;
  if (store->ops.close == nullptr) {
    delete store;
    return;
  }
  store->ops.close(store);
}

bool SettingsStoreGetString(SETTINGS_STORE* store, const char* key, char* buffer, uint32_t size) {
  if (store == nullptr || store->ops.get_string == nullptr) return false;
  return store->ops.get_string(store, key, buffer, size);
}

bool SettingsStoreGetDword(SETTINGS_STORE* store, const char* key, uint32_t* out) {
  if (store == nullptr || store->ops.get_dword == nullptr) return false;
  return store->ops.get_dword(store, key, out);
}

bool SettingsStoreSetDword(SETTINGS_STORE* store, const char* key, uint32_t value) {
  if (store == nullptr || store->ops.set_dword == nullptr) return false;
  return store->ops.set_dword(store, key, value);
}

bool SettingsStoreSetString(SETTINGS_STORE* store, const char* key, const char* value) {
  if (store == nullptr || store->ops.set_string == nullptr) return false;
  return store->ops.set_string(store, key, value);
}

bool SettingsStoreDeleteValue(SETTINGS_STORE* store, const char* key) {
  if (store == nullptr || store->ops.delete_value == nullptr) return false;
  return store->ops.delete_value(store, key);
}
