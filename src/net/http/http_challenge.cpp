#include "net/http/http_challenge.h"

#include "net/http/http_text.h"

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The next item of a comma list; commas between double quotes do not split.
std::string_view NextItem(std::string_view* rest) {
  bool quoted = false;
  size_t i = 0;
  for (; i < rest->size(); ++i) {
    const char c = (*rest)[i];
    if (c == '"') quoted = !quoted;
    if (c == ',' && !quoted) break;
  }
  const std::string_view item = rest->substr(0, i);
  rest->remove_prefix(i < rest->size() ? i + 1 : i);
  return item;
}

std::string_view Unquote(std::string_view value) {
  value = TrimBlanks(value);
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

std::string_view ChallengeParameters(std::string_view value) {
  size_t word = 0;
  while (word < value.size() && IsLetter(value[word])) ++word;
  return SkipBlanks(value.substr(word));
}

void ForEachChallengeParam(std::string_view parameters,
                           const std::function<bool(std::string_view, std::string_view)>& visit) {
  while (!parameters.empty()) {
    const std::string_view item = NextItem(&parameters);
    const size_t equals = item.find('=');
    const std::string_view name = TrimBlanks(item.substr(0, equals));
    if (name.empty()) continue;
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view{} : Unquote(item.substr(equals + 1));
    if (!visit(name, value)) return;
  }
}

uint32_t PickDigestAlgorithm(std::string_view value) {
  if (!StartsWithNoCase(value, "DIGEST")) return kHttpAuthNone;
  std::string_view algorithm = "MD5";
  ForEachChallengeParam(ChallengeParameters(value), [&](std::string_view name, std::string_view v) {
    if (!EqualsNoCase(name, "algorithm")) return true;
    algorithm = v;
    return false;
  });
  struct Known {
    std::string_view name;
    uint32_t scheme;
  };
  static constexpr Known kKnown[] = {
      {"MD5", kHttpAuthDigestMd5},
      {"MD5-sess", kHttpAuthDigestMd5},
      {"SHA-256", kHttpAuthDigestSha256},
      {"SHA-256-sess", kHttpAuthDigestSha256},
      {"SHA-512-256", kHttpAuthDigestSha512_256},
      {"SHA-512-256-sess", kHttpAuthDigestSha512_256},
  };
  for (const Known& known : kKnown) {
    if (EqualsNoCase(algorithm, known.name)) return known.scheme;
  }
  return kHttpAuthNone;
}

uint32_t ChallengeScheme(std::string_view value) {
  return StartsWithNoCase(value, "BASIC") ? kHttpAuthBasic : PickDigestAlgorithm(value);
}
