#include "net/http/http_challenge.h"

#include <cstring>
#include <string>

#include "net/http/http_text.h"
#include "platform/util/text_helpers.h"

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

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

bool ForEachChallengeParam(std::string_view parameters,
                           const std::function<bool(std::string_view, std::string_view)>& visit) {
  // The tokenizer writes into its text: a copy as large as the record keeps.
  char text[kHttpChallengeSize];
  if (parameters.size() >= sizeof text) return false;
  std::memcpy(text, parameters.data(), parameters.size());
  text[parameters.size()] = '\0';
  QuotedTokenState state;
  for (char* item = StrTokenizeQuoted(text, ",", '"', &state); item != nullptr;
       item = StrTokenizeQuoted(nullptr, ",", '"', &state)) {
    // Split at the first '=' only: a quoted realm keeps its blanks, a nonce
    // its '=' padding.
    const std::string_view whole(item);
    const size_t equals = whole.find('=');
    const std::string_view name = TrimBlanks(whole.substr(0, equals));
    if (name.empty()) continue;
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view{} : Unquote(whole.substr(equals + 1));
    if (!visit(name, value)) return true;
  }
  return true;
}

uint32_t PickDigestAlgorithm(std::string_view value) {
  if (!StartsWithNoCase(value, "DIGEST")) return kHttpAuthNone;
  std::string algorithm = "MD5";
  const bool parsed = ForEachChallengeParam(ChallengeParameters(value),
                                            [&](std::string_view name, std::string_view v) {
                                              if (!EqualsNoCase(name, "algorithm")) return true;
                                              algorithm = std::string(v);
                                              return false;
                                            });
  if (!parsed) return kHttpAuthNone;
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
