#include <optional>
#include <utility>

#include "platform/util/file_helpers.h"
#include "platform/util/host_fields.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/catalogue_download.h"
#include "updater/engine/catalogue/catalogue_roads.h"
#include "updater/engine/catalogue/signed_buffer.h"
#include "updater/engine/servers/configured_server.h"
#include "updater/engine/servers/server_draw.h"

namespace {

// One server's catalogue in memory: the payload lies at offset, length.
struct ServerCatalogue {
  CCatalogueBuffer buffer;
  uint64_t offset = 0;
  uint64_t length = 0;
  std::string keptCopy;
  CatalogueTrust trust = CatalogueTrust::kUnchecked;
};

// The signed form is missing: only then may the plain form be taken.
bool IsMissingSignedForm(UPD_ERROR result) {
  return result == kUpdNotFound || result == kUpdSignatureMismatch || result == kUpdMissing;
}

// Codes that no other server can mend.
bool EndsTheStep(UPD_ERROR result) {
  switch (result) {
    case kUpdNoUniqueName:
    case kUpdTempFileFailed:
    case kUpdOpenFailed:
    case kUpdWriteFailed:
    case kUpdFolderFailed:
    case kUpdCopyFailed:
    case kUpdDiskFull:
    case kUpdAccessDenied:
    case kUpdProxyAuthRequired:
      return true;
    default:
      return false;
  }
}

// The body of url into the catalogue's buffer, or its kept copy after "not
// modified"; a fresh body becomes the kept copy.
UPD_ERROR FetchBody(const CatalogueRun& run, const CatalogueRequest& request,
                    const std::string& url, ServerCatalogue& catalogue) {
  const UPD_ERROR result =
      DownloadCatalogueToBuffer(run, request, url, catalogue.buffer, &catalogue.keptCopy);
  if (result == kUpdNotModified) {
    catalogue.buffer.Clear();
    const UPD_ERROR loaded = LoadFileToBuffer(catalogue.keptCopy.c_str(), catalogue.buffer);
    return loaded != kUpdOk ? loaded : result;
  }
  return result;
}

UPD_ERROR Keep(const ServerCatalogue& catalogue) {
  const UPD_ERROR saved = SaveBufferToFile(catalogue.keptCopy.c_str(), catalogue.buffer.Data(),
                                           catalogue.buffer.Length());
  if (saved != kUpdOk) static_cast<void>(DeleteFileChecked(catalogue.keptCopy.c_str(), 0));
  return saved;
}

// The plain form, unchecked: the whole body is the catalogue.
UPD_ERROR FetchPlainForm(const CatalogueRun& run, const CatalogueRequest& request,
                         const std::string& server_url, ServerCatalogue& catalogue) {
  const UPD_ERROR result = FetchBody(run, request, server_url + kCatalogueName, catalogue);
  if (result != kUpdOk && result != kUpdNotModified) return result;
  if (result == kUpdOk) {
    const UPD_ERROR kept = Keep(catalogue);
    if (kept != kUpdOk) return kept;
  }
  catalogue.offset = 0;
  catalogue.length = catalogue.buffer.Length();
  catalogue.trust = CatalogueTrust::kUnchecked;
  return result;
}

// The server's catalogue: the signed form when it is there (a signed form
// that does not verify fails the server: someone altered it), else the
// plain form.
UPD_ERROR FetchFromServer(const CatalogueRun& run, const CatalogueRequest& request,
                          const std::string& server_url, ServerCatalogue& catalogue) {
  const UPD_ERROR result = FetchBody(run, request, server_url + kSignedCatalogueName, catalogue);
  if (IsMissingSignedForm(result)) return FetchPlainForm(run, request, server_url, catalogue);
  if (result != kUpdOk && result != kUpdNotModified) return result;
  if (!CheckSignedBuffer(catalogue.buffer.Data(), catalogue.buffer.Length(), &catalogue.offset,
                         &catalogue.length, kUpdateSigner)) {
    static_cast<void>(DeleteFileChecked(catalogue.keptCopy.c_str(), 0));
    return kUpdSignatureMismatch;
  }
  if (result == kUpdOk) {
    const UPD_ERROR kept = Keep(catalogue);
    if (kept != kUpdOk) return kept;
  }
  catalogue.trust = CatalogueTrust::kSignatureVerified;
  return result;
}

bool Delivered(UPD_ERROR result) { return result == kUpdOk || result == kUpdNotModified; }

// The servers to draw from and the one to use when no weight is left.
struct ServerChoice {
  CDefServersArray servers;
  std::string fallback;
};

ServerChoice LoadServerChoice(const UPDATER_SETTINGS* settings, const char* suffix, bool mode) {
  ServerChoice choice;
  std::string fail_safe;
  const std::string second = HostFieldString(settings->secondServer);
  if (mode) {
    static_cast<void>(
        LoadDefaultServers(choice.servers, settings, second.empty() ? &fail_safe : nullptr));
  }
  const std::string fallback = second.empty() ? fail_safe : second;
  if (fallback.empty()) return choice;
  choice.fallback = NormaliseServerUrl(fallback);
  if (*suffix != '\0') choice.fallback = NormaliseServerUrl(choice.fallback + suffix);
  return choice;
}

// The drawing of servers until one delivers, with what a failure through a
// proxy leaves to try again.
class ServerDrawing {
 public:
  ServerDrawing(const CatalogueRun& run, const CatalogueRequest& request, ServerChoice choice)
      : run_(run), request_(request), choice_(std::move(choice)) {}

  // The first server that delivers into catalogue; its URL in server_url.
  UPD_ERROR Run(ServerCatalogue& catalogue, std::string& server_url) {
    for (;;) {
      const std::optional<int64_t> drawn = DrawServer(choice_.servers, DrawWithThreadTwister);
      server_url = drawn ? NormaliseServerUrl(choice_.servers[*drawn].url) : choice_.fallback;
      catalogue.buffer.Clear();
      const UPD_ERROR result = FetchFromServer(run_, request_, server_url, catalogue);
      if (Delivered(result)) return result;
      if (const std::optional<UPD_ERROR> final = Failed(result, drawn)) return *final;
      RemoveServerWeight(choice_.servers, *drawn);
    }
  }

  // A server that failed through the proxy and may be tried once more.
  std::optional<std::string> ProxyFailure() const {
    if (!proxy_failure_) return std::nullopt;
    return NormaliseServerUrl(choice_.servers[*proxy_failure_].url);
  }

 private:
  bool ThroughProxy() const {
    const UPDATER_SETTINGS* settings = run_.host.settings;
    return settings->proxyEnabled != 0 && settings->proxyHost[0] != '\0';
  }

  // The result that ends the drawing, or none to draw again.
  std::optional<UPD_ERROR> Failed(UPD_ERROR result, std::optional<int64_t> drawn) {
    if (run_.cancellation.IsCancelled()) return kUpdStopped;
    if (EndsTheStep(result)) return result;
    if (ThroughProxy()) {
      const bool unreachable = result == kUpdCannotConnect || result == kUpdServerUnreachable;
      if (unreachable && run_.host.settings->proxyDirectRetry == 0) return result;
      if (!proxy_failure_ && drawn) proxy_failure_ = *drawn;
    }
    if (!drawn) return result;
    return std::nullopt;
  }

  const CatalogueRun& run_;
  const CatalogueRequest& request_;
  // The drawing changes only the weights; the URLs stay.
  ServerChoice choice_;
  std::optional<int64_t> proxy_failure_;
};

}  // namespace

CatalogueOutcome FetchFromChosenServer(const CatalogueRun& run, const CatalogueRequest& request,
                                       const char* catalog_path, const char* suffix, bool mode) {
  CatalogueOutcome outcome;
  ServerDrawing drawing(run, request, LoadServerChoice(run.host.settings, suffix, mode));
  ServerCatalogue first;
  outcome.result = drawing.Run(first, outcome.serverUrl);
  if (!Delivered(outcome.result)) return outcome;
  const ServerCatalogue* taken = &first;
  ServerCatalogue retried;
  if (const std::optional<std::string> again = drawing.ProxyFailure()) {
    const UPD_ERROR result = FetchFromServer(run, request, *again, retried);
    if (Delivered(result)) {
      taken = &retried;
      outcome.result = result;
      outcome.serverUrl = *again;
    }
  }
  outcome.keptCopy = taken->keptCopy;
  const uint8_t* payload = taken->buffer.Data() + taken->offset;
  const UPD_ERROR saved = SaveBufferToFile(catalog_path, payload, taken->length);
  if (saved != kUpdOk) {
    outcome.result = saved;
    return outcome;
  }
  // The bytes just written, parsed from memory: the file is for the host
  // and later runs.
  outcome.catalogue = Catalogue::FromText(
      {reinterpret_cast<const char*>(payload), static_cast<size_t>(taken->length)}, taken->trust);
  return outcome;
}
