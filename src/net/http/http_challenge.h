#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "net/http/http_response_info.h"

// Authentication challenges of 401 and 407 answers ("WWW-Authenticate",
// "Proxy-Authenticate"): which scheme a challenge asks for, and how strong it
// is, so that a head offering several keeps the strongest.

// Rank of each HttpAuthScheme: Digest SHA-512-256 above SHA-256 above MD5
// above Basic; no scheme ranks lowest and is never recorded.
inline constexpr uint8_t kHttpSchemeRanks[] = {0, 2, 4, 5, 6};

// The Digest algorithm a challenge names: kHttpAuthDigestMd5 without an
// "algorithm" parameter, kHttpAuthNone for a value that is not Digest or
// names an algorithm this client cannot answer.
[[nodiscard]] uint32_t PickDigestAlgorithm(std::string_view value);

// Basic, or the Digest algorithm of PickDigestAlgorithm.
[[nodiscard]] uint32_t ChallengeScheme(std::string_view value);

// The text after the scheme word and the blanks that follow it.
[[nodiscard]] std::string_view ChallengeParameters(std::string_view value);

// Calls visit(name, value) for each comma-separated "name=value" item of a
// challenge's parameters; a quoted value comes without its quotes (commas
// inside quotes do not split). The views live only during the call. Stops
// early when visit returns false. False, visiting nothing, for parameters
// longer than the response record keeps (kHttpChallengeSize - 1).
[[nodiscard]] bool ForEachChallengeParam(
    std::string_view parameters,
    const std::function<bool(std::string_view, std::string_view)>& visit);
