#pragma once

#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// Deletion of folder trees and the engine's clean-up of its own folders.

// Deletes the entries of folder whose names hold a '.' and do not start with
// one (the OS search's "*.*"), sub-folders recursively; names without a dot
// stay. With remove_self the folder itself goes too once everything else
// did. 0 on success, -1 when anything could not be deleted. Symbolic links
// are removed as links, never followed.
int DeleteFolder(const char* folder, bool remove_self);

// The update-files folder's content (the folder stays).
int CleanTempFolder(const HostBinding* context);
// The update-files folder's "continuous" and "tempMirror" sub-folders.
int CleanContinuousFolder(const HostBinding* context);
int CleanTempMirrorFolder(const HostBinding* context);
// The "Modules" folder and every "em*.dat.old" file of the modules folder:
// kUpdOk only when all of it went (a missing "Modules" folder counts as a
// failure), else kUpdDeleteFailed.
[[nodiscard]] UpdError CleanModulesFolder(const HostBinding* context);
