#include "platform/util/channel_names.h"

namespace {

// The only kind for which source flag B does not matter.
constexpr uint32_t kSourceKindFlagAOnly = 2;

}  // namespace

const char* GetChannelName(const UPDATER_SETTINGS* settings) {
  if (settings == nullptr) return "production";
  if (settings->develChannel != 0) return "devel";
  switch (settings->releaseChannel) {
    case UPD_CHANNEL_PRE_RELEASE:
      return "pre-release";
    case UPD_CHANNEL_DEFERRED:
      return "deferred";
    default:
      return "production";
  }
}

const char* GetChannelNameShort(const UPDATER_SETTINGS* settings) {
  if (settings != nullptr && settings->develChannel == 0 &&
      settings->releaseChannel == UPD_CHANNEL_DEFERRED) {
    return "production";
  }
  return GetChannelName(settings);
}

bool TestSourceFlags(const UPDATER_SETTINGS* settings, uint32_t kind) {
  if (settings == nullptr) return true;
  if (kind == kSourceKindFlagAOnly) return settings->sourceFlagA == 0;
  return settings->sourceFlagA == 0 && settings->sourceFlagB == 0;
}
