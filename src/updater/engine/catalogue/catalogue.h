#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/store/profile_file.h"
#include "updater/engine/servers/default_servers.h"

// A catalogue as the catalogue step took it: the INI document parsed once
// from the bytes that were put in place, and what the catalogue proved of
// its origin. The steps after it read sections and keys from here instead of
// re-reading the catalogue path. An empty catalogue (default made, or bytes
// that could not be parsed) is not loaded and reads as having no sections.
class Catalogue {
 public:
  Catalogue();
  Catalogue(Catalogue&&) noexcept;
  Catalogue& operator=(Catalogue&&) noexcept;
  ~Catalogue();

  // The document of text; not loaded when a section cannot be stored.
  [[nodiscard]] static Catalogue FromText(std::string_view text, CatalogueTrust trust);
  // The document of the file at path, read once; not loaded when the file
  // is missing or unreadable.
  [[nodiscard]] static Catalogue FromFile(const char* path, CatalogueTrust trust);

  [[nodiscard]] bool IsLoaded() const { return loaded_; }
  [[nodiscard]] CatalogueTrust Trust() const { return trust_; }

  [[nodiscard]] uint32_t SectionCount() const { return document_->GetSectionCount(); }
  [[nodiscard]] const char* SectionName(uint32_t i) const { return document_->GetSectionName(i); }
  [[nodiscard]] const CProfileSection* SectionAt(uint32_t i) const {
    return document_->GetSectionAt(i);
  }
  // The first section of that name, or null.
  [[nodiscard]] const CProfileSection* FindSection(std::string_view name) const {
    return document_->FindSection(name);
  }
  // The value as stored (double quotes kept); none when absent.
  [[nodiscard]] std::optional<std::string_view> Value(std::string_view section,
                                                      std::string_view key) const;
  // The value as the profile reader gives it (ProfileGetString): surrounding
  // double quotes dropped, cut as it cuts to fit size; fallback when absent.
  // Returns the characters copied.
  uint32_t CopyText(const char* section, const char* key, const char* fallback, char* buffer,
                    uint32_t size) const;
  template <uint32_t N>
  uint32_t CopyText(const char* section, const char* key, const char* fallback,
                    char (&buffer)[N]) const {
    return CopyText(section, key, fallback, buffer, N);
  }
  // The value as a decimal number kept to 32 bits, else fallback.
  [[nodiscard]] int32_t Int(std::string_view section, std::string_view key,
                            int32_t fallback) const {
    return document_->GetInt(section, key, fallback);
  }

  // The parsed document, for the readers below this room that take one.
  [[nodiscard]] const CProfileFile& Document() const { return *document_; }

 private:
  Catalogue(std::unique_ptr<CProfileFile> document, bool loaded, CatalogueTrust trust);

  // Never null: a moved-from catalogue gets a fresh empty document.
  std::unique_ptr<CProfileFile> document_;
  bool loaded_ = false;
  CatalogueTrust trust_ = CatalogueTrust::kUnchecked;
};
