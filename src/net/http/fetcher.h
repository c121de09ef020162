#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "net/http/fetch_config.h"
#include "net/http/transfer_bound.h"
#include "platform/util/result.h"
#include "platform/util/update_errors.h"

// The seam through which an engine step downloads: the step says what it
// wants, the fetcher (the context's download session, or a stand-in in a
// test) decides how. A step that takes an IFetcher can be driven with
// chosen answers, cuts and failures without any peer.

// One download as a step asks for it. Everything but url is optional.
struct FetchRequest {
  const char* url = nullptr;
  // Carried back in the progress events.
  uint32_t callerWord = 0;
  // The catalogue that may carry the file inline ("data..." URLs).
  const char* inlineSource = nullptr;
  // Folder of the kept copies (the update folder).
  const char* localFolder = nullptr;
  // Key under which a broken download is kept for resumption; none: no cache.
  const char* cacheKey = nullptr;
  // Request headers: the spread flag, skip the HEAD, the channel ("domain=").
  uint32_t sourceFlag = 0;
  uint32_t extraFlag = 0;
  const char* channelName = nullptr;
};

class IFetcher {
 public:
  virtual ~IFetcher() = default;
  IFetcher(const IFetcher&) = delete;
  IFetcher& operator=(const IFetcher&) = delete;

  // The body of request into the file path. bound: the most the body may
  // bring and the code past it (none: the fetcher's default for files).
  [[nodiscard]] virtual UpdError DownloadToFile(const FetchConfig& config,
                                                const FetchRequest& request, const char* path,
                                                const std::optional<TransferBound>& bound) = 0;
  // The body of request in memory (none: the fetcher's default for memory).
  [[nodiscard]] virtual Result<std::string> FetchToMemory(
      const FetchConfig& config, const FetchRequest& request,
      const std::optional<TransferBound>& bound) = 0;
  // Start of a step: the progress word of the fetches starts again at 0.
  virtual void BeginStep() = 0;
  // End of a step: connections kept open for the next fetch are closed.
  virtual void CloseConnections() = 0;

 protected:
  IFetcher() = default;
};
