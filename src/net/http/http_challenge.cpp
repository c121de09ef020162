#include "net/http/http_challenge.h"

#include <optional>
#include <string>

#include "net/http/http_text.h"

namespace {

// One item of a challenge's parameter list.
struct ParamItem {
  std::string_view name;
  std::string_view value;
};

enum class ItemRead { kItem, kEnd, kNextChallenge, kMalformed };

// Skips blanks and the commas of empty list elements.
std::string_view SkipSeparators(std::string_view text) {
  for (;;) {
    text = SkipBlanks(text);
    if (text.empty() || text.front() != ',') return text;
    text.remove_prefix(1);
  }
}

// The next item of *text, which moves past it; a quoted value is unescaped
// into *unquoted. kNextChallenge leaves *text at the scheme word of the
// challenge that follows: a token followed by a blank and no '='.
ItemRead ReadParamItem(std::string_view* text, ParamItem* item, std::string* unquoted) {
  std::string_view rest = SkipSeparators(*text);
  if (rest.empty()) return ItemRead::kEnd;
  const std::string_view start = rest;
  item->name = http1::TakeToken(&rest);
  if (item->name.empty()) return ItemRead::kMalformed;
  rest = SkipBlanks(rest);
  item->value = {};
  if (!rest.empty() && rest.front() == '=') {
    rest = SkipBlanks(rest.substr(1));
    if (!rest.empty() && rest.front() == '"') {
      if (!http1::TakeQuotedString(&rest, unquoted)) return ItemRead::kMalformed;
      item->value = *unquoted;
    } else {
      // A token by the grammar; servers also send base64 with its padding.
      const std::string_view bare = rest.substr(0, rest.find(','));
      item->value = TrimBlanks(bare);
      rest.remove_prefix(bare.size());
    }
    rest = SkipBlanks(rest);
    if (!rest.empty() && rest.front() != ',') return ItemRead::kMalformed;
  } else if (!rest.empty() && rest.front() != ',') {
    *text = start;
    return ItemRead::kNextChallenge;
  }
  *text = rest;
  return ItemRead::kItem;
}

bool IsToken68Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '+' || c == '/';
}

// The length of a token68 ("Negotiate YII/ab+==") that makes up the whole
// of a challenge's parameters at the start of text, else 0: a token68 ends
// the value or is followed by the next challenge, where a bare first item of
// a parameter list ("stale, realm=...") is followed by a parameter.
size_t Token68Length(std::string_view text) {
  size_t length = 0;
  while (length < text.size() && IsToken68Char(text[length])) ++length;
  if (length == 0) return 0;
  while (length < text.size() && text[length] == '=') ++length;
  std::string_view rest = SkipBlanks(text.substr(length));
  if (rest.empty()) return length;
  if (rest.front() != ',') return 0;
  rest = SkipSeparators(rest);
  (void)http1::TakeToken(&rest);
  rest = SkipBlanks(rest);
  return !rest.empty() && rest.front() == '=' ? 0 : length;
}

// The parameters of the challenge at the start of *text, which moves to what
// follows them; nullopt when they are malformed.
std::optional<std::string_view> TakeParameters(std::string_view* text) {
  const std::string_view start = *text;
  if (const size_t token68 = Token68Length(start); token68 != 0) {
    text->remove_prefix(token68);
    return start.substr(0, token68);
  }
  std::string_view rest = start;
  size_t length = 0;
  ParamItem item;
  std::string unquoted;
  for (;;) {
    switch (ReadParamItem(&rest, &item, &unquoted)) {
      case ItemRead::kItem:
        length = static_cast<size_t>(rest.data() - start.data());
        continue;
      case ItemRead::kEnd:
      case ItemRead::kNextChallenge:
        *text = rest;
        return TrimBlanks(start.substr(0, length));
      case ItemRead::kMalformed:
        return std::nullopt;
    }
  }
}

uint32_t DigestScheme(std::string_view parameters) {
  std::string algorithm = "MD5";
  const bool parsed =
      ForEachChallengeParam(parameters, [&](std::string_view name, std::string_view value) {
        if (!EqualsNoCase(name, "algorithm")) return true;
        algorithm = std::string(value);
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

}  // namespace

bool ForEachChallenge(std::string_view value,
                      const std::function<bool(std::string_view, std::string_view)>& visit) {
  for (;;) {
    value = SkipSeparators(value);
    if (value.empty()) return true;
    const std::string_view scheme = http1::TakeToken(&value);
    if (scheme.empty() || (!value.empty() && !IsBlank(value.front()) && value.front() != ',')) {
      return false;
    }
    value = SkipBlanks(value);
    const std::optional<std::string_view> parameters = TakeParameters(&value);
    if (!parameters) return false;
    if (!visit(scheme, *parameters)) return true;
  }
}

bool ForEachChallengeParam(std::string_view parameters,
                           const std::function<bool(std::string_view, std::string_view)>& visit) {
  ParamItem item;
  std::string unquoted;
  for (;;) {
    switch (ReadParamItem(&parameters, &item, &unquoted)) {
      case ItemRead::kItem:
        if (!visit(item.name, item.value)) return true;
        continue;
      case ItemRead::kEnd:
      case ItemRead::kNextChallenge:
        return true;
      case ItemRead::kMalformed:
        return false;
    }
  }
}

uint32_t ChallengeScheme(std::string_view scheme, std::string_view parameters) {
  if (EqualsNoCase(scheme, "Basic")) return kHttpAuthBasic;
  if (EqualsNoCase(scheme, "Digest")) return DigestScheme(parameters);
  return kHttpAuthNone;
}

uint32_t PickDigestAlgorithm(std::string_view value) {
  uint32_t scheme = kHttpAuthNone;
  (void)ForEachChallenge(value, [&](std::string_view name, std::string_view parameters) {
    if (EqualsNoCase(name, "Digest")) scheme = DigestScheme(parameters);
    return false;
  });
  return scheme;
}
