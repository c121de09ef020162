#include "updater/backup/file_set_replace.h"

#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"

namespace {

struct Swap {
  std::string staged;
  std::string replaced;
  const std::string* target = nullptr;
  bool old_moved = false;
  bool new_moved = false;
};

void DeleteQuietly(const std::string& path) {
  static_cast<void>(DeleteFileChecked(path.c_str(), 0));
}

UPD_ERROR StageCopies(const std::vector<FileReplacement>& files, std::vector<Swap>* swaps) {
  for (const FileReplacement& file : files) {
    Swap& swap = swaps->emplace_back();
    swap.target = &file.target;
    swap.staged = file.target + kStagedSuffix;
    swap.replaced = file.target + kReplacedSuffix;
    const UPD_ERROR copied = FileCopy(file.source.c_str(), swap.staged.c_str(),
                                      kFileCopyOverwrite | kFileCopyCreateFolder | kFileCopyFlush);
    if (copied != kUpdOk) return copied;
  }
  return kUpdOk;
}

UPD_ERROR SwapIn(Swap& swap) {
  const char* target = swap.target->c_str();
  if (FileExists(target)) {
    const UPD_ERROR moved = FileMove(target, swap.replaced.c_str(), kFileMoveOverwrite);
    if (moved != kUpdOk) return moved;
    swap.old_moved = true;
  }
  const UPD_ERROR moved = FileMove(swap.staged.c_str(), target, kFileMoveOverwrite);
  if (moved == kUpdOk) swap.new_moved = true;
  return moved;
}

// Puts back what the swaps moved, the last one first.
void Undo(std::vector<Swap>& swaps) {
  for (auto swap = swaps.rbegin(); swap != swaps.rend(); ++swap) {
    const char* target = swap->target->c_str();
    if (swap->new_moved) {
      static_cast<void>(FileMove(target, swap->staged.c_str(), kFileMoveOverwrite));
    }
    if (swap->old_moved) {
      static_cast<void>(FileMove(swap->replaced.c_str(), target, kFileMoveOverwrite));
    }
  }
}

}  // namespace

UpdError ReplaceFileSet(const std::vector<FileReplacement>& files) {
  std::vector<Swap> swaps;
  swaps.reserve(files.size());
  UPD_ERROR result = StageCopies(files, &swaps);
  for (size_t i = 0; result == kUpdOk && i < swaps.size(); ++i) result = SwapIn(swaps[i]);
  if (result != kUpdOk) Undo(swaps);
  for (const Swap& swap : swaps) {
    if (result != kUpdOk) DeleteQuietly(swap.staged);
    if (swap.old_moved && result == kUpdOk) DeleteQuietly(swap.replaced);
  }
  return static_cast<UpdError>(result);
}
