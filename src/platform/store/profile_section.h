#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/store/profile_list.h"
#include "platform/store/profile_text.h"

// One key=value line of a section.
struct ProfilePair {
  ProfileText key;
  ProfileText value;
  uint32_t key_crc = 0;

  [[nodiscard]] std::string_view Name() const { return key.View(); }
  [[nodiscard]] uint32_t NameCrc() const { return key_crc; }
};

// One [section] of a CProfileFile: its name, the name's CRC and its pairs in
// file order. Key and value arguments must not be null.
class CProfileSection {
 public:
  static constexpr uint32_t kNoKey = 0xFFFFFFFFu;

  explicit CProfileSection(std::string_view name,
                           const ApiAllocator* allocator = ProfileDefaultAllocator());
  CProfileSection(const CProfileSection&) = delete;
  CProfileSection& operator=(const CProfileSection&) = delete;

  // Frees every pair and the name; the section is invalid afterwards.
  void Release();
  // False when the name could not be copied.
  [[nodiscard]] bool IsValid() const { return name_.Valid(); }
  [[nodiscard]] const char* GetName() const { return name_.CStr(); }

  [[nodiscard]] uint32_t GetKeyCount() const;
  [[nodiscard]] const char* GetKeyAt(uint32_t i) const;
  [[nodiscard]] const char* GetValueAt(uint32_t i) const;
  // Index of the first matching key, or kNoKey.
  [[nodiscard]] uint32_t FindKey(std::string_view key) const;
  [[nodiscard]] const char* GetValue(std::string_view key, const char* default_value) const;
  // The value read by strtoll base 10 and kept to 32 bits, or the default.
  [[nodiscard]] int32_t GetInt(std::string_view key, int32_t default_value) const;

  // Replaces the value of the first matching key (an equal value is left
  // alone) or appends the pair; false leaves the section as it was.
  [[nodiscard]] bool SetValue(std::string_view key, std::string_view value);
  [[nodiscard]] bool SetInt(std::string_view key, int64_t value);
  [[nodiscard]] bool SetUInt(std::string_view key, uint32_t value);
  // Removes the first matching pair; false when absent.
  bool DeleteKey(std::string_view key);

  // Adds the key=value lines of a section body (the text after "]" up to the
  // next "["). False when a pair cannot be stored.
  [[nodiscard]] bool ParseBody(std::string_view body);

  // Name and CRC for ProfileList.
  [[nodiscard]] std::string_view Name() const { return name_.View(); }
  [[nodiscard]] uint32_t NameCrc() const { return name_crc_; }

 private:
  [[nodiscard]] const ProfilePair* Lookup(std::string_view key) const;

  ProfileText name_;
  uint32_t name_crc_ = 0;
  ProfileList<ProfilePair> pairs_;
};
