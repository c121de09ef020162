#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http/http_response_info.h"
#include "net/http/http_transport.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// Answers to the challenges of 401 (server) and 407 (proxy) answers: Basic,
// and Digest in the form of RFC 7616 (MD5, SHA-256, SHA-512-256 and their
// "-sess" forms, qop "auth" and "auth-int", userhash, opaque). An answer
// amends the request text in place, so that later rounds carry it too, and
// sends the request again.

// Fills buffer with size - 1 lower-case hexadecimal digits and a NUL, drawn
// from this thread's 64-bit Mersenne Twister (seeded once per thread from the
// system's random device). Size 0 writes nothing.
void MakeCnonce(char* buffer, size_t size);

// Digest answers use a client nonce of this many digits.
inline constexpr size_t kHttpCnonceDigits = 64;

// Credentials as "user:password" longer than this are refused, and so is a
// base64 form that would not fit kHttpBasicBase64Size (with its NUL), rather
// than sending a header cut short.
inline constexpr size_t kHttpMaxBasicCredentials = 1023;
inline constexpr size_t kHttpBasicBase64Size = 512;

// "Proxy-Authorization" or "Authorization".
[[nodiscard]] std::string_view AuthorizationHeaderName(bool for_proxy);

// The header line (with its CR LF) of a Basic answer; false, leaving line
// alone, for an empty user or credentials over the limits above.
[[nodiscard]] bool BuildBasicAuthorization(bool for_proxy, std::string_view user,
                                           std::string_view password, std::string* line);

// The header line (with its CR LF) of a Digest answer to the challenge
// parameters for the request whose text begins with its request line
// (method, a blank, the target) and whose body is body; cnonce is the client
// nonce to use. The values the challenge gave go back as quoted strings that
// read as the server meant them (quoted-pairs escaped again). False, leaving
// line alone, when the challenge is malformed, lacks a realm or a nonce,
// names an algorithm or qop this client cannot answer, or when a value holds
// a control character, which would end the line and forge others.
[[nodiscard]] bool BuildDigestAuthorization(bool for_proxy, std::string_view challenge,
                                            std::string_view request, std::string_view body,
                                            std::string_view user, std::string_view password,
                                            std::string_view cnonce, std::string* line);

// Drops every line of request that begins with name and a colon (letters in
// either case), then appends line. Only whole header names match:
// "Authorization" never takes a "Proxy-Authorization" line with it.
void ReplaceHeaderLine(std::string* request, std::string_view name, std::string_view line);

// One answer to a challenge: the exchange it repeats, and whose credentials.
struct HttpAuthAnswer {
  // The request text; it keeps the added header for later rounds.
  std::string* request = nullptr;
  std::string_view body;
  _HTTP_RESPONSE_INFO* response = nullptr;
  // Endpoint of the connection: the server, or the proxy.
  std::string_view host;
  uint32_t port = 0;
  const CHttpTransport::ProxyRoute* proxy = nullptr;
  // Port of the server behind a TLS tunnel, which may have to be reopened.
  uint32_t server_port = 0;
  bool* keep_alive = nullptr;
  HttpMethod method = HttpMethod::kGet;
  bool for_proxy = false;
  std::string_view user;
  std::string_view password;
};

// Answer the challenge recorded in answer.response and send the request
// again. Failing before anything is sent (no user, credentials that do not
// fit, a challenge without realm or nonce): kUpdProxyAuthRequired for a proxy, kUpdAccessDenied for
// a server. Otherwise the code of the answer to the resent request.
[[nodiscard]] UpdError SendBasic(CHttpTransport& transport, const HttpAuthAnswer& answer);
[[nodiscard]] UpdError SendDigest(CHttpTransport& transport, const HttpAuthAnswer& answer);

// The send loop's 401: answered once with the server's credentials when a
// user is configured and the refusal came from a challenge (not from the
// download form, status 490). Any other 401 stays kUpdAccessDenied.
[[nodiscard]] UpdError AnswerServerChallenge(CHttpTransport& transport,
                                              const HttpAuthAnswer& answer);

// A 407 just read: answered with the proxy's credentials, at most three
// rounds, and never twice with one scheme. kUpdProxyAuthRequired when no user is
// configured or the proxy keeps refusing.
[[nodiscard]] UpdError AnswerProxyChallenges(CHttpTransport& transport,
                                              const HttpAuthAnswer& answer);
