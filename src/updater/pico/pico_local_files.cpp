// The pico files already on disk: each must be numbered, wanted and
// accepted by the engine as the file of its number.

#include <set>
#include <string>

#include "platform/util/charset.h"
#include "platform/util/engine_bridge.h"
#include "platform/util/file_finder.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/pico/pico_engine.h"
#include "updater/pico/pico_files.h"
#include "updater/pico/pico_manager.h"

UpdError CPicoManager::ValidatePicoFile(const ENGINE_DISPATCH* engine, const char* path,
                                        uint32_t id, uint32_t n) {
  const std::u16string wide_path = NarrowToU16String(path, kStrToNul);
  uint32_t file_id = 0;
  uint32_t sequence = 0;
  const uint32_t result = EngineCall3042(engine, wide_path.c_str(), &file_id, &sequence);
  if (result != 0) return static_cast<UpdError>(MapEngineError(result));
  return file_id == id && sequence == n ? kUpdOk : kUpdBadFile;
}

UpdError CPicoManager::ListLocalFiles(const PicoRun& run, const PICO_ENTRY& entry,
                                      std::set<uint32_t>* numbers) {
  PicoEngine engine(run.host.settings);
  if (!engine.Held()) return kUpdEngineUnavailable;
  const std::string folder = PicoFolder(entry.id);
  for (CFileFinder finder(folder.c_str(), kPicoFilePattern, kOsAttrRegular); finder.NotAtEnd();
       finder.Next()) {
    if (run.cancellation.IsCancelled()) return kUpdInstallAborted;
    const std::optional<uint32_t> n = PicoFileNumber(finder.Name());
    if (n && *n >= entry.first &&
        ValidatePicoFile(engine.dispatch(), finder.Path(), entry.id, *n) == kUpdOk) {
      numbers->insert(*n);
      continue;
    }
    // A file that cannot be deleted is only passed over.
    static_cast<void>(DeleteFileChecked(finder.Path(), 0));
  }
  return kUpdOk;
}
