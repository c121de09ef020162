#pragma once

#include <cstdint>
#include <string>

#include "platform/store/profile_file.h"
#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/lists/component_list.h"

// A mirror's "update.ver", written from the mirror's records into the work
// file "<target>.new" and moved over the target only once it is whole.
struct MirrorVerDocument {
  std::string target;
  std::string workPath;
  CProfileFile profile;
};

// First entry to write (0x20000) that is not dropped, else kNoEntry.
[[nodiscard]] ListIndex FindFirstToWrite(const CListBase& list);

// Deletes an old work file and starts an empty profile on it.
void OpenVerForWrite(MirrorVerDocument& document, const std::string& path);

// Writes every entry of category, a module's package chain in level order
// from 0 up to its first missing level. 0 or the first failing section's code.
[[nodiscard]] UpdError WriteMirrorSections(MirrorVerDocument& document, CListBase& list,
                                           uint32_t category);

// One section named after the entry: 0; kUpdMirrorPassFailed for a category a mirror
// catalogue cannot hold; kUpdOutOfMemory when a section or key cannot be stored.
[[nodiscard]] UpdError WriteComponentSection(MirrorVerDocument& document,
                                             const _COMPONENT_INFO& entry);

// "UP_HASH" with the update hash: that of last_catalogue (the run's last
// catalogue) when the configured server is itself a mirror, else the mirror
// callback's 20 bytes (code 4) as 40 upper-case hexadecimal digits. kUpdNoUpdateHash
// when no hash is available.
[[nodiscard]] UpdError WriteUpdateHash(MirrorVerDocument& document, const char* last_catalogue,
                                       const UPDATER_SETTINGS* settings,
                                       const MIRROR_SETTINGS* mirror);

// Does nothing; a place for the host build's own additions.
UpdError MirrorVerHook(MirrorVerDocument& document, const MIRROR_SETTINGS* mirror);

// Saves the work file and moves it over the target (mode 0644): 0, the
// move's code, or kUpdWriteFailed (kUpdDiskFull on a full disk) when it cannot be saved.
[[nodiscard]] UpdError SaveVer(MirrorVerDocument& document);
