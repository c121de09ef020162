#include "updater/engine/session/section_data.h"

#include <memory>
#include <new>
#include <string>

#include "platform/store/profile_cache.h"
#include "platform/util/base64.h"
#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"

namespace {

// "data" and four or more decimal digits.
constexpr size_t kLineKeySize = 16;

// The joined lines; the string grows geometrically, so a large inline file
// is not copied over and over as it is assembled.
std::string JoinDataLines(const CProfileSection* section) {
  std::string text;
  if (section == nullptr) return text;
  for (int line = 0;; ++line) {
    char key[kLineKeySize];
    SafeSnprintf(key, sizeof key, "data%04d", line);
    const char* value = section->GetValue(key, nullptr);
    if (value == nullptr || value[0] == '\0') return text;
    text += value;
  }
}

UpdError DecodeAndSave(const std::string& text, const char* target) {
  const uint64_t room = (text.size() / 4 + 1) * 3;
  std::unique_ptr<uint8_t[]> bytes(new uint8_t[room]);
  uint64_t written = 0;
  if (Base64Decode(text.data(), text.size(), bytes.get(), room, &written) == 0) {
    return kUpdBadEncoding;
  }
  return static_cast<UpdError>(SaveBufferToFile(target, bytes.get(), written));
}

}  // namespace

UpdError ExtractSectionData(const char* section, const char* target, const char* ini_path) {
  if (section == nullptr || target == nullptr) return kUpdInvalidArgument;
  try {
    std::string text;
    {
      ProfileLockGuard lock;
      const CProfileFile* file = ProfileCacheGetFile(ini_path);
      if (file == nullptr || !file->IsLoaded()) return kUpdBadFile;
      text = JoinDataLines(file->FindSection(section));
    }
    return DecodeAndSave(text, target);
  } catch (const std::bad_alloc&) {
    return kUpdOutOfMemory;
  }
}
