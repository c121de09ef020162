#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/http/http_response_info.h"
#include "net/http/transfer_bound.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// Request kinds of the HTTP transport.
enum HttpRequestKind : uint32_t {
  kHttpKindGet = 0,
  kHttpKindLoginPost = 1,  // the download form "/cgi-bin/download.cgi"
  kHttpKindFormPost = 2,   // the caller's text as a form
  kHttpKindOctetPost = 3,  // the caller's bytes
};

// One request as the download session describes it. Views only: the texts
// stay the caller's for the length of the call.
struct HttpRequestParams {
  uint32_t kind = kHttpKindGet;
  // A name or address, "[v6]", either optionally with ":port".
  std::string_view host;
  // Joined without separator into the request target.
  std::string_view path;
  std::string_view file;
  // Validators of an earlier download (kind 0), empty when absent.
  std::string_view if_none_match;
  std::string_view if_modified_since;
  // Body of kinds 2 and 3.
  std::string_view body;
  // First value of the spread-control header, and its "domain=".
  bool spread = false;
  std::string_view domain;
  // Kind 0: no HEAD before the GET.
  bool skip_head = false;
  // Kind 0, GET only: "Range: bytes=start-[end]" when start is not 0.
  uint64_t range_start = 0;
  uint64_t range_end = 0;
  // Downloads: the most the body may bring (TransferBound).
  TransferBound size_bound;
};

// A request head with its empty line must fit this buffer (with a NUL); a
// body that fits too goes in the same send.
inline constexpr size_t kHttpRequestBufferSize = 4096;
// The answers to challenges make a head longer: an answer repeats the
// challenge's realm, nonce and opaque values, which may run to tens of KiB.
// A head with its answers gets the room of one answer to the longest
// challenge recorded; an answer that would make it longer is not sent.
inline constexpr size_t kHttpMaxAnsweredRequestBytes =
    kHttpRequestBufferSize + kHttpMaxChallengeBytes;

// Limits of the texts a request is made of (each without its NUL).
inline constexpr size_t kHttpMaxHostText = 255;
inline constexpr size_t kHttpMaxValidatorText = 63;
inline constexpr size_t kHttpMaxDomainText = 63;

// What the texts take from the transport and its configuration.
struct HttpRequestContext {
  // Through a proxy without TLS the target is absolute: "http://" + host.
  bool absolute_target = false;
  std::string_view user_agent;
  bool keep_alive = true;
  std::string_view server_user;
  std::string_view server_password;
  bool cdn = false;
};

struct HttpRequestTexts {
  // Head lines of the request of the kind, without the empty line.
  std::string request;
  // Kind 0: its HEAD twin.
  std::string head;
  std::string body;
  HttpMethod method = HttpMethod::kGet;
};

// 0, kUpdBadRequestKind for an unknown kind, kUpdInvalidArgument for a text over its limit or one
// holding a line break (it would forge header lines).
[[nodiscard]] UpdError FormatRequestTexts(const HttpRequestParams& params,
                                           const HttpRequestContext& context,
                                           HttpRequestTexts* texts);

// The request that opens a tunnel through a proxy to server_name:port.
[[nodiscard]] std::string FormatConnectText(std::string_view server_name, uint32_t port);

// The server of a host text: its name (the brackets of an IPv6 literal kept)
// and its port, default_port when the text names none. A suffix that is not
// a port (1 to 65535 in decimal digits only) belongs to the name.
struct HttpServerAddress {
  std::string name;
  uint32_t port = 0;
};
[[nodiscard]] HttpServerAddress ParseServerHost(std::string_view host, uint32_t default_port);
