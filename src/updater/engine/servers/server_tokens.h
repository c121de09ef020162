#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The server lists that a catalogue carries ("SERVERS"/"list" and the keys
// of "HOSTS"): tokens separated by runs of space, tab, ',' and ';'. A token
// is "server" (weight 1) or "weight@server", where weight is a decimal
// number, empty for 0. A token whose text before its first '@' is not all
// digits is a plain server: "http://user@host/" names a server with a user,
// not a weight.

// Longest list value read; the rest of a longer value is ignored.
inline constexpr size_t kMaxServerListText = 20479;
// A list value of that length holds at most this many tokens (one character
// and one separator each), so no list that the library stores is longer.
inline constexpr uint32_t kMaxServerTokens = (kMaxServerListText + 1) / 2;

struct ServerToken {
  std::string_view server;  // points into the parsed text
  uint32_t weight = 1;      // a larger number stays at 0xFFFFFFFF
};

[[nodiscard]] std::vector<ServerToken> ParseServerTokens(std::string_view text);
