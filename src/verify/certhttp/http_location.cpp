#include "verify/certhttp/http_location.h"

#include "platform/util/http1_syntax.h"
#include "verify/certhttp/http_request.h"

namespace http {
namespace {

constexpr uint32_t kHttpPort = 80;
constexpr uint32_t kHttpsPort = 443;

// What refused a Location, in the client's codes.
Result LocationCode(http1::LocationFault fault) {
  switch (fault) {
    case http1::LocationFault::kNone:
      return kOk;
    case http1::LocationFault::kBadPort:
      return kMalformed;
    case http1::LocationFault::kEmpty:
    case http1::LocationFault::kBadCharacter:
    case http1::LocationFault::kBadAuthority:
      break;
  }
  return kBadLocation;
}

// The request target of "http://host" and "http://host?q" begins with '/'.
bool SetPath(std::string_view path, CHTTPBuffer* out) {
  if (path.starts_with('/')) return out->SetText(path);
  out->Clear();
  return out->Reserve(path.size() + 2) != nullptr && out->Append("/", 1) != CBuffer::kFailed &&
         (path.empty() || out->Append(path.data(), path.size()) != CBuffer::kFailed) &&
         out->Append("", 1) != CBuffer::kFailed;
}

}  // namespace

Result HttpParseLocation(std::string_view location, RedirectTarget* target) {
  if (location.empty()) return kBadLocation;
  CHTTPBuffer copy;
  if (!copy.SetText(location)) return kOutOfMemory;
  char* text = reinterpret_cast<char*>(copy.Data());
  for (size_t i = 0; i < location.size(); ++i) {
    if (text[i] == '\\') text[i] = '/';
  }
  http1::Location parts;
  const Result code = LocationCode(http1::ParseLocation({text, location.size()}, &parts));
  if (code != kOk) return code;
  if (parts.form != http1::LocationForm::kAbsolute) return kBadLocation;
  if (http1::EqualsNoCase(parts.scheme, "http")) {
    target->scheme = kSchemeHttp;
  } else if (http1::EqualsNoCase(parts.scheme, "https")) {
    target->scheme = kSchemeHttps;
  } else {
    return kBadLocation;
  }
  if (parts.host.empty()) return kBadLocation;
  target->port = parts.port.value_or(target->scheme == kSchemeHttps ? kHttpsPort : kHttpPort);
  if (!target->host.SetText(parts.host) || !SetPath(parts.path, &target->path)) {
    return kOutOfMemory;
  }
  return kOk;
}

}  // namespace http
