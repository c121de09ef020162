// An agreement manifest and the paths it gives: whatever the text holds,
// the document found is one of the manifest's with a matching language,
// and a path accepted for download has no ".." segment and names no local
// file. Every document found has a path to fetch.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"
#include "repository/client/eula_documents.h"
#include "repository/client/repository_urls.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckPath(std::string_view path) {
  if (!IsAcceptedRepositoryPath(path)) return;
  Require(path.find("/../") == std::string_view::npos && path != ".." &&
          !path.starts_with("../") && !path.ends_with("/.."));
  Require(path.find("://") == std::string_view::npos || path.starts_with("//") ||
          IsNetworkUrl(path));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  HOST_ARRAY none{nullptr, 0, 0, &DefaultResultAllocator};
  for (const char* language : {"en_US", "en-us", ""}) {
    if (auto shown = FindShownDocument(text, language, &none)) {
      Require(!shown->path.empty());
      CheckPath(shown->path);
    }
    for (int32_t format : {3, 7}) {
      if (auto kept = FindKeptDocument(text, format, language)) CheckPath(kept->path);
    }
  }
  CheckPath(text);
  Require(LanguagesMatch(text, text));
  return 0;
}
