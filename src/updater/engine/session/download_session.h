#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/http/download_cache.h"
#include "net/http/fetcher.h"
#include "net/http/http_transport.h"
#include "net/http/smb_transport.h"
#include "net/tls/ssl_protocol.h"
#include "net/tls/tcp_protocol.h"
#include "updater.h"
#include "updater/engine/common/download_bounds.h"

class CBuffer;

// Protocols of a parsed URL.
enum SessionProtocol : uint32_t {
  kProtocolNone = 0,
  kProtocolFtp = 1,
  kProtocolHttp = 3,
  kProtocolHttps = 4,
  kProtocolFile = 0x1001,
};

// One download as the engine asks for it. Everything but url is optional.
struct DownloadFileArgs {
  // Non-zero: a single request of that kind (HttpRequestKind) with body,
  // whose answer body is not read.
  uint32_t requestKind = 0;
  const char* url = nullptr;
  // The file that receives the body, unless buffer is given.
  const char* target = nullptr;
  // The host's record: the store of the validators, and the configuration
  // of the fetch unless config is given.
  const UPDATER_SETTINGS* settings = nullptr;
  const FetchConfig* config = nullptr;
  // Carried back in the progress events.
  uint32_t callerWord = 0;
  // Send the validators kept for this URL (when its kept copy exists), and
  // keep those of the answer.
  bool useValidators = false;
  // Folder of the kept copies (the update folder); null or empty: none.
  const char* localFolder = nullptr;
  std::string_view body;
  // A cached partial file to resume from.
  const char* partialPath = nullptr;
  // Emptied, then receives the body.
  CBuffer* buffer = nullptr;
  // Request headers: the spread flag, skip the HEAD, the channel ("domain=").
  uint32_t sourceFlag = 0;
  uint32_t extraFlag = 0;
  const char* channelName = nullptr;
  // Receives the kept-copy path of the URL finally read (cut to its size).
  char* localPathOut = nullptr;
  size_t localPathOutSize = 0;
  // The most the body may bring; none: kDefaultMemoryDownloadBytes into a
  // buffer, else kDefaultFileDownloadBytes, both with kUpdSourceUnreadable.
  std::optional<TransferBound> sizeBound;
};

// The engine's usual download (see FetchFile).
struct FetchFileArgs {
  uint32_t callerWord = 0;
  const char* url = nullptr;
  const char* target = nullptr;
  // As in DownloadFileArgs.
  const UPDATER_SETTINGS* settings = nullptr;
  const FetchConfig* config = nullptr;
  // The catalogue that may carry the file inline ("data..." URLs).
  const char* verPath = nullptr;
  const char* localFolder = nullptr;
  // Key of the download cache that keeps a broken download for resumption;
  // null or empty: no cache.
  const char* cacheKey = nullptr;
  uint32_t sourceFlag = 0;
  uint32_t extraFlag = 0;
  const char* channelName = nullptr;
  // As DownloadFileArgs::sizeBound. A download that ends with the bound's
  // result never enters the cache.
  std::optional<TransferBound> sizeBound;
};

// The single download front end of a context: every catalogue, package, pico
// file and repository document goes through it. It splits URLs, asks the host
// to approve servers (event 23), picks the transport (HTTP, HTTPS or the
// share transport for FILE sources), follows redirects, keeps the HTTP
// validators of catalogues and resumes broken downloads from its cache.
//
// Used by the working export's thread under the context lock; only Abort
// comes from other threads. The engine steps that take an IFetcher reach it
// through that seam (FetchFile and DownloadFile behind it).
//
// FILE sources. A server must not make the library copy local files: a FILE
// URL is followed only when it comes from the host or from a listing (a
// catalogue, pico list or repository document: any download made while
// kListingBit is set in sessionWord) that was itself read from a FILE
// source. The session remembers the protocol of the last listing it read
// (listingProtocol, kept across Reset); a FILE URL is refused with kUpdUnsupportedScheme
// when that listing came from HTTP or HTTPS, except for the first listing
// of a call (its URL is the host's configured server, or a stored default
// server). A Location header never leads to a FILE source.
class CDownloadSession final : public IFetcher {
 public:
  // Set in sessionWord while a listing is fetched.
  static constexpr uint32_t kListingBit = 0x80000000u;
  // Redirects followed by one download; one more answers kUpdRedirect.
  static constexpr int kMaxRedirects = 10;
  // Size of the work buffer of ParseUrl.
  static constexpr size_t kUrlBufferSize = 4112;
  static constexpr size_t kHostSize = 256;
  static constexpr size_t kPathSize = 4096;
  static constexpr size_t kFileNameSize = 256;

  // The cache lives in cacheFolder (the data folder's "cache").
  explicit CDownloadSession(std::string_view cacheFolder);
  CDownloadSession(const CDownloadSession&) = delete;
  CDownloadSession& operator=(const CDownloadSession&) = delete;

  // IFetcher. DownloadToFile is FetchFile (inline data, the cache, the retry
  // rule); FetchToMemory is DownloadFile into a buffer.
  [[nodiscard]] UpdError DownloadToFile(const FetchConfig& config, const FetchRequest& request,
                                        const char* path,
                                        const std::optional<TransferBound>& bound) override;
  [[nodiscard]] Result<std::string> FetchToMemory(
      const FetchConfig& config, const FetchRequest& request,
      const std::optional<TransferBound>& bound) override;
  void BeginStep() override { sessionWord = 0; }
  void CloseConnections() override { CloseHttpTransports(); }

  // Splits url into protocol, host, path and fileName. False (fields of the
  // last URL kept) when no scheme matches.
  [[nodiscard]] bool ParseUrl(const char* url);

  // One URL to a file or a buffer; follows redirects (at most kMaxRedirects).
  // kUpdStopped without a request once the call's token is cancelled.
  [[nodiscard]] UpdError DownloadFile(const DownloadFileArgs& args);

  // Inline catalogue data for "data..." URLs, else DownloadFile with the
  // cache and the retry rule: a download broken by the peer is tried a
  // second time, and again only while the kept partial file grows.
  [[nodiscard]] UpdError FetchFile(const FetchFileArgs& args);

  // The host's check of url's server (event 23) raised through events, asked
  // once per first resolved address until Reset (null: nothing is refused).
  [[nodiscard]] bool IsServerAddressRefused(const IFetchEvents* events, const char* url);

  // The resolved addresses of host ("name[:port]", stream sockets) as event
  // 23 lists them, IPv4 and IPv6 first and entries of other families left
  // zero at the end; nullopt when the name does not resolve.
  [[nodiscard]] static std::optional<std::vector<UPD_SERVER_ADDRESS>> ResolveServerAddresses(
      const char* host);

  // The scheme text of protocol, nullopt for none.
  [[nodiscard]] std::optional<std::string_view> GetSchemePrefix() const;

  // Any thread: every transfer of the session ends soon with kUpdStopped, until
  // Reset. The engine cancels through the run's token instead, which Reset
  // leaves alone (an abort raised before the run's Reset must hold).
  void Abort();
  // Start of each working call: host verdicts forgotten, the session's own
  // abort flags cleared, the HTTP transports reset. sessionWord, the cache
  // and the run's token stay.
  void Reset();
  // The token of the working call that now uses the session: once it is
  // cancelled every transfer ends soon with kUpdStopped.
  void SetCancelToken(const CancelToken& token);
  void CloseHttpTransports();
  // Drops cached downloads older than CDownloadCache::kMaxAgeSeconds.
  void PurgeDownloadCache();
  // Turns on the server-certificate check of HTTPS downloads, with the
  // trust lists cached in folder.
  void ConfigureTls(const char* certificateCacheFolder);

  // Handed to every transfer as its progress word; kListingBit while a
  // listing is fetched (the callers set and clear it).
  uint32_t sessionWord = 0;
  // The last URL parsed.
  uint32_t protocol = kProtocolNone;
  char host[kHostSize] = {};
  char path[kPathSize] = {};
  char fileName[kFileNameSize] = {};
  // Protocol of the last listing read (kProtocolNone before the first).
  uint32_t listingProtocol = kProtocolNone;

 private:
  struct Verdict {
    UPD_SERVER_ADDRESS entry{};
    bool refused = false;
  };
  struct Validators {
    std::string etag;
    std::string lastModified;
  };
  using AddressKey = std::array<uint8_t, 16>;

  [[nodiscard]] bool IsFileSourceAllowed() const;
  void NoteListing(UpdError result);
  [[nodiscard]] UpdError PrepareLocalCopy(const DownloadFileArgs& args, const std::string& url,
                                           Validators* validators);
  [[nodiscard]] UpdError Transfer(const DownloadFileArgs& args, const FetchConfig& config,
                                  const Validators& validators, _HTTP_RESPONSE_INFO* response);
  [[nodiscard]] UpdError TransferWithRedirects(const DownloadFileArgs& args,
                                               const FetchConfig& config, std::string* url,
                                               Validators* validators,
                                               _HTTP_RESPONSE_INFO* response);
  [[nodiscard]] UpdError FollowRedirect(const DownloadFileArgs& args, const FetchConfig& config,
                                        const _HTTP_RESPONSE_INFO& response, std::string* url,
                                        Validators* validators);
  [[nodiscard]] UpdError FetchWithCache(const FetchFileArgs& args);
  // The last HTTP transfer was cut because its peer fell below the minimum
  // rate.
  [[nodiscard]] bool LastTransferTooSlow() const;

  // Built in this order and freed in the reverse one, so that each HTTP
  // transport goes before the connection it runs over.
  CDownloadCache cache_;
  CTcpProtocol tcp_;
  CHttpTransport http_;
  CSslProtocol tls_;
  CHttpTransport https_;
  CSmbTransport share_;
  std::map<AddressKey, Verdict> verdicts_;
  CancelToken cancel_;
  // A listing was read since Reset.
  bool listingReadInCall_ = false;
};
