#include "updater/engine/session/download_session.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "net/http/http_request_text.h"
#include "net/http/http_text.h"
#include "platform/util/buffer.h"
#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/engine/session/host_fetch_config.h"
#include "updater/engine/session/mirror_source_path.h"
#include "updater/engine/session/redirect_location.h"
#include "updater/engine/session/section_data.h"
#include "updater/engine/session/ver_validators.h"

namespace {

struct Scheme {
  std::string_view prefix;
  uint32_t protocol;
};

// Matched in this order, ASCII case folded, as a prefix.
constexpr std::array<Scheme, 4> kSchemes{{
    {"FTP://", kProtocolFtp},
    {"HTTP://", kProtocolHttp},
    {"HTTPS://", kProtocolHttps},
    {"FILE:", kProtocolFile},
}};

bool IsEmpty(const char* text) { return text == nullptr || *text == '\0'; }

bool IsHttp(uint32_t protocol) { return protocol == kProtocolHttp || protocol == kProtocolHttps; }

// A path with a drive ("c:..."), or a share ("//" or two backslashes), is a
// FILE source even without its scheme.
bool LooksLocal(std::string_view url) {
  return url.starts_with("\\\\") || url.starts_with("//") || (url.size() > 1 && url[1] == ':');
}

// The caller's bound, else the default of the target.
TransferBound BoundOf(const std::optional<TransferBound>& bound, bool into_memory) {
  return bound.value_or(TransferBound{
      into_memory ? kDefaultMemoryDownloadBytes : kDefaultFileDownloadBytes, kUpdSourceUnreadable});
}

template <size_t N>
void CopyCut(char (&field)[N], std::string_view text) {
  const size_t n = std::min(text.size(), N - 1);
  if (n != 0) std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

}  // namespace

CDownloadSession::CDownloadSession(std::string_view cacheFolder)
    : cache_(cacheFolder), http_(tcp_, false), https_(tls_, true) {}

bool CDownloadSession::ParseUrl(const char* url) {
  if (url == nullptr) return false;
  std::string text;
  const std::string_view given(url);
  if (LooksLocal(given)) text = "FILE:";
  text.append(given.substr(0, kUrlBufferSize - 1 - text.size()));
  std::replace(text.begin(), text.end(), '\\', '/');

  const auto scheme = std::find_if(kSchemes.begin(), kSchemes.end(), [&](const Scheme& s) {
    return StartsWithNoCase(text, s.prefix);
  });
  if (scheme == kSchemes.end()) return false;
  std::string_view rest = std::string_view(text).substr(scheme->prefix.size());

  const size_t last = rest.rfind('/');
  std::string_view file;
  if (last != std::string_view::npos) {
    file = rest.substr(last + 1);
    rest = rest.substr(0, last + 1);
  }
  protocol = scheme->protocol;
  CopyCut(fileName, file);
  if (protocol == kProtocolFile) {
    host[0] = '\0';
    CopyCut(path, rest);
    return true;
  }
  const size_t first = rest.find('/');
  CopyCut(host, rest.substr(0, first));
  CopyCut(path, first == std::string_view::npos ? std::string_view() : rest.substr(first));
  return true;
}

std::optional<std::string_view> CDownloadSession::GetSchemePrefix() const {
  for (const Scheme& scheme : kSchemes) {
    if (scheme.protocol == protocol) return scheme.prefix;
  }
  return std::nullopt;
}

void CDownloadSession::Abort() {
  share_.Abort();
  https_.Abort();
  tls_.SetAbort(true);
  http_.Abort();
  tcp_.SetAbort(true);
}

void CDownloadSession::Reset() {
  verdicts_.clear();
  listingReadInCall_ = false;
  tcp_.SetAbort(false);
  http_.Reset();
  tls_.SetAbort(false);
  https_.Reset();
  share_.ClearAbort();
}

void CDownloadSession::SetCancelToken(const CancelToken& token) {
  cancel_ = token;
  tcp_.SetCancelToken(token);
  http_.SetCancelToken(token);
  tls_.SetCancelToken(token);
  https_.SetCancelToken(token);
  share_.SetCancelToken(token);
}

UpdError CDownloadSession::DownloadToFile(const FetchConfig& config, const FetchRequest& request,
                                          const char* path,
                                          const std::optional<TransferBound>& bound) {
  FetchFileArgs fetch;
  fetch.callerWord = request.callerWord;
  fetch.url = request.url;
  fetch.target = path;
  fetch.config = &config;
  fetch.verPath = request.inlineSource;
  fetch.localFolder = request.localFolder;
  fetch.cacheKey = request.cacheKey;
  fetch.sourceFlag = request.sourceFlag;
  fetch.extraFlag = request.extraFlag;
  fetch.channelName = request.channelName;
  fetch.sizeBound = bound;
  return FetchFile(fetch);
}

Result<std::string> CDownloadSession::FetchToMemory(const FetchConfig& config,
                                                    const FetchRequest& request,
                                                    const std::optional<TransferBound>& bound) {
  CBuffer body;
  DownloadFileArgs args;
  args.url = request.url;
  args.config = &config;
  args.callerWord = request.callerWord;
  args.localFolder = request.localFolder;
  args.buffer = &body;
  args.sourceFlag = request.sourceFlag;
  args.extraFlag = request.extraFlag;
  args.channelName = request.channelName;
  args.sizeBound = bound;
  const UpdError result = DownloadFile(args);
  if (result != kUpdOk) return result;
  if (body.Length() == 0) return std::string();
  return std::string(reinterpret_cast<const char*>(body.Data()), body.Length());
}

void CDownloadSession::CloseHttpTransports() {
  http_.CloseConnection();
  https_.CloseConnection();
}

void CDownloadSession::PurgeDownloadCache() { (void)cache_.Purge(); }

void CDownloadSession::ConfigureTls(const char* certificateCacheFolder) {
  https_.SetCertificateCacheFolder(certificateCacheFolder);
}

bool CDownloadSession::IsFileSourceAllowed() const {
  if ((sessionWord & kListingBit) != 0 && !listingReadInCall_) return true;
  return listingProtocol == kProtocolNone || listingProtocol == kProtocolFile;
}

void CDownloadSession::NoteListing(UpdError result) {
  if ((sessionWord & kListingBit) == 0) return;
  if (result != kUpdOk && result != kUpdNotModified) return;
  listingProtocol = protocol;
  listingReadInCall_ = true;
}

UpdError CDownloadSession::PrepareLocalCopy(const DownloadFileArgs& args, const std::string& url,
                                             Validators* validators) {
  *validators = {};
  if (args.localPathOut != nullptr && args.localPathOutSize != 0) args.localPathOut[0] = '\0';
  if (IsEmpty(args.localFolder)) return kUpdOk;
  char local[UPD_PATH_SIZE];
  // A URL that cannot be kept under the folder (a "." or ".." segment) is
  // refused rather than kept elsewhere.
  if (!MakeMirrorSourcePath(args.localFolder, url.c_str(), "", local, sizeof local)) {
    return kUpdUnsupportedScheme;
  }
  if (args.localPathOut != nullptr && args.localPathOutSize != 0) {
    SafeStrCopy(args.localPathOut, args.localPathOutSize, local);
  }
  if (args.useValidators && IsHttp(protocol) && FileExists(local)) {
    LoadVerFileValidators(host, path, fileName, args.settings, &validators->etag,
                          &validators->lastModified);
    // The store holds longer values than a request carries; a cut validator
    // would be a wrong one, and sending none only costs a full download.
    for (std::string* value : {&validators->etag, &validators->lastModified}) {
      if (value->size() > kHttpMaxValidatorText) value->clear();
    }
  }
  return kUpdOk;
}

UpdError CDownloadSession::Transfer(const DownloadFileArgs& args, const FetchConfig& config,
                                    const Validators& validators, _HTTP_RESPONSE_INFO* response) {
  if (!IsHttp(protocol)) return kUpdUnsupportedScheme;
  CHttpTransport& transport = protocol == kProtocolHttps ? https_ : http_;
  HttpRequestParams params;
  params.kind = args.requestKind;
  params.host = host;
  params.path = path;
  params.file = fileName;
  params.if_none_match = validators.etag;
  params.if_modified_since = validators.lastModified;
  params.body = args.body;
  params.spread = args.sourceFlag != 0;
  params.domain = args.channelName != nullptr ? args.channelName : "";
  params.skip_head = args.extraFlag != 0;
  params.size_bound = BoundOf(args.sizeBound, args.buffer != nullptr);
  response->Clear();
  if (args.requestKind != 0) return transport.Get(params, config, response);
  if (args.buffer != nullptr) {
    args.buffer->Clear();
    return transport.DownloadToBuffer(params, args.buffer, config, response, sessionWord,
                                      args.callerWord, args.partialPath);
  }
  return transport.DownloadToFile(params, args.target, config, response, sessionWord,
                                  args.callerWord, args.partialPath);
}

UpdError CDownloadSession::FollowRedirect(const DownloadFileArgs& args, const FetchConfig& config,
                                          const _HTTP_RESPONSE_INFO& response, std::string* url,
                                          Validators* validators) {
  const std::string location =
      ResolveRedirectLocation(GetSchemePrefix().value_or(""), host, path,
                              std::string_view(response.location,
                                               strnlen(response.location, kHttpLocationSize)));
  if (!ParseUrl(location.c_str())) return kUpdUnsupportedScheme;
  // A server never leads the library to local files, nor to a URL without
  // a server.
  if (protocol == kProtocolFile || (IsHttp(protocol) && ParseServerHost(host, 0).name.empty())) {
    return kUpdUnsupportedScheme;
  }
  *url = location;
  if (config.events != nullptr && IsServerAddressRefused(config.events.get(), location.c_str())) {
    return kUpdServerUnreachable;
  }
  return PrepareLocalCopy(args, *url, validators);
}

UpdError CDownloadSession::TransferWithRedirects(const DownloadFileArgs& args,
                                                 const FetchConfig& config, std::string* url,
                                                 Validators* validators,
                                                 _HTTP_RESPONSE_INFO* response) {
  for (int redirects = 0;; ++redirects) {
    const UpdError result = Transfer(args, config, *validators, response);
    if (result != kUpdRedirect || redirects == kMaxRedirects) return result;
    const UpdError followed = FollowRedirect(args, config, *response, url, validators);
    if (followed != kUpdOk) return followed;
  }
}

UpdError CDownloadSession::DownloadFile(const DownloadFileArgs& args) {
  if (args.buffer != nullptr) args.buffer->Clear();
  // A cancelled call reaches no server, even when nothing polled its token
  // since it entered.
  if (cancel_.IsCancelled()) return kUpdStopped;
  if (!ParseUrl(args.url)) return kUpdUnsupportedScheme;
  if (protocol == kProtocolFile && !IsFileSourceAllowed()) return kUpdUnsupportedScheme;
  std::string url = args.url;
  Validators validators;
  UpdError result = PrepareLocalCopy(args, url, &validators);
  if (result != kUpdOk) return result;
  FetchConfig built;
  if (args.config == nullptr) built = FetchConfigOf(args.settings);
  const FetchConfig& config = args.config != nullptr ? *args.config : built;

  if (protocol == kProtocolFile) {
    const std::string source = std::string(path) + fileName;
    result = share_.Download(config, source.c_str(), args.target, sessionWord, args.callerWord,
                             args.buffer, BoundOf(args.sizeBound, args.buffer != nullptr));
    NoteListing(result);
    return result;
  }
  if (config.events != nullptr && IsServerAddressRefused(config.events.get(), args.url)) {
    return kUpdServerUnreachable;
  }
  _HTTP_RESPONSE_INFO response{};
  result = TransferWithRedirects(args, config, &url, &validators, &response);
  if (result == kUpdNotModified && validators.etag.empty() && validators.lastModified.empty()) {
    return args.useValidators ? kUpdSourceUnreadable : kUpdNotModified;
  }
  if (result == kUpdOk && args.useValidators) {
    (void)SaveVerFileValidators(host, path, fileName, args.settings, response.etag,
                                response.last_modified);
  }
  NoteListing(result);
  return result;
}

UpdError CDownloadSession::FetchWithCache(const FetchFileArgs& args) {
  DownloadFileArgs download;
  download.url = args.url;
  download.target = args.target;
  download.settings = args.settings;
  // Built once for every attempt.
  FetchConfig built;
  if (args.config == nullptr) built = FetchConfigOf(args.settings);
  download.config = args.config != nullptr ? args.config : &built;
  download.callerWord = args.callerWord;
  download.localFolder = args.localFolder;
  download.sourceFlag = args.sourceFlag;
  download.extraFlag = args.extraFlag;
  download.channelName = args.channelName;
  download.sizeBound = args.sizeBound;
  const UpdError over_result = BoundOf(args.sizeBound, false).over_result;
  // The cache serves HTTP downloads only; decided by this URL, not by the
  // one parsed before it.
  const bool cached = !IsEmpty(args.cacheKey) && ParseUrl(args.url) && IsHttp(protocol);
  uint64_t previous_size = 0;
  uint64_t stored_size = 0;
  for (int attempt = 1;; ++attempt) {
    char partial[UPD_PATH_SIZE] = {};
    if (cached && cache_.Lookup(args.cacheKey, partial, sizeof partial) == kUpdOk) {
      download.partialPath = partial;
    } else {
      download.partialPath = nullptr;
    }
    const UpdError result = DownloadFile(download);
    if (cached) {
      // A body past its bound is never resumed, nor is an older partial of
      // the key: the whole file counts against the bound, so the server
      // would only add to it. (A refused answer that shares the code has
      // nothing worth keeping either.)
      if (result == kUpdOk || result == over_result) {
        (void)cache_.Remove(args.cacheKey);
        return result;
      }
      previous_size = stored_size;
      if (cache_.Add(args.cacheKey, args.target, &stored_size) != kUpdOk) stored_size = 0;
    }
    if (result != kUpdConnectionClosed) return result;
    // The second attempt always follows a broken one; later ones only while
    // each brought more of the file, and never behind a peer too slow for
    // the minimum rate (a trickle brings a few bytes more each time).
    if (attempt >= 2 && (stored_size <= previous_size || LastTransferTooSlow())) return result;
  }
}

bool CDownloadSession::LastTransferTooSlow() const {
  if (!IsHttp(protocol)) return false;
  return (protocol == kProtocolHttps ? https_ : http_).transfer_too_slow();
}

UpdError CDownloadSession::FetchFile(const FetchFileArgs& args) {
  if (!IsEmpty(args.verPath) && !IsEmpty(args.target) && args.url != nullptr &&
      StartsWithNoCase(args.url, "data")) {
    return ExtractSectionData(args.url, args.target, args.verPath);
  }
  return FetchWithCache(args);
}
