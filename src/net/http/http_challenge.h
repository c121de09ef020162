#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "net/http/http_response_info.h"

// Authentication challenges of 401 and 407 answers ("WWW-Authenticate",
// "Proxy-Authenticate") as RFC 9110 writes them: which scheme a challenge
// asks for, how strong it is, so that a head offering several keeps the
// strongest, and its parameters, quoted strings read whole.

// Rank of each HttpAuthScheme: Digest SHA-512-256 above SHA-256 above MD5
// above Basic; no scheme ranks lowest and is never recorded.
inline constexpr uint8_t kHttpSchemeRanks[] = {0, 2, 4, 5, 6};

// Calls visit(scheme, parameters) for each challenge of a field value, which
// may hold several separated by commas ("Basic realm=\"a\", Digest
// realm=\"b\", nonce=\"n\""): parameters is the text after the scheme word
// and its blanks up to the next challenge, as it stands (quotes and escapes
// kept). Stops early when visit returns false. False when the value is no
// list of challenges; those visited before the fault stand.
[[nodiscard]] bool ForEachChallenge(
    std::string_view value, const std::function<bool(std::string_view, std::string_view)>& visit);

// Calls visit(name, value) for each comma-separated "name=value" item of a
// challenge's parameters, in order. A value is a quoted-string, given
// without its quotes and with its quoted-pairs unescaped (realm="say
// \"hi\"" gives say "hi"), or else the text up to the next comma (a token,
// or a nonce with its '=' padding); an item without '=' comes with an empty
// value. The views live only during the call. Stops early when visit returns
// false, and before an item that begins the next challenge. False when the
// parameters are malformed: an unclosed quote, or text after a quoted value.
[[nodiscard]] bool ForEachChallengeParam(
    std::string_view parameters,
    const std::function<bool(std::string_view, std::string_view)>& visit);

// The scheme id of a challenge: Basic, the Digest algorithm its "algorithm"
// parameter names (MD5 without one), or kHttpAuthNone for another scheme,
// an algorithm this client cannot answer, or malformed parameters.
[[nodiscard]] uint32_t ChallengeScheme(std::string_view scheme, std::string_view parameters);

// The Digest algorithm of the first challenge of a field value, as
// ChallengeScheme, and kHttpAuthNone when that challenge is not Digest.
[[nodiscard]] uint32_t PickDigestAlgorithm(std::string_view value);
