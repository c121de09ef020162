#include "updater/engine/mirror/mirror_markers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/util/buffer.h"
#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"

namespace {

// Markers written with other constants cannot be read, and the reverse.
constexpr uint8_t kMarkerXor = 0x5A;
constexpr uint8_t kMarkerAdd = 0x3B;

constexpr unsigned long kNotAgreedBit = 1;

// The marker's content; nothing when it cannot be read or has no '='.
std::optional<MarkerContent> ReadMarker(const char* marker_path) {
  CBuffer buffer;
  if (LoadFileToBuffer(marker_path, buffer) != kUpdOk) return std::nullopt;
  return ParseMarkerBytes(std::string_view(reinterpret_cast<const char*>(buffer.Data()),
                                           static_cast<size_t>(buffer.Length())));
}

}  // namespace

size_t ScrambleMarkerBytes(void* buffer, size_t length) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>((bytes[i] ^ kMarkerXor) + kMarkerAdd);
  }
  return length;
}

size_t UnscrambleMarkerBytes(void* buffer, size_t length) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  for (size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<uint8_t>(static_cast<uint8_t>(bytes[i] - kMarkerAdd) ^ kMarkerXor);
  }
  return length;
}

std::optional<MarkerContent> ParseMarkerBytes(std::string_view bytes) {
  std::string text(bytes.substr(0, kMarkerReadLimit));
  UnscrambleMarkerBytes(text.data(), text.size());
  // The text ends at an embedded NUL like the C text it was written as.
  text.resize(std::strlen(text.c_str()));
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return std::nullopt;
  MarkerContent content;
  content.name = text.substr(0, equals);
  content.number = std::strtoul(text.c_str() + equals + 1, nullptr, 16);
  return content;
}

unsigned long MarkerNumber(unsigned long random, bool agreed) {
  if (!agreed) return random | kNotAgreedBit;
  const unsigned long number = random & ~kNotAgreedBit;
  return number != 0 ? number : 2;
}

std::string MarkerNameOf(const std::string& package_path) {
  const size_t slash = package_path.find_last_of('/');
  return slash == std::string::npos ? package_path : package_path.substr(slash + 1);
}

std::string MarkerFileName(const std::string& package_path) { return package_path + kMarkerSuffix; }

UpdError WriteMarkerFile(const char* marker_path, const char* name, bool agreed) {
  if (marker_path == nullptr || *marker_path == '\0') return kUpdMissing;
  const unsigned long number = MarkerNumber(static_cast<unsigned long>(std::rand()), agreed);
  char text[kMarkerReadLimit];
  const int written = std::snprintf(text, sizeof text, "%s=%lX", name != nullptr ? name : "", number);
  if (written < 0) return kUpdMissing;
  const size_t length = std::min<size_t>(static_cast<size_t>(written), sizeof text - 1);
  ScrambleMarkerBytes(text, length);
  return SaveBufferToFile(marker_path, text, length) == kUpdOk ? kUpdOk : kUpdMissing;
}

bool ReadMarkerFile(const char* marker_path, const char* name, char* name_out,
                    size_t name_out_size) {
  if (marker_path == nullptr || *marker_path == '\0') return false;
  const std::optional<MarkerContent> content = ReadMarker(marker_path);
  if (!content) return false;
  const std::string& stored = content->name;
  if (name_out != nullptr && stored.size() < name_out_size) {
    std::memcpy(name_out, stored.c_str(), stored.size() + 1);
  }
  if (name != nullptr && AsciiStrICmp(name, stored.c_str()) != 0) return false;
  return content->number != 0 && (content->number & kNotAgreedBit) == 0;
}

UpdError ReadMarkerName(const char* marker_path, char* name_out, uint64_t* size) {
  if (size == nullptr) return kUpdInvalidArgument;
  if (marker_path == nullptr || *marker_path == '\0' || !FileExists(marker_path)) {
    return kUpdMissing;
  }
  const std::optional<MarkerContent> content = ReadMarker(marker_path);
  if (!content) return kUpdBadFile;
  const uint64_t length = content->name.size();
  const uint64_t room = *size;
  *size = length;
  if (length >= room) return kUpdResultTooSmall;
  if (name_out == nullptr) return kUpdInvalidArgument;
  std::memcpy(name_out, content->name.data(), length);
  name_out[length] = '\0';
  return kUpdOk;
}
