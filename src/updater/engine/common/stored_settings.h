#pragma once

#include <cstdint>
#include <optional>

#include "platform/store/settings_store.h"
#include "updater.h"

// What the library keeps between calls in the section "Settings" of the
// settings store that the host's settings name. Numbers are decimal text;
// times are seconds since 1970 cut to 32 bits.

// A time the settings store does not hold: the context keeps it as -1, which
// the host reads back as all bits set.
inline constexpr int64_t kStoredTimeUnknown = -1;
// The context's time as the engine takes it: nothing when it is unknown.
[[nodiscard]] constexpr std::optional<int64_t> KnownTime(int64_t stored) {
  if (stored == kStoredTimeUnknown) return std::nullopt;
  return stored;
}

// End of the last run that obtained a catalogue.
inline constexpr char kKeyLastUpdateAttempt[] = "LastUpdateAttempt";
// End of the last run that obtained a catalogue and replaced an engine module.
inline constexpr char kKeyLastUpdate[] = "LastUpdate";
inline constexpr char kKeyLastAppUpdateAttempt[] = "LastAppUpdateAttempt";
// Time of the offline engine set-up.
inline constexpr char kKeyInstallTime[] = "InstallTime";
// Current server group ("Release" when absent) and the one being left.
inline constexpr char kKeyUpdateServerGroup[] = "UpdateServerGroup";
inline constexpr char kKeyUpdateServerGroupOld[] = "UpdateServerGroupOld";
// Present and 0 while a group switch is incomplete.
inline constexpr char kKeySwitchUpdateGroupFinished[] = "SwitchUpdateGroupFinished";
inline constexpr char kKeyDefaultServerCount[] = "DefaultServerCount";
inline constexpr char kKeyDefaultServerFormat[] = "DefaultServer%d";
inline constexpr char kKeyDefaultServerWeightFormat[] = "DefaultServerWeight%d";
inline constexpr char kKeyFailSafeServer[] = "FailSafeServer";
// Validators of a catalogue URL: host, path and file name.
inline constexpr char kKeyVerFileEtagFormat[] = "VerFileETAG_%s%s%s";
inline constexpr char kKeyVerFileLastModifiedFormat[] = "VerFileLastModified_%s%s%s";
// Last time the catalogue announced the pico of this id.
inline constexpr char kKeyPicoLastAppearedFormat[] = "PicoLastAppeared_%u";

// The store that the settings' location names, read afresh; null without
// settings or when the location cannot be opened (no "file://").
[[nodiscard]] SettingsStorePtr OpenSettingsStore(const UPDATER_SETTINGS* settings);
