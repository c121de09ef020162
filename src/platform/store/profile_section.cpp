#include "platform/store/profile_section.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

namespace {

// Longest decimal text of a 64-bit number with its sign, and the NUL.
constexpr size_t kNumberText = 24;

bool IsLineEnd(char c) { return c == '\0' || c == '\n' || c == '\r'; }

int32_t ToInt32(const char* text) {
  return static_cast<int32_t>(static_cast<uint32_t>(std::strtoll(text, nullptr, 10)));
}

}  // namespace

CProfileSection::CProfileSection(std::string_view name, const ApiAllocator* allocator)
    : name_(ProfileText::Copy(name)), name_crc_(ProfileNameCrc(name)), pairs_(allocator) {}

void CProfileSection::Release() {
  pairs_.Clear();
  name_ = ProfileText();
}

uint32_t CProfileSection::GetKeyCount() const { return static_cast<uint32_t>(pairs_.Count()); }

const char* CProfileSection::GetKeyAt(uint32_t i) const {
  const ProfilePair* pair = pairs_.At(i);
  return pair ? pair->key.CStr() : nullptr;
}

const char* CProfileSection::GetValueAt(uint32_t i) const {
  const ProfilePair* pair = pairs_.At(i);
  return pair ? pair->value.CStr() : nullptr;
}

uint32_t CProfileSection::FindKey(std::string_view key) const {
  const size_t i = pairs_.Find(key, ProfileNameCrc(key));
  return i == pairs_.kNotFound ? kNoKey : static_cast<uint32_t>(i);
}

const ProfilePair* CProfileSection::Lookup(std::string_view key) const {
  return pairs_.At(pairs_.Find(key, ProfileNameCrc(key)));
}

const char* CProfileSection::GetValue(std::string_view key, const char* default_value) const {
  const ProfilePair* pair = Lookup(key);
  return pair ? pair->value.CStr() : default_value;
}

int32_t CProfileSection::GetInt(std::string_view key, int32_t default_value) const {
  const ProfilePair* pair = Lookup(key);
  return pair ? ToInt32(pair->value.CStr()) : default_value;
}

bool CProfileSection::SetValue(std::string_view key, std::string_view value) {
  const uint32_t crc = ProfileNameCrc(key);
  if (ProfilePair* pair = pairs_.At(pairs_.Find(key, crc))) {
    if (pair->value.View() == value) return true;
    ProfileText copy = ProfileText::Copy(value);
    if (!copy.Valid()) return false;
    pair->value = std::move(copy);
    return true;
  }
  std::unique_ptr<ProfilePair> pair(new (std::nothrow) ProfilePair());
  if (!pair) return false;
  pair->key = ProfileText::Copy(key);
  pair->value = ProfileText::Copy(value);
  pair->key_crc = crc;
  if (!pair->key.Valid() || !pair->value.Valid()) return false;
  return pairs_.Append(std::move(pair));
}

bool CProfileSection::SetInt(std::string_view key, int64_t value) {
  char text[kNumberText];
  std::snprintf(text, sizeof(text), "%" PRId64, value);
  return SetValue(key, text);
}

bool CProfileSection::SetUInt(std::string_view key, uint32_t value) {
  char text[kNumberText];
  std::snprintf(text, sizeof(text), "%" PRIu32, value);
  return SetValue(key, text);
}

bool CProfileSection::DeleteKey(std::string_view key) {
  const size_t i = pairs_.Find(key, ProfileNameCrc(key));
  if (i == pairs_.kNotFound) return false;
  pairs_.RemoveAt(i);
  return true;
}

// A line is: blanks, the key up to the first '=' after its first character,
// then the value up to the line end. Blanks around '=' belong to key and
// value; a line without '=' is skipped; the last line needs no line end.
bool CProfileSection::ParseBody(std::string_view body) {
  const size_t size = body.size();
  size_t i = 0;
  while (i < size) {
    while (i < size && (body[i] == ' ' || body[i] == '\t')) ++i;
    if (i == size) break;
    if (IsLineEnd(body[i])) {
      ++i;
      continue;
    }
    const size_t key_start = i++;
    while (i < size && body[i] != '=' && !IsLineEnd(body[i])) ++i;
    if (i == size) break;
    if (body[i] != '=') {
      ++i;
      continue;
    }
    const size_t key_end = i++;
    const size_t value_start = i;
    while (i < size && !IsLineEnd(body[i])) ++i;
    if (!SetValue(body.substr(key_start, key_end - key_start),
                  body.substr(value_start, i - value_start))) {
      return false;
    }
    ++i;
  }
  return true;
}
