// The fetch of one pico's files: the valid local files are kept, the gaps
// below the highest one are filled, then the following numbers are fetched
// until the server has no next one.

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "platform/util/channel_names.h"
#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "platform/util/url_helpers.h"
#include "updater/engine/servers/configured_server.h"
#include "updater/engine/session/download_session.h"
#include "updater/pico/pico_engine.h"
#include "updater/pico/pico_files.h"
#include "updater/pico/pico_manager.h"

namespace {

// The caller word of pico downloads in the host's progress events.
constexpr uint32_t kPicoDownloadWord = 3;

// Sets a bit of the session word for the length of one download.
class SessionWordBit {
 public:
  SessionWordBit(CDownloadSession& session, uint32_t bit) : session_(session), bit_(bit) {
    session_.sessionWord |= bit_;
  }
  ~SessionWordBit() { session_.sessionWord &= ~bit_; }
  SessionWordBit(const SessionWordBit&) = delete;
  SessionWordBit& operator=(const SessionWordBit&) = delete;

 private:
  CDownloadSession& session_;
  uint32_t bit_;
};

// Closes the session's HTTP connections when the update ends.
class TransportCloser {
 public:
  explicit TransportCloser(CDownloadSession& session) : session_(session) {}
  ~TransportCloser() { session_.CloseHttpTransports(); }
  TransportCloser(const TransportCloser&) = delete;
  TransportCloser& operator=(const TransportCloser&) = delete;

 private:
  CDownloadSession& session_;
};

// The URL of file n: the pico's source folder and the file name joined by
// one '/', made absolute against the catalogue's server (or, before any
// catalogue step, the configured one).
std::string PicoFileUrl(const PicoRun& run, const PICO_ENTRY& entry, uint32_t n) {
  const std::string base = run.serverRoot[0] != '\0' ? std::string(run.serverRoot)
                                                     : ResolveServerUrl(run.host.settings, "");
  char base_url[UPD_PATH_SIZE];
  SafeStrCopy(base_url, sizeof base_url, base.c_str());
  char root[UPD_PATH_SIZE] = {};
  GetServerRoot(base_url, sizeof base_url, root, sizeof root);
  std::string path = entry.source;
  while (!path.empty() && path.back() == '/') path.pop_back();
  if (!path.empty()) path += '/';
  path += PicoFileName(n);
  char url[UPD_PATH_SIZE];
  SafeStrCopy(url, sizeof url, path.c_str());
  ResolvePath(url, sizeof url, base_url, root);
  return url;
}

std::string CacheKey(uint32_t id, uint32_t n) {
  return "pico-" + std::to_string(id) + "-" + std::to_string(n);
}

// Downloads file n of the pico into its folder through "<n>_new.pic"; the
// file takes its name only after the engine accepted it.
UPD_ERROR DownloadPicoFile(const PicoRun& run, const PICO_ENTRY& entry, const std::string& folder,
                           uint32_t n) {
  const std::string target = folder + PicoFileName(n);
  const std::string incoming = folder + NewPicoFileName(n);
  const UPD_ERROR created = CreateParentFolder(target.c_str());
  if (created != kUpdOk) return created;
  const std::string url = PicoFileUrl(run, entry, n);
  const std::string key = CacheKey(entry.id, n);
  UPD_ERROR result = kUpdOk;
  {
    SessionWordBit listing(run.session, CDownloadSession::kListingBit);
    FetchFileArgs fetch;
    fetch.callerWord = kPicoDownloadWord;
    fetch.url = url.c_str();
    fetch.target = incoming.c_str();
    fetch.settings = run.host.settings;
    fetch.verPath = run.catalogue;
    fetch.localFolder = run.host.updateFolder;
    fetch.cacheKey = key.c_str();
    fetch.sourceFlag = TestSourceFlags(run.host.settings, 1) ? 1 : 0;
    fetch.channelName = GetChannelName(run.host.settings);
    result = run.session.FetchFile(fetch);
  }
  if (result == kUpdOk) {
    PicoEngine engine(run.host.settings);
    result = !engine.Held()
                 ? kUpdEngineUnavailable
                 : CPicoManager::ValidatePicoFile(engine.dispatch(), incoming.c_str(), entry.id, n);
    if (result == kUpdOk) {
      result = FileMove(incoming.c_str(), target.c_str(),
                        kFileMoveOverwrite | kFileMoveCopyFallback);
    }
  }
  if (result != kUpdOk) static_cast<void>(DeleteFileChecked(incoming.c_str(), 0));
  return result;
}

// The downloads of one PerformUpdate, at most kMaxPicoFilesPerUpdate of them;
// numbers receives every file that arrived.
class PicoFetch {
 public:
  PicoFetch(const PicoRun& run, const PICO_ENTRY& entry, std::string folder,
            std::set<uint32_t>& numbers)
      : run_(run), entry_(entry), folder_(std::move(folder)), numbers_(numbers) {}

  // The numbers missing from first up to the highest local one, in order;
  // the first failure ends the update.
  UPD_ERROR FillGaps() {
    if (numbers_.empty()) return kUpdOk;
    const uint32_t highest = *numbers_.rbegin();
    for (uint32_t n = entry_.first; n < highest && !BoundReached(); ++n) {
      if (numbers_.count(n) != 0) continue;
      const UPD_ERROR result = Fetch(n);
      if (result != kUpdOk) return result;
    }
    return kUpdOk;
  }

  // The numbers after the highest one (or from first) until a download
  // fails; 0 when the bound stops it.
  UPD_ERROR FetchFollowing() {
    if (!numbers_.empty() && *numbers_.rbegin() == UINT32_MAX) return kUpdNotFound;
    for (uint32_t n = numbers_.empty() ? entry_.first : *numbers_.rbegin() + 1; !BoundReached();
         ++n) {
      const UPD_ERROR result = Fetch(n);
      if (result != kUpdOk) return result;
      if (n == UINT32_MAX) return kUpdNotFound;
    }
    return kUpdOk;
  }

 private:
  bool BoundReached() const { return fetched_ == kMaxPicoFilesPerUpdate; }

  UPD_ERROR Fetch(uint32_t n) {
    const UPD_ERROR result = DownloadPicoFile(run_, entry_, folder_, n);
    if (result != kUpdOk) return result;
    numbers_.insert(n);
    ++fetched_;
    return kUpdOk;
  }

  const PicoRun& run_;
  const PICO_ENTRY& entry_;
  const std::string folder_;
  std::set<uint32_t>& numbers_;
  uint32_t fetched_ = 0;
};

}  // namespace

UpdError CPicoManager::PerformUpdate(const PicoRun& run, uint32_t id) {
  const std::optional<PICO_ENTRY> entry = FindEntry(id);
  if (!entry) return kUpdInvalidRequest;
  std::set<uint32_t> numbers;
  const UpdError listed = ListLocalFiles(run, *entry, &numbers);
  if (listed != kUpdOk) return listed;
  const size_t before = numbers.size();
  CDownloadSession& session = run.session;
  session.Reset();
  TransportCloser closer(session);
  PicoFetch fetch(run, *entry, PicoFolder(entry->id), numbers);
  const UPD_ERROR gaps = fetch.FillGaps();
  if (gaps != kUpdOk) return static_cast<UpdError>(gaps);
  const UPD_ERROR result = fetch.FetchFollowing();
  // The server has no next file: the sequence is complete.
  if (result != kUpdNotFound) return static_cast<UpdError>(result);
  return numbers.size() > before ? kUpdOk : kUpdNothingNew;
}
