#pragma once

#include <string>

#include "platform/store/profile_file.h"
#include "updater.h"
#include "updater/engine/servers/server_list.h"

// The default servers kept in the settings store ("DefaultServerCount",
// "DefaultServer%d", "DefaultServerWeight%d" with own weights, and
// "FailSafeServer"). Each use opens the store afresh; a store that cannot be
// opened reads as no servers and takes no writes, silently.

// Whether the catalogue in hand proved where it came from.
enum class CatalogueTrust {
  // Taken without a signature check: a configured server, or the plain form
  // when the signed one was missing or did not verify.
  kUnchecked,
  // Its OpenPGP signature verified against the update key.
  kSignatureVerified,
};

// Fills servers (emptied first) with the stored servers as running totals; a
// missing server key skips its index, a missing weight counts 1. fail_safe,
// when given, receives "FailSafeServer" or becomes empty. True when the total
// weight is not 0.
bool LoadDefaultServers(CDefServersArray& servers, const UPDATER_SETTINGS* settings,
                        std::string* fail_safe);

// Stores the server list of the settings' group from the catalogue (URLs resolved against base_url)
// as the default servers; keys of higher indices from a longer earlier list stay, beyond the new
// count. Only a catalogue whose signature verified may change what later runs trust: an unchecked
// one writes nothing. False when nothing was written: unchecked, no list for the group, a list
// equal to the stored one (URLs ASCII case folded, same weights, same order), or no store.
bool SaveDefaultServers(const UPDATER_SETTINGS* settings, const CProfileFile& catalogue,
                        const char* base_url, CatalogueTrust trust);

// Deletes the stored servers and their count; "FailSafeServer" stays.
void DeleteDefaultServers(const UPDATER_SETTINGS* settings);
