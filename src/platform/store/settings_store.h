#pragma once

#include <cstdint>
#include <memory>

#include "platform/store/profile_file.h"

// The library's small persistent store: the section "Settings" of the INI file
// that a "file://" location names. A handle reads the file once when it is
// opened and rewrites the whole file (every section) on each change; it takes
// no lock and is meant for one call of the host.

inline constexpr uint32_t kSettingsKindSettings = 1;
// What SettingsStoreGetDword reports for a missing value (and so for a stored
// 2147483647).
inline constexpr uint32_t kSettingsMissingDword = 0x7FFFFFFF;

struct SETTINGS_STORE;

// The operations behind a handle; an empty entry makes its call return false.
struct SETTINGS_STORE_OPS {
  SETTINGS_STORE* (*open)(SETTINGS_STORE* store, const char* path);
  void (*close)(SETTINGS_STORE* store);
  bool (*get_string)(SETTINGS_STORE* store, const char* key, char* buffer, uint32_t size);
  bool (*get_dword)(SETTINGS_STORE* store, const char* key, uint32_t* out);
  bool (*set_dword)(SETTINGS_STORE* store, const char* key, uint32_t value);
  bool (*set_string)(SETTINGS_STORE* store, const char* key, const char* value);
  bool (*delete_value)(SETTINGS_STORE* store, const char* key);
};

struct SETTINGS_STORE {
  uint32_t kind = 0;
  CProfileFile file;
  SETTINGS_STORE_OPS ops{};
  // The file exists but could not be read (descriptors or memory ran out, an
  // I/O error): sets are refused, as rewriting it would drop every value the
  // handle never saw.
  bool unreadable = false;
};

// A new handle on the file named after "file://", or null for a location
// without "file://", a kind other than 1, or no memory. A missing file gives a
// usable, empty store. The third argument is not used.
[[nodiscard]] SETTINGS_STORE* SettingsStoreOpen(const char* url, uint32_t kind, void* unused);
// Frees the handle; nothing is written.
void SettingsStoreClose(SETTINGS_STORE* store);

// The value as stored, cut to size - 1 characters; false and an empty string
// when absent.
bool SettingsStoreGetString(SETTINGS_STORE* store, const char* key, char* buffer, uint32_t size);
// The value's low 32 bits; false and kSettingsMissingDword when absent.
bool SettingsStoreGetDword(SETTINGS_STORE* store, const char* key, uint32_t* out);
// Set and delete rewrite the whole file; true when the file was written.
bool SettingsStoreSetDword(SETTINGS_STORE* store, const char* key, uint32_t value);
bool SettingsStoreSetString(SETTINGS_STORE* store, const char* key, const char* value);
// False, nothing written, when the key is absent.
bool SettingsStoreDeleteValue(SETTINGS_STORE* store, const char* key);

// Owning handle for C++ callers.
struct SettingsStoreCloser {
  void operator()(SETTINGS_STORE* store) const { SettingsStoreClose(store); }
};
using SettingsStorePtr = std::unique_ptr<SETTINGS_STORE, SettingsStoreCloser>;
