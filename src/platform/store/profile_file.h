#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/store/profile_section.h"

// One INI file held in memory: loaded whole, edited in memory, written back
// whole with CR LF line ends. Sections keep file order; duplicate sections
// stay separate and lookups see the first. No locking of its own.
class CProfileFile {
 public:
  CProfileFile() : CProfileFile(ProfileDefaultAllocator()) {}
  // The allocator supplies the section array's storage.
  explicit CProfileFile(const ApiAllocator* allocator);
  CProfileFile(const CProfileFile&) = delete;
  CProfileFile& operator=(const CProfileFile&) = delete;

  // Empties the object, then Load(path).
  bool Init(const char* path);
  // Frees every section and the path and clears the loaded flag.
  void Release();

  // Reads the file (path, else the stored one; a new path is kept). A missing
  // or unreadable file leaves an empty, not-loaded object.
  bool Load(const char* path);
  // Parses INI text and appends its sections; false when one cannot be stored
  // (those before it stay).
  [[nodiscard]] bool ParseText(std::string_view text);
  // Writes every section to path, else to the stored path, through a
  // temporary file renamed over the old one. False when any step fails; the
  // previous file is then left as it was.
  [[nodiscard]] bool Save(const char* path) const;

  [[nodiscard]] const char* GetPath() const { return path_.CStr(); }
  [[nodiscard]] bool IsLoaded() const { return loaded_; }

  [[nodiscard]] uint32_t GetSectionCount() const;
  [[nodiscard]] CProfileSection* GetSectionAt(uint32_t i) const;
  [[nodiscard]] const char* GetSectionName(uint32_t i) const;
  // First section whose name matches, or null.
  [[nodiscard]] CProfileSection* FindSection(std::string_view name) const;
  // The matching section, else a new empty one appended; null when that fails.
  CProfileSection* GetOrAddSection(std::string_view name);
  // Appends without a duplicate check; an invalid section or a refused append
  // frees the section and gives false.
  bool AddSection(std::unique_ptr<CProfileSection> section);
  // Removes and frees the first matching section.
  bool RemoveSection(std::string_view name);

  // The stored value or the default.
  [[nodiscard]] const char* GetValue(std::string_view section, std::string_view key,
                                     const char* default_value) const;
  [[nodiscard]] int32_t GetInt(std::string_view section, std::string_view key,
                               int32_t default_value) const;
  // The stored value (else the default) with every '"' dropped, cut to
  // size - 1 characters and NUL-terminated. False, buffer untouched, when
  // there is neither or size is 0.
  bool CopyValue(std::string_view section, std::string_view key, const char* default_value,
                 char* buffer, uint32_t size) const;

 private:
  bool loaded_ = false;
  ProfileText path_;
  const ApiAllocator* allocator_;
  ProfileList<CProfileSection> sections_;
};

// Frees a private file's content (the destructor does the same).
void ProfileFileRelease(CProfileFile& file);
