#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "command.h"
#include "net/http/http_text.h"
#include "net/http/http_transport.h"
#include "net/http/smb_transport.h"
#include "net/tls/ssl_protocol.h"
#include "net/tls/tcp_protocol.h"
#include "platform/os/os_file.h"
#include "platform/util/buffer.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"

namespace updprobe {
namespace {

struct FetchOptions {
  std::string proxy;  // HOST:PORT
  std::string proxy_user;
  bool direct_retry = false;
  std::string user;
  std::string partial;
  std::optional<std::string> user_agent;
  bool memory = false;
  std::string url;
  std::string out;
};

// The pieces of an "http://" URL as the transport takes them.
struct HttpUrl {
  std::string host;
  std::string path;
  std::string file;
};

HttpUrl SplitHttpUrl(std::string_view rest) {
  HttpUrl url;
  const size_t slash = rest.find('/');
  url.host = std::string(rest.substr(0, slash));
  const std::string_view target = slash == std::string_view::npos ? "/" : rest.substr(slash);
  const size_t last = target.rfind('/');
  url.path = std::string(target.substr(0, last + 1));
  url.file = std::string(target.substr(last + 1));
  return url;
}

// Copies text into a fixed settings field; false when it does not fit.
template <size_t N>
bool SetField(char (&field)[N], std::string_view text) {
  if (text.size() >= N) return false;
  std::memcpy(field, text.data(), text.size());
  field[text.size()] = '\0';
  return true;
}

template <size_t N, size_t M>
bool SetPair(char (&first)[N], char (&second)[M], const std::string& text) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  return SetField(first, std::string_view(text).substr(0, colon)) &&
         SetField(second, std::string_view(text).substr(colon + 1));
}

bool ParseOptions(Args args, FetchOptions* options) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.substr(0, 2) != "--") break;
    const bool takes_value = arg == "--proxy" || arg == "--proxy-user" || arg == "--user" ||
                             arg == "--partial" || arg == "--user-agent";
    if (takes_value && i + 1 == args.size()) return false;
    if (arg == "--proxy") {
      options->proxy = args[++i];
    } else if (arg == "--proxy-user") {
      options->proxy_user = args[++i];
    } else if (arg == "--direct-retry") {
      options->direct_retry = true;
    } else if (arg == "--user") {
      options->user = args[++i];
    } else if (arg == "--partial") {
      options->partial = args[++i];
    } else if (arg == "--user-agent") {
      options->user_agent = args[++i];
    } else if (arg == "--memory") {
      options->memory = true;
    } else {
      return false;
    }
  }
  if (args.size() - i != 2) return false;
  options->url = args[i];
  options->out = args[i + 1];
  return true;
}

bool FillSettings(const FetchOptions& options, UPDATER_SETTINGS* settings) {
  if (!options.user.empty() &&
      !SetPair(settings->serverUserName, settings->serverPassword, options.user)) {
    return false;
  }
  if (!options.proxy_user.empty() &&
      !SetPair(settings->proxyUserName, settings->proxyPassword, options.proxy_user)) {
    return false;
  }
  if (!options.proxy.empty()) {
    const size_t colon = options.proxy.rfind(':');
    if (colon == std::string::npos) return false;
    char* end = nullptr;
    const unsigned long port = std::strtoul(options.proxy.c_str() + colon + 1, &end, 10);
    if (*end != '\0' || port == 0 || port > 65535) return false;
    if (!SetField(settings->proxyHost, std::string_view(options.proxy).substr(0, colon))) {
      return false;
    }
    settings->proxyEnabled = 1;
    settings->proxyPort = static_cast<uint32_t>(port);
  }
  settings->proxyDirectRetry = options.direct_retry ? 1 : 0;
  return true;
}

// The probe is the host: it answers event 15 with the User-Agent asked for.
uint32_t OnEvent(uint32_t event, void* data, void* user) {
  const auto* options = static_cast<const FetchOptions*>(user);
  if (event == UPD_EVENT_USER_AGENT && data != nullptr && options->user_agent) {
    auto* block = static_cast<char*>(data);
    constexpr size_t kTextArea = 512;
    std::snprintf(block, kTextArea, "%s", options->user_agent->c_str());
  }
  return 0;
}

uint64_t FileSize(const std::string& path) {
  OS_FILE* file = OsFileOpen(path.c_str(), nullptr, kOsAccessRead, kOsOpenExisting);
  if (file == nullptr) return 0;
  const int64_t size = OsFileGetSize(file);
  (void)OsFileClose(file);
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

// "https://" runs over TLS without a certificate cache folder: the
// server-certificate check is off, as in a library initialised without one.
UPD_ERROR FetchHttp(const FetchOptions& options, std::string_view rest, bool tls,
                    const UPDATER_SETTINGS* settings, uint64_t* bytes) {
  const HttpUrl url = SplitHttpUrl(rest);
  HttpRequestParams params;
  params.host = url.host;
  params.path = url.path;
  params.file = url.file;
  CTcpProtocol tcp;
  CSslProtocol ssl;
  CHttpTransport http(tls ? ssl : tcp, tls);
  _HTTP_RESPONSE_INFO response{};
  const char* partial = options.partial.empty() ? nullptr : options.partial.c_str();
  if (!options.memory) {
    const UPD_ERROR result =
        http.DownloadToFile(params, options.out.c_str(), settings, &response, 0, 0, partial);
    http.CloseConnection();
    *bytes = FileSize(options.out);
    return result;
  }
  CBuffer buffer;
  UPD_ERROR result = http.DownloadToBuffer(params, &buffer, settings, &response, 0, 0, partial);
  http.CloseConnection();
  *bytes = buffer.Length();
  if (result == kUpdOk) {
    result = SaveBufferToFile(options.out.c_str(), buffer.Data(), buffer.Length());
  }
  return result;
}

UPD_ERROR FetchPath(const FetchOptions& options, const UPDATER_SETTINGS* settings,
                    uint64_t* bytes) {
  CSmbTransport share;
  if (!options.memory) {
    const UPD_ERROR result =
        share.Download(settings, options.url.c_str(), options.out.c_str(), 0, 0, nullptr);
    *bytes = FileSize(options.out);
    return result;
  }
  CBuffer buffer;
  UPD_ERROR result = share.Download(settings, options.url.c_str(), nullptr, 0, 0, &buffer);
  *bytes = buffer.Length();
  if (result == kUpdOk) {
    result = SaveBufferToFile(options.out.c_str(), buffer.Data(), buffer.Length());
  }
  return result;
}

int FetchCommand(Args args) {
  FetchOptions options;
  if (!ParseOptions(args, &options)) return Usage("fetch takes [options] URL OUT");
  auto settings = std::make_unique<UPDATER_SETTINGS>();
  if (!FillSettings(options, settings.get())) return Usage("fetch: an option value does not fit");
  settings->eventCallback = OnEvent;
  settings->userData = &options;

  constexpr std::string_view kHttp = "http://";
  constexpr std::string_view kHttps = "https://";
  uint64_t bytes = 0;
  UPD_ERROR result = kUpdOk;
  if (StartsWithNoCase(options.url, kHttp)) {
    result = FetchHttp(options, std::string_view(options.url).substr(kHttp.size()), false,
                       settings.get(), &bytes);
  } else if (StartsWithNoCase(options.url, kHttps)) {
    result = FetchHttp(options, std::string_view(options.url).substr(kHttps.size()), true,
                       settings.get(), &bytes);
  } else {
    result = FetchPath(options, settings.get(), &bytes);
  }
  std::printf("result 0x%04X\nbytes %" PRIu64 "\n", result, bytes);
  return result == kUpdOk ? kExitOk : kExitFailure;
}

const Registrar kFetch("fetch",
                       "fetch [--proxy HOST:PORT] [--proxy-user U:P] [--direct-retry] [--user U:P] "
                       "[--partial FILE] [--user-agent TEXT] [--memory] URL OUT",
                       FetchCommand);

}  // namespace
}  // namespace updprobe
