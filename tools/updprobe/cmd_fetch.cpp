#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "command.h"
#include "platform/os/os_file.h"
#include "platform/util/buffer.h"
#include "platform/util/file_helpers.h"
#include "platform/util/update_errors.h"
#include "updater/engine/session/download_session.h"

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
  // The most the body may be: the session's default of the target when
  // not given.
  std::optional<uint64_t> max_bytes;
  // Settings file that keeps the validators of fetched URLs.
  std::string store;
  std::string url;
  std::string out;
};

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

// A decimal byte count of at least one digit that fits 64 bits.
std::optional<uint64_t> ParseByteCount(std::string_view text) {
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

bool ParseOptions(Args args, FetchOptions* options) {
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg.substr(0, 2) != "--") break;
    const bool takes_value = arg == "--proxy" || arg == "--proxy-user" || arg == "--user" ||
                             arg == "--partial" || arg == "--user-agent" || arg == "--store" ||
                             arg == "--max-bytes";
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
    } else if (arg == "--store") {
      options->store = args[++i];
    } else if (arg == "--max-bytes") {
      options->max_bytes = ParseByteCount(args[++i]);
      if (!options->max_bytes) return false;
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
  return options.store.empty() || SetField(settings->settingsStore, "file://" + options.store);
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

// A plain absolute path is a local file, as the share transport reads it.
std::string SessionUrl(const std::string& url) {
  if (url.size() > 1 && url[0] == '/' && url[1] != '/') return "FILE:" + url;
  return url;
}

// With a store, the body of each URL is kept beside it (as the catalogue
// step keeps catalogues), so that its validators are sent next time and a
// "not modified" answer still yields the file.
std::string KeptFolder(const FetchOptions& options) { return options.store + ".kept"; }

UPD_ERROR Fetch(const FetchOptions& options, const UPDATER_SETTINGS* settings, uint64_t* bytes) {
  CDownloadSession session((std::filesystem::temp_directory_path() / "updprobe-cache").string());
  session.Reset();
  const std::string url = SessionUrl(options.url);
  const std::string kept_folder = KeptFolder(options);
  char kept[UPD_PATH_SIZE] = {};
  CBuffer buffer;
  DownloadFileArgs args;
  args.url = url.c_str();
  args.target = options.out.c_str();
  args.settings = settings;
  args.partialPath = options.partial.empty() ? nullptr : options.partial.c_str();
  args.buffer = options.memory ? &buffer : nullptr;
  if (options.max_bytes) args.sizeBound = TransferBound{*options.max_bytes, kUpdSourceUnreadable};
  if (!options.store.empty()) {
    args.useValidators = true;
    args.localFolder = kept_folder.c_str();
    args.localPathOut = kept;
    args.localPathOutSize = sizeof kept;
  }
  UPD_ERROR result = session.DownloadFile(args);
  session.CloseHttpTransports();
  if (options.memory) {
    *bytes = buffer.Length();
    if (result == kUpdOk) {
      result = SaveBufferToFile(options.out.c_str(), buffer.Data(), buffer.Length());
    }
  }
  if (kept[0] != '\0' && result == kUpdOk &&
      !CopyFileCreatingFolder(options.out.c_str(), kept, true, false)) {
    result = kUpdCopyFailed;
  }
  if (kept[0] != '\0' && result == kUpdNotModified &&
      !CopyFileCreatingFolder(kept, options.out.c_str(), true, false)) {
    result = kUpdCopyFailed;
  }
  if (!options.memory) *bytes = FileSize(options.out);
  return result;
}

int FetchCommand(Args args) {
  FetchOptions options;
  if (!ParseOptions(args, &options)) return Usage("fetch takes [options] URL OUT");
  auto settings = std::make_unique<UPDATER_SETTINGS>();
  if (!FillSettings(options, settings.get())) return Usage("fetch: an option value does not fit");
  settings->eventCallback = OnEvent;
  settings->userData = &options;

  uint64_t bytes = 0;
  const UPD_ERROR result = Fetch(options, settings.get(), &bytes);
  std::printf("result 0x%04X\nbytes %" PRIu64 "\n", result, bytes);
  return result == kUpdOk ? kExitOk : kExitFailure;
}

const Registrar kFetch("fetch",
                       "fetch [--proxy HOST:PORT] [--proxy-user U:P] [--direct-retry] [--user U:P] "
                       "[--partial FILE] [--user-agent TEXT] [--memory] [--store FILE] "
                       "[--max-bytes N] URL OUT",
                       FetchCommand);

}  // namespace
}  // namespace updprobe
