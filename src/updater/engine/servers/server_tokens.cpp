#include "updater/engine/servers/server_tokens.h"

#include <limits>
#include <optional>

namespace {

constexpr std::string_view kSeparators = " \t,;";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The weight of a "weight@" prefix: decimal digits only, empty for 0.
std::optional<uint32_t> ParseWeight(std::string_view digits) {
  uint64_t value = 0;
  for (const char c : digits) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > std::numeric_limits<uint32_t>::max()) value = std::numeric_limits<uint32_t>::max();
  }
  return static_cast<uint32_t>(value);
}

ServerToken ReadToken(std::string_view token) {
  const size_t at = token.find('@');
  if (at == std::string_view::npos) return {token, 1};
  const std::optional<uint32_t> weight = ParseWeight(token.substr(0, at));
  if (!weight) return {token, 1};
  return {token.substr(at + 1), *weight};
}

}  // namespace

std::vector<ServerToken> ParseServerTokens(std::string_view text) {
  text = text.substr(0, kMaxServerListText);
  std::vector<ServerToken> tokens;
  size_t start = text.find_first_not_of(kSeparators);
  while (start != std::string_view::npos) {
    const size_t end = text.find_first_of(kSeparators, start);
    const std::string_view token =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    tokens.push_back(ReadToken(token));
    start = end == std::string_view::npos ? end : text.find_first_not_of(kSeparators, end);
  }
  return tokens;
}
