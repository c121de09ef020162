#include "net/http/http_auth.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>

#include "net/http/http_challenge.h"
#include "net/http/http_request_text.h"
#include "net/http/http_text.h"
#include "platform/util/base64.h"
#include "platform/util/hex_digests.h"
#include "platform/util/http1_syntax.h"
#include "platform/util/update_errors.h"

namespace {

// A proxy that keeps asking gets this many answers to one request.
constexpr int kMaxProxyRounds = 3;
// An answer whose exchange failed in passing (a connection lost, a send that
// failed) is sent once more.
constexpr int kResendPasses = 2;
// Every answer is the first use of its nonce: a new client nonce each time.
constexpr std::string_view kNonceCount = "00000001";

using HexDigest = bool (*)(const void* data, size_t length, char* out, size_t out_size);

struct DigestAlgorithm {
  std::string_view name;
  HexDigest hash;
  bool session;
};

constexpr DigestAlgorithm kDigestAlgorithms[] = {
    {"MD5", BufferMd5Hex, false},
    {"MD5-sess", BufferMd5Hex, true},
    {"SHA-256", BufferSha256Hex, false},
    {"SHA-256-sess", BufferSha256Hex, true},
    {"SHA-512-256", BufferSha512_256Hex, false},
    {"SHA-512-256-sess", BufferSha512_256Hex, true},
};

const DigestAlgorithm* FindAlgorithm(std::string_view name) {
  for (const DigestAlgorithm& algorithm : kDigestAlgorithms) {
    if (EqualsNoCase(name, algorithm.name)) return &algorithm;
  }
  return nullptr;
}

// The parameters of a Digest challenge this client reads; the first of each
// name counts.
struct DigestChallenge {
  std::string algorithm = "MD5";
  bool has_algorithm = false;
  std::optional<std::string> realm;
  std::optional<std::string> nonce;
  std::optional<std::string> opaque;
  std::optional<std::string> userhash;
  std::optional<std::string> qop;
};

void Keep(std::optional<std::string>* field, std::string_view value) {
  if (!field->has_value()) *field = std::string(value);
}

bool ParseDigestChallenge(std::string_view parameters, DigestChallenge* challenge) {
  return ForEachChallengeParam(parameters, [&](std::string_view name, std::string_view value) {
    if (EqualsNoCase(name, "algorithm") && !challenge->has_algorithm) {
      challenge->algorithm = std::string(value);
      challenge->has_algorithm = true;
    } else if (EqualsNoCase(name, "realm")) {
      Keep(&challenge->realm, value);
    } else if (EqualsNoCase(name, "nonce")) {
      Keep(&challenge->nonce, value);
    } else if (EqualsNoCase(name, "opaque")) {
      Keep(&challenge->opaque, value);
    } else if (EqualsNoCase(name, "userhash")) {
      Keep(&challenge->userhash, value);
    } else if (EqualsNoCase(name, "qop")) {
      Keep(&challenge->qop, value);
    }
    return true;
  });
}

// The protection to answer with among those offered: "auth" first, then
// "auth-int"; empty when none is offered. nullopt when only others are.
std::optional<std::string_view> ChooseQop(std::string_view offered) {
  bool auth_int = false;
  bool any = false;
  while (!offered.empty()) {
    const size_t comma = offered.find(',');
    const std::string_view token = TrimBlanks(offered.substr(0, comma));
    offered.remove_prefix(comma == std::string_view::npos ? offered.size() : comma + 1);
    if (token.empty()) continue;
    any = true;
    if (EqualsNoCase(token, "auth")) return "auth";
    if (EqualsNoCase(token, "auth-int")) auth_int = true;
  }
  if (auth_int) return "auth-int";
  if (!any) return std::string_view{};
  return std::nullopt;
}

bool Hash(HexDigest digest, std::string_view text, std::string* out) {
  char hex[65];
  // An empty view may carry no pointer; the digests want a readable one.
  const char* data = text.empty() ? "" : text.data();
  if (!digest(data, text.size(), hex, sizeof hex)) return false;
  out->assign(hex);
  return true;
}

// The parts with ':' between them, as the digest inputs are made.
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string text;
  bool first = true;
  for (const std::string_view part : parts) {
    if (!first) text += ':';
    first = false;
    text.append(part);
  }
  return text;
}

// Method and target of the request line: the texts before the first blank
// and between the first and the second.
bool SplitRequestLine(std::string_view request, std::string_view* method, std::string_view* uri) {
  const size_t first = request.find(' ');
  if (first == std::string_view::npos) return false;
  const size_t second = request.find(' ', first + 1);
  if (second == std::string_view::npos) return false;
  *method = request.substr(0, first);
  *uri = request.substr(first + 1, second - first - 1);
  return !method->empty() && !uri->empty();
}

// What the response of a Digest answer covers besides the challenge.
struct DigestExchange {
  std::string_view method;
  std::string_view uri;
  std::string_view qop;  // empty: the old form without qop
  std::string_view body;
  std::string_view cnonce;
};

bool DigestResponse(const DigestChallenge& c, const DigestAlgorithm& algorithm,
                    const DigestExchange& exchange, std::string_view user,
                    std::string_view password, std::string* response) {
  const HexDigest h = algorithm.hash;
  std::string ha1;
  if (!Hash(h, Join({user, *c.realm, password}), &ha1)) return false;
  if (algorithm.session && !Hash(h, Join({ha1, *c.nonce, exchange.cnonce}), &ha1)) return false;
  std::string a2 = Join({exchange.method, exchange.uri});
  if (exchange.qop == "auth-int") {
    std::string body_hash;
    if (!Hash(h, exchange.body, &body_hash)) return false;
    a2 = Join({a2, body_hash});
  }
  std::string ha2;
  if (!Hash(h, a2, &ha2)) return false;
  if (exchange.qop.empty()) return Hash(h, Join({ha1, *c.nonce, ha2}), response);
  return Hash(h, Join({ha1, *c.nonce, kNonceCount, exchange.cnonce, exchange.qop, ha2}), response);
}

UpdError FailureCode(bool for_proxy) {
  return for_proxy ? kUpdProxyAuthRequired : kUpdAccessDenied;
}

// Codes that end an answer's resend: the server or proxy answered.
bool IsFinal(UpdError result) {
  switch (result) {
    case kUpdOk:
    case kUpdAccessDenied:
    case kUpdProxyAuthRequired:
    case kUpdForbidden:
    case kUpdNotFound:
    case kUpdRangeRefused:
    case kUpdSourceUnreadable:
    case kUpdNotModified:
    case kUpdRedirect:
      return true;
    default:
      return false;
  }
}

UpdError Resend(CHttpTransport& transport, const HttpAuthAnswer& answer) {
  UpdError result = kUpdOk;
  for (int pass = 0; pass < kResendPasses; ++pass) {
    if (answer.for_proxy) {
      // The proxy's answer comes on the connection that carried its 407.
      result = transport.ReadResponse(*answer.request, answer.body, answer.response,
                                      answer.keep_alive, answer.method);
    } else {
      if (transport.is_tls() && transport.via_proxy()) {
        const UpdError tunnel =
            transport.ProxyConnect(answer.server_port, *answer.proxy, answer.response);
        if (tunnel != kUpdOk) return tunnel;
      }
      result = transport.SendWithAuth(answer.request, answer.body, answer.response, answer.host,
                                      answer.port, *answer.proxy, answer.keep_alive, answer.method);
    }
    if (IsFinal(result) || transport.IsAborted()) return result;
    if (result == kUpdConnectionClosed) {
      // A peer too slow for the minimum rate would be as slow again.
      if (transport.transfer_too_slow()) return result;
      transport.CloseConnection();
    }
  }
  return result;
}

// Puts line into the request in place of earlier answers and sends it.
UpdError SendWithHeader(CHttpTransport& transport, const HttpAuthAnswer& answer,
                         std::string_view line) {
  std::string amended = *answer.request;
  ReplaceHeaderLine(&amended, AuthorizationHeaderName(answer.for_proxy), line);
  // The head goes out whole or not at all (with the empty line after it).
  if (amended.size() + 2 > kHttpMaxAnsweredRequestBytes) return FailureCode(answer.for_proxy);
  *answer.request = std::move(amended);
  return Resend(transport, answer);
}

UpdError AnswerScheme(CHttpTransport& transport, const HttpAuthAnswer& answer) {
  switch (answer.response->auth_scheme) {
    case kHttpAuthBasic:
      return SendBasic(transport, answer);
    case kHttpAuthDigestMd5:
    case kHttpAuthDigestSha256:
    case kHttpAuthDigestSha512_256:
      return SendDigest(transport, answer);
    default:
      return FailureCode(answer.for_proxy);
  }
}

}  // namespace

void MakeCnonce(char* buffer, size_t size) {
  if (buffer == nullptr || size == 0) return;
  thread_local std::mt19937_64 engine(std::random_device{}());
  size_t used = 0;
  while (used + 1 < size) {
    char word[17];
    std::snprintf(word, sizeof word, "%016" PRIx64, static_cast<uint64_t>(engine()));
    const size_t take = std::min<size_t>(16, size - 1 - used);
    std::memcpy(buffer + used, word, take);
    used += take;
  }
  buffer[size - 1] = '\0';
}

std::string_view AuthorizationHeaderName(bool for_proxy) {
  return for_proxy ? "Proxy-Authorization" : "Authorization";
}

bool BuildBasicAuthorization(bool for_proxy, std::string_view user, std::string_view password,
                             std::string* line) {
  if (user.empty()) return false;
  const std::string credentials = std::string(user) + ":" + std::string(password);
  if (credentials.size() > kHttpMaxBasicCredentials) return false;
  char encoded[kHttpBasicBase64Size];
  uint64_t written = 0;
  if (Base64Encode(credentials.data(), credentials.size(), encoded, sizeof encoded, &written) ==
      0) {
    return false;
  }
  *line = std::string(AuthorizationHeaderName(for_proxy)) + ": Basic " + encoded + "\r\n";
  return true;
}

bool BuildDigestAuthorization(bool for_proxy, std::string_view challenge, std::string_view request,
                              std::string_view body, std::string_view user,
                              std::string_view password, std::string_view cnonce,
                              std::string* line) {
  DigestChallenge c;
  if (!ParseDigestChallenge(challenge, &c) || !c.realm || !c.nonce) return false;
  const DigestAlgorithm* algorithm = FindAlgorithm(c.algorithm);
  const std::optional<std::string_view> qop = ChooseQop(c.qop ? *c.qop : std::string_view{});
  DigestExchange exchange;
  if (algorithm == nullptr || !qop || !SplitRequestLine(request, &exchange.method, &exchange.uri)) {
    return false;
  }
  exchange.qop = *qop;
  exchange.body = body;
  exchange.cnonce = cnonce;
  std::string response;
  if (!DigestResponse(c, *algorithm, exchange, user, password, &response)) return false;
  const bool hash_user = c.userhash && EqualsNoCase(*c.userhash, "true");
  std::string name(user);
  if (hash_user && !Hash(algorithm->hash, Join({user, *c.realm}), &name)) return false;
  // Values go out as quoted strings, so that the server reads back what it
  // sent (a realm "say \"hi\"" stays one); a control character would end the
  // line and forge others, and refuses the answer.
  const std::optional<std::string> quoted_name = http1::QuoteString(name);
  const std::optional<std::string> realm = http1::QuoteString(*c.realm);
  const std::optional<std::string> nonce = http1::QuoteString(*c.nonce);
  const std::optional<std::string> uri = http1::QuoteString(exchange.uri);
  const std::optional<std::string> quoted_cnonce = http1::QuoteString(cnonce);
  const std::optional<std::string> opaque = http1::QuoteString(c.opaque.value_or(""));
  // The algorithm goes as received: one of the names FindAlgorithm knows.
  if (!quoted_name || !realm || !nonce || !uri || !quoted_cnonce || !opaque) return false;

  std::string text = std::string(AuthorizationHeaderName(for_proxy)) + ": Digest username=" +
                     *quoted_name + ", realm=" + *realm + ", nonce=" + *nonce + ", uri=" + *uri +
                     ", algorithm=" + c.algorithm + ", response=\"" + response + "\"";
  if (!exchange.qop.empty()) {
    text += ", qop=" + std::string(exchange.qop) + ", nc=" + std::string(kNonceCount) +
            ", cnonce=" + *quoted_cnonce;
  }
  if (c.opaque) text += ", opaque=" + *opaque;
  if (c.userhash) text += std::string(", userhash=\"") + (hash_user ? "true" : "false") + "\"";
  *line = text + "\r\n";
  return true;
}

void ReplaceHeaderLine(std::string* request, std::string_view name, std::string_view line) {
  std::string kept;
  kept.reserve(request->size() + line.size());
  std::string_view rest = *request;
  while (!rest.empty()) {
    const size_t end = rest.find("\r\n");
    const size_t length = end == std::string_view::npos ? rest.size() : end + 2;
    const std::string_view current = rest.substr(0, length);
    rest.remove_prefix(length);
    const bool same_header = StartsWithNoCase(current, name) && current.size() > name.size() &&
                             current[name.size()] == ':';
    if (!same_header) kept.append(current);
  }
  kept.append(line);
  *request = std::move(kept);
}

UpdError SendBasic(CHttpTransport& transport, const HttpAuthAnswer& answer) {
  std::string line;
  if (!BuildBasicAuthorization(answer.for_proxy, answer.user, answer.password, &line)) {
    return FailureCode(answer.for_proxy);
  }
  return SendWithHeader(transport, answer, line);
}

UpdError SendDigest(CHttpTransport& transport, const HttpAuthAnswer& answer) {
  if (answer.user.empty()) return FailureCode(answer.for_proxy);
  char cnonce[kHttpCnonceDigits + 1];
  MakeCnonce(cnonce, sizeof cnonce);
  std::string line;
  if (!BuildDigestAuthorization(answer.for_proxy, answer.response->challenge, *answer.request,
                                answer.body,
                                answer.user, answer.password, cnonce, &line)) {
    return FailureCode(answer.for_proxy);
  }
  return SendWithHeader(transport, answer, line);
}

UpdError AnswerServerChallenge(CHttpTransport& transport, const HttpAuthAnswer& answer) {
  if (answer.user.empty() || answer.response->status == kHttpLoginRefusedStatus) {
    return kUpdAccessDenied;
  }
  return AnswerScheme(transport, answer);
}

UpdError AnswerProxyChallenges(CHttpTransport& transport, const HttpAuthAnswer& answer) {
  if (answer.user.empty()) return kUpdProxyAuthRequired;
  // A scheme whose answer was refused once would be refused again.
  uint32_t answered = 0;
  for (int round = 1;; ++round) {
    answered |= 1u << answer.response->auth_scheme;
    const UpdError result = AnswerScheme(transport, answer);
    if (result != kUpdProxyAuthRequired) return result;
    const bool seen = (answered & (1u << answer.response->auth_scheme)) != 0;
    if (seen || round == kMaxProxyRounds) return result;
  }
}
