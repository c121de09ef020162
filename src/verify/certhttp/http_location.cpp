#include "verify/certhttp/http_location.h"

#include "verify/certhttp/http_request.h"

namespace http {
namespace {

constexpr uint32_t kHttpPort = 80;
constexpr uint32_t kHttpsPort = 443;

bool StartsWithFolded(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (c != prefix[i]) return false;
  }
  return true;
}

// A decimal number of at most 32 bits at the front of text.
bool ReadPort(std::string_view text, uint32_t* port) {
  uint64_t value = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > UINT32_MAX) return false;
  }
  if (i == 0) return false;
  *port = static_cast<uint32_t>(value);
  return true;
}

}  // namespace

uint32_t HttpParseLocation(std::string_view location, RedirectTarget* target) {
  if (location.empty()) return kBadLocation;
  CHTTPBuffer copy;
  if (!copy.SetText(location)) return kOutOfMemory;
  char* text = reinterpret_cast<char*>(copy.Data());
  for (size_t i = 0; i < location.size(); ++i) {
    if (text[i] == '\\') text[i] = '/';
  }
  std::string_view rest(text, location.size());
  if (StartsWithFolded(rest, "http://")) {
    target->scheme = kSchemeHttp;
    rest.remove_prefix(7);
  } else if (StartsWithFolded(rest, "https://")) {
    target->scheme = kSchemeHttps;
    rest.remove_prefix(8);
  } else {
    return kBadLocation;
  }
  const size_t slash = rest.find('/');
  std::string_view host = rest.substr(0, slash);
  const std::string_view path = slash == std::string_view::npos ? "/" : rest.substr(slash);
  target->port = target->scheme == kSchemeHttps ? kHttpsPort : kHttpPort;
  if (const size_t colon = host.find(':'); colon != std::string_view::npos) {
    if (!ReadPort(host.substr(colon + 1), &target->port)) return kMalformed;
    host = host.substr(0, colon);
  }
  if (host.empty()) return kBadLocation;
  if (!target->host.SetText(host) || !target->path.SetText(path)) return kOutOfMemory;
  return kOk;
}

}  // namespace http
