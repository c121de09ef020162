#pragma once

#include <cstdint>
#include <string>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/catalogue/catalogue_buffer.h"
#include "updater/engine/catalogue/catalogue_run.h"

// Catalogue downloads through the run's download session.

// What every catalogue request carries in its headers.
struct CatalogueRequest {
  // The settings' source flag of kind 1 in mode 1, else 0.
  uint32_t sourceFlag = 0;
  const char* channelName = nullptr;
};

[[nodiscard]] CatalogueRequest MakeCatalogueRequest(const UPDATER_SETTINGS* settings, bool mode);

// Both downloads stop a body past CCatalogueBuffer::kMaxBody with
// kUpdOutOfMemory.

// url into the file target; with use_validators the validators kept for it
// are sent and the answer's kept. kept_copy receives the path under the
// update folder where the body of that URL is kept.
[[nodiscard]] UpdError DownloadCatalogueToFile(const CatalogueRun& run,
                                               const CatalogueRequest& request,
                                               const std::string& url, const char* target,
                                               bool use_validators, std::string* kept_copy);

// url into buffer, with validators.
[[nodiscard]] UpdError DownloadCatalogueToBuffer(const CatalogueRun& run,
                                                 const CatalogueRequest& request,
                                                 const std::string& url, CCatalogueBuffer& buffer,
                                                 std::string* kept_copy);

// Marks the session's downloads as catalogue downloads (the listing bit of
// its session word) for the life of the object, also on failure.
class CatalogueListingScope {
 public:
  explicit CatalogueListingScope(CDownloadSession& session);
  ~CatalogueListingScope();
  CatalogueListingScope(const CatalogueListingScope&) = delete;
  CatalogueListingScope& operator=(const CatalogueListingScope&) = delete;

 private:
  CDownloadSession& session_;
};
