#include "platform/os/os_folder.h"
#include "platform/os/os_temp.h"
#include "platform/util/file_helpers.h"
#include "platform/util/path_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/catalogue_download.h"
#include "updater/engine/catalogue/catalogue_roads.h"
#include "updater/engine/servers/configured_server.h"

namespace {

// A new "upd.XXXXXX" in the update folder, the folder made when missing.
bool MakeTempFile(const char* folder, char* name, size_t size) {
  if (OsGetTempFileName("upd", name, size, folder) != 0) {
    if (OsCreateFolderTree(folder) != 0 || OsGetTempFileName("upd", name, size, folder) != 0) {
      return false;
    }
  }
  return name[0] != '\0';
}

// The body received in temp becomes the kept copy.
UPD_ERROR KeepBody(const char* temp, const std::string& kept_copy) {
  const UPD_ERROR moved = FileMove(
      temp, kept_copy.c_str(), kFileMoveOverwrite | kFileMoveCopyFallback | kFileMoveCreateFolder);
  if (moved != kUpdOk) {
    static_cast<void>(DeleteFileChecked(kept_copy.c_str(), 0));
    static_cast<void>(DeleteFileChecked(temp, 0));
  }
  return moved;
}

}  // namespace

CatalogueOutcome FetchFromConfiguredServer(const CatalogueRun& run, const CatalogueRequest& request,
                                           const char* catalog_path, const char* server,
                                           const char* suffix) {
  CatalogueOutcome outcome;
  outcome.serverUrl = NormaliseServerUrl(server) + suffix;
  const std::string url = PathJoinString(outcome.serverUrl, kCatalogueName);
  char temp[kPathSize] = {};
  if (!MakeTempFile(run.host.updateFolder, temp, sizeof temp)) {
    outcome.result = kUpdTempFileFailed;
    return outcome;
  }
  outcome.result = DownloadCatalogueToFile(run, request, url, temp, true, &outcome.keptCopy);
  if (outcome.result == kUpdOk) {
    const UPD_ERROR kept = KeepBody(temp, outcome.keptCopy);
    if (kept != kUpdOk) {
      outcome.result = kept;
      return outcome;
    }
  } else {
    // Also after "not modified": the kept copy is what is taken then.
    static_cast<void>(DeleteFileChecked(temp, 0));
    if (outcome.result != kUpdNotModified) return outcome;
  }
  const UPD_ERROR copied =
      FileCopy(outcome.keptCopy.c_str(), catalog_path, kFileCopyOverwrite | kFileCopyCreateFolder);
  if (copied != kUpdOk) {
    outcome.result = copied;
    return outcome;
  }
  outcome.catalogue = Catalogue::FromFile(catalog_path, CatalogueTrust::kUnchecked);
  return outcome;
}
