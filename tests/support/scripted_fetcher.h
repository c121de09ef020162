#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "net/http/fetcher.h"
#include "platform/util/update_errors.h"

namespace upd::test {

// A fetcher that answers each URL as the test scripts it, with no peer: the
// chosen bytes, a failure, or a cut (some bytes arrive, then a failure). It
// records what the step asked for and when it began and ended its steps.
class ScriptedFetcher final : public IFetcher {
 public:
  struct Answer {
    std::string bytes;
    // kUpdOk: all of bytes arrive. Otherwise bytes is what came before the
    // failure (a cut), left in the target file as a transport would.
    UpdError result = kUpdOk;
  };
  struct Asked {
    std::string url;
    std::string path;  // empty for FetchToMemory
    std::optional<TransferBound> bound;
    std::string cacheKey;
    std::string inlineSource;
    FetchConfig config;
  };

  // What url answers; a URL nobody scripted fails with kUpdNotFound.
  void On(const std::string& url, Answer answer) { answers_[url] = std::move(answer); }

  UpdError DownloadToFile(const FetchConfig& config, const FetchRequest& request,
                          const char* path, const std::optional<TransferBound>& bound) override {
    const Answer answer = Record(config, request, path, bound);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << answer.bytes;
    return answer.result;
  }

  Result<std::string> FetchToMemory(const FetchConfig& config, const FetchRequest& request,
                                    const std::optional<TransferBound>& bound) override {
    const Answer answer = Record(config, request, "", bound);
    if (answer.result != kUpdOk) return answer.result;
    return answer.bytes;
  }

  void BeginStep() override { log_.push_back("begin"); }
  void CloseConnections() override { log_.push_back("close"); }

  const std::vector<Asked>& asked() const { return asked_; }
  // "begin", "fetch <url>" and "close" in the order they happened.
  const std::vector<std::string>& log() const { return log_; }

 private:
  Answer Record(const FetchConfig& config, const FetchRequest& request, const std::string& path,
                const std::optional<TransferBound>& bound) {
    const std::string url = request.url != nullptr ? request.url : "";
    asked_.push_back({url, path, bound, request.cacheKey != nullptr ? request.cacheKey : "",
                      request.inlineSource != nullptr ? request.inlineSource : "", config});
    log_.push_back("fetch " + url);
    const auto found = answers_.find(url);
    return found != answers_.end() ? found->second : Answer{"", kUpdNotFound};
  }

  std::map<std::string, Answer> answers_;
  std::vector<Asked> asked_;
  std::vector<std::string> log_;
};

}  // namespace upd::test
