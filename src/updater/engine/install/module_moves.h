#pragma once

#include <cstdint>
#include <functional>

#include "platform/util/update_errors.h"
#include "updater.h"

// How module files enter and leave the modules folder. A module file is only
// ever put in place by one rename from a finished file on the same file
// system (the installation's temporary folder lies under the modules folder),
// so a process killed at any moment leaves every module name holding either
// the old or the new file, never a partial one.

// The points of an installation at which its files change.
enum class InstallStep : uint8_t {
  kEnginePatch,  // the engine is about to write a patched module
  kRename,       // a file is about to be renamed into or within the modules folder
};

// Called before every such point with its two paths (the patch and the
// output of an engine step; source and target of a rename). Process-wide and
// empty unless a test sets it: the tests stop a process at each point in turn
// and put faults in the way.
using InstallStepObserver = std::function<void(InstallStep step, const char* from, const char* to)>;
void SetInstallStepObserver(InstallStepObserver observer);
void NotifyInstallStep(InstallStep step, const char* from, const char* to);

// Renames the finished file `from` to `to`, replacing what is there and
// creating `to`'s folder when missing. 0, or kUpdMoveFailed (the source stays).
[[nodiscard]] UpdError MoveIntoPlace(const char* from, const char* to);

enum class KeepResult : uint8_t {
  kKept,     // `old` now holds the target's file
  kMissing,  // there was no target: nothing to keep
  kFailed,   // the target could not be kept (a folder, an unreadable file)
};

// Keeps the file at `target` under `old` without moving it, so the target
// stays in place until the new file replaces it: a second name where the file
// system allows one, else a copy. An earlier file at `old` is replaced.
[[nodiscard]] KeepResult KeepOldFile(const char* target, const char* old);
