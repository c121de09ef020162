#pragma once

#include <cstdint>

#include "platform/store/profile_file.h"

// The process-wide cache of loaded INI files, looked up by path (ASCII case
// folded) and guarded by one recursive lock. A cached file keeps its content
// until it is removed or the cache is cleared; edits on disk by others are not
// seen before that.

// The profile lock. Order: the context lock, then the backup or pico lock,
// then this one.
void ProfileLock();
void ProfileUnlock();

class ProfileLockGuard {
 public:
  ProfileLockGuard() { ProfileLock(); }
  ~ProfileLockGuard() { ProfileUnlock(); }
  ProfileLockGuard(const ProfileLockGuard&) = delete;
  ProfileLockGuard& operator=(const ProfileLockGuard&) = delete;
};

// The cached file of path, loading it on first use and retrying a file that
// is not loaded. Null for a null path or no memory. The caller holds the
// profile lock and uses the file and the strings it hands out only while it
// holds it.
[[nodiscard]] CProfileFile* ProfileCacheGetFile(const char* path);
// Drops and frees the entry of path, if any.
void ProfileCacheRemoveFile(const char* path);
// Drops and frees every entry.
void ProfileCacheClear();

// The value as a signed decimal number kept to 32 bits (text that is not a
// number reads 0), or the default.
[[nodiscard]] int32_t ProfileGetInt(const char* section, const char* key, int32_t default_value,
                                    const char* path);
// Copies the value (a value in double quotes without them) or the default into
// buffer and returns the characters copied. A value that does not fit gives
// size - 2 (1 for size 2) with as much of it as that count says. 0, buffer
// untouched, when section or key is null.
uint32_t ProfileGetString(const char* section, const char* key, const char* default_value,
                          char* buffer, uint32_t size, const char* path);
// The copy ProfileGetString makes of a value found (value not null), else of
// the default, for documents held outside the cache.
uint32_t ProfileCopyValue(const char* value, const char* default_value, char* buffer,
                          uint32_t size);
// The section as "key=value" strings, each NUL-terminated, closed by one more
// NUL; returns the bytes before that final NUL, or size - 2 when it does not
// fit (the pairs that fit stay, closed by a NUL). 0 when absent.
uint32_t ProfileGetSection(const char* section, char* buffer, uint32_t size, const char* path);
// Sets the value in the cached file and saves the whole file. With section,
// key and value all null it drops the file from the cache and returns true.
bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path);
