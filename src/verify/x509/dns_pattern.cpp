#include "verify/x509/dns_pattern.h"

int IsValidDnsPattern(const char* pattern) {
  if (pattern == nullptr || pattern[0] == '\0' || pattern[0] == '.') return 0;
  const char* p = pattern;
  // The dot after a leading "*" counts as the previous dot.
  bool previous_was_dot = false;
  if (p[0] == '*') {
    if (p[1] != '.') return 0;
    p += 2;
    previous_was_dot = true;
  }
  // At least one more dot (two labels at least), no empty label, no second
  // wildcard and no dot at the end.
  int dots = 0;
  for (; *p != '\0'; ++p) {
    if (*p == '*') return 0;
    if (*p == '.') {
      if (previous_was_dot) return 0;
      ++dots;
      previous_was_dot = true;
      continue;
    }
    previous_was_dot = false;
  }
  return dots > 0 && !previous_was_dot ? 1 : 0;
}

int MatchDnsPattern(const char* host, const char* pattern) {
  if (host == nullptr || !IsValidDnsPattern(pattern)) return 0;
  const char* h = host;
  const char* p = pattern;
  if (*p == '*') {
    // One or more characters of the first label.
    if (*h == '\0' || *h == '.') return 0;
    while (*h != '\0' && *h != '.') ++h;
    ++p;
  }
  while (*p != '\0' && *h == *p) {
    ++h;
    ++p;
  }
  return *p == '\0' && *h == '\0' ? 1 : 0;
}
