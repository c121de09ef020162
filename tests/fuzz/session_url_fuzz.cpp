// Fuzzes what a server or a catalogue can make of a download URL. An input
// is a URL, then a NUL, then a "Location" text: the URL is parsed, the
// Location resolved against it and parsed again, and each URL turned into
// its kept-copy path under a fixed folder. Parsed fields must stay
// NUL-terminated within their sizes, FILE URLs carry no host, and a kept
// copy must lie under the folder with no "." or ".." segment.
// session_url_fuzz_seeds.sh writes URLs and Locations of the usual forms.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "updater/engine/session/download_session.h"
#include "updater/engine/session/mirror_source_path.h"
#include "updater/engine/session/redirect_location.h"

namespace {

constexpr char kFolder[] = "/updfiles";

template <size_t N>
void CheckField(const char (&field)[N]) {
  if (strnlen(field, N) >= N) std::abort();
}

void CheckParsed(const CDownloadSession& session) {
  CheckField(session.host);
  CheckField(session.path);
  CheckField(session.fileName);
  if (session.protocol == kProtocolFile && session.host[0] != '\0') std::abort();
  if (!session.GetSchemePrefix()) std::abort();
}

void CheckKeptCopy(const std::string& url) {
  char kept[4096];
  if (!MakeMirrorSourcePath(kFolder, url.c_str(), "", kept, sizeof kept)) return;
  const std::string_view path(kept);
  if (!path.starts_with(std::string(kFolder) + "/")) std::abort();
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view segment = path.substr(start, end - start);
    if (segment == "." || segment == "..") std::abort();
    start = end + 1;
  }
}

CDownloadSession& Session() {
  static CDownloadSession session("/nonexistent/session_url_fuzz/cache");
  return session;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string url(input.substr(0, split));
  const std::string location(split == std::string_view::npos ? "" : input.substr(split + 1));
  CDownloadSession& session = Session();
  if (!session.ParseUrl(url.c_str())) return 0;
  CheckParsed(session);
  CheckKeptCopy(url);
  const std::string next = ResolveRedirectLocation(*session.GetSchemePrefix(), session.host,
                                                   session.path, location);
  if (next.size() >= kRedirectLocationSize) std::abort();
  if (!session.ParseUrl(next.c_str())) return 0;
  CheckParsed(session);
  CheckKeptCopy(next);
  return 0;
}
