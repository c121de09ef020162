#pragma once

// Host-name patterns of certificate names: plain names of at least two labels,
// or "*." followed by at least two labels.
[[nodiscard]] int IsValidDnsPattern(const char* pattern);

// 1 when host matches the pattern: characters compare in order, case-sensitively;
// the leading "*" stands for one or more characters of a single label.
[[nodiscard]] int MatchDnsPattern(const char* host, const char* pattern);
