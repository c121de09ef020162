#pragma once

#include <string>
#include <vector>

#include "platform/util/update_errors.h"
#include "updater.h"

// One file to put in place: a copy of source becomes target.
struct FileReplacement {
  std::string source;
  std::string target;
};

// Suffixes of the names beside each target that a replacement uses while it
// runs: the new content waits under the first, the old file under the second.
// Neither ends in ".dat", so a module scan never takes them for modules.
inline constexpr char kStagedSuffix[] = ".restore";
inline constexpr char kReplacedSuffix[] = ".replaced";

// Replaces every target by a copy of its source, all of them or none: each
// source is first copied (and flushed) beside its target under a staged name;
// only when every copy is made are the targets swapped in by renames, the old
// files kept aside until the last swap and put back if one fails. 0, or the
// code of the copy (kUpdCopyFailed, kUpdDiskFull for a full disk) or rename (kUpdMoveFailed) that
// failed, with every target as it was and no staged file left.
[[nodiscard]] UpdError ReplaceFileSet(const std::vector<FileReplacement>& files);
