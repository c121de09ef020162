#include "platform/store/profile_cache.h"

#include <cstring>
#include <memory>
#include <new>

#include "platform/os/os_error.h"
#include "platform/os/os_mutex.h"
#include "platform/util/strings.h"

namespace {

struct CacheNode {
  std::unique_ptr<CProfileFile> file;
  std::unique_ptr<CacheNode> next;
};

// The lock and the list of cached files. Both start out constant (a
// statically initialised mutex, an empty list), so the cache exists before
// any code of the library runs and its making can neither fail nor throw.
class ProfileCache {
 public:
  constexpr ProfileCache() noexcept = default;
  ~ProfileCache() { Clear(); }
  ProfileCache(const ProfileCache&) = delete;
  ProfileCache& operator=(const ProfileCache&) = delete;

  void Lock() { OsMutexLock(&mutex_); }
  void Unlock() { OsMutexUnlock(&mutex_); }

  // The link that holds the entry of path, or the empty link at the tail.
  std::unique_ptr<CacheNode>* Slot(const char* path) {
    std::unique_ptr<CacheNode>* link = &head_;
    while (*link && AsciiStrICmp((*link)->file->GetPath(), path) != 0) link = &(*link)->next;
    return link;
  }

  void Clear() {
    while (head_) head_ = std::move(head_->next);
  }

 private:
  // Never destroyed: a mutex made by its static initialiser needs no
  // destruction, and another thread may still hold it at exit.
  OS_MUTEX mutex_ = {PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP};
  std::unique_ptr<CacheNode> head_;
};

constinit ProfileCache g_cache;

ProfileCache& Cache() { return g_cache; }

CProfileFile* NewCachedFile(const char* path, std::unique_ptr<CacheNode>* link) {
  auto node = std::unique_ptr<CacheNode>(new (std::nothrow) CacheNode());
  if (!node) return nullptr;
  node->file.reset(new (std::nothrow) CProfileFile());
  if (!node->file) return nullptr;
  static_cast<void>(node->file->Init(path));
  if (node->file->GetPath() == nullptr) return nullptr;
  *link = std::move(node);
  return (*link)->file.get();
}

// Copies the first n characters of text and a NUL (size > n).
void CopyCut(char* buffer, const char* text, size_t n) {
  std::memcpy(buffer, text, n);
  buffer[n] = '\0';
}

uint32_t CopyStoredValue(const char* value, char* buffer, uint32_t size) {
  const size_t n = std::strlen(value);
  if (n >= 1 && value[0] == '"' && value[n - 1] == '"' && size + 1 >= n) {
    const size_t inner = n >= 2 ? n - 2 : 0;
    return static_cast<uint32_t>(
        SafeSnprintf(buffer, size, "%.*s", static_cast<int>(inner), value + 1));
  }
  if (n < size) {
    CopyCut(buffer, value, n);
    return static_cast<uint32_t>(n);
  }
  // Too long: the count says size - 2 (1 for size 2), and the buffer holds
  // that many characters, NUL-terminated.
  if (size == 2) {
    CopyCut(buffer, value, 1);
    return 1;
  }
  if (size >= 1) CopyCut(buffer, value, size >= 3 ? size - 2 : 0);
  return size - 2;
}

uint32_t CopyDefault(const char* default_value, char* buffer, uint32_t size) {
  if (default_value == nullptr) {
    if (size != 0) buffer[0] = '\0';
    return 0;
  }
  return static_cast<uint32_t>(SafeSnprintf(buffer, size, "%s", default_value));
}

}  // namespace

void ProfileLock() { Cache().Lock(); }
void ProfileUnlock() { Cache().Unlock(); }

CProfileFile* ProfileCacheGetFile(const char* path) {
  if (path == nullptr) return nullptr;
  std::unique_ptr<CacheNode>* link = Cache().Slot(path);
  if (!*link) return NewCachedFile(path, link);
  CProfileFile* file = (*link)->file.get();
  if (!file->IsLoaded()) static_cast<void>(file->Load(nullptr));
  return file;
}

void ProfileCacheRemoveFile(const char* path) {
  if (path == nullptr) return;
  ProfileLockGuard lock;
  std::unique_ptr<CacheNode>* link = Cache().Slot(path);
  if (*link) *link = std::move((*link)->next);
}

void ProfileCacheClear() {
  ProfileLockGuard lock;
  Cache().Clear();
}

int32_t ProfileGetInt(const char* section, const char* key, int32_t default_value,
                      const char* path) {
  if (section == nullptr || key == nullptr) return default_value;
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(path);
  return file ? file->GetInt(section, key, default_value) : default_value;
}

uint32_t ProfileGetString(const char* section, const char* key, const char* default_value,
                          char* buffer, uint32_t size, const char* path) {
  if (section == nullptr || key == nullptr || buffer == nullptr) return 0;
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(path);
  const char* value = file ? file->GetValue(section, key, nullptr) : nullptr;
  return ProfileCopyValue(value, default_value, buffer, size);
}

uint32_t ProfileCopyValue(const char* value, const char* default_value, char* buffer,
                          uint32_t size) {
  if (buffer == nullptr) return 0;
  return value ? CopyStoredValue(value, buffer, size) : CopyDefault(default_value, buffer, size);
}

uint32_t ProfileGetSection(const char* section, char* buffer, uint32_t size, const char* path) {
  if (section == nullptr || buffer == nullptr || size == 0) return 0;
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(path);
  const CProfileSection* found = file ? file->FindSection(section) : nullptr;
  if (found == nullptr) return 0;
  uint64_t used = 0;
  for (uint32_t i = 0; i < found->GetKeyCount(); ++i) {
    const size_t k = std::strlen(found->GetKeyAt(i));
    const size_t v = std::strlen(found->GetValueAt(i));
    if (k + v + used + 2 >= size) {
      buffer[used] = '\0';
      return size - 2;
    }
    std::memcpy(buffer + used, found->GetKeyAt(i), k);
    buffer[used + k] = '=';
    CopyCut(buffer + used + k + 1, found->GetValueAt(i), v);
    used += k + v + 2;
  }
  buffer[used] = '\0';
  return static_cast<uint32_t>(used);
}

bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path) {
  if (section == nullptr || key == nullptr) {
    if (section != nullptr || key != nullptr || value != nullptr) return false;
    ProfileCacheRemoveFile(path);
    return true;
  }
  if (value == nullptr) return false;
  ProfileLockGuard lock;
  CProfileFile* file = ProfileCacheGetFile(path);
  if (file == nullptr) return false;
  // Only a missing file may be written from nothing; one that exists but
  // could not be read would lose everything the cache never saw.
  if (!file->IsLoaded() && OsGetLastError() != kOsNotFound) return false;
  if (CProfileSection* found = file->FindSection(section)) {
    if (!found->SetValue(key, value)) return false;
  } else {
    auto added = std::unique_ptr<CProfileSection>(new (std::nothrow) CProfileSection(section));
    if (!added || !added->IsValid() || !added->SetValue(key, value) ||
        !file->AddSection(std::move(added))) {
      return false;
    }
  }
  return file->Save(nullptr);
}
