#pragma once

#include <charconv>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "repository/json/json_value.h"
#include "support/temp_dir.h"

namespace upd::test {

// A typed dump of a value: integers in decimal, doubles as d(<shortest
// round-trip text>), strings quoted with every byte outside printable ASCII
// (and '"', '\') as \xHH, containers with their keys in document order.
inline std::string Describe(const wexajson::Value& value) {
  using wexajson::Value;
  using wexajson::ValueIterator;
  std::string out;
  auto quote = [&out](std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (unsigned char c : text) {
      if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
        out += static_cast<char>(c);
      } else {
        out += "\\x";
        out += kHex[c >> 4];
        out += kHex[c & 0xF];
      }
    }
    out += '"';
  };
  std::string_view text;
  if (value.IsUndefined()) {
    out = "undefined";
  } else if (value.IsNull()) {
    out = "null";
  } else if (value.IsBool()) {
    out = value.AsBool(false) ? "true" : "false";
  } else if (value.IsInt()) {
    out = std::to_string(value.AsInt64(0));
  } else if (value.IsDouble()) {
    char number[64];
    const auto result = std::to_chars(number, number + sizeof number, value.AsDouble(0));
    out = "d(" + std::string(number, result.ptr) + ")";
  } else if (value.Text(&text)) {
    quote(text);
  } else {
    const bool object = value.IsObject();
    out += object ? '{' : '[';
    bool first = true;
    for (ValueIterator it(value); it != ValueIterator(); ++it) {
      if (!first) out += ',';
      first = false;
      if (object) {
        quote(it.Key().View());
        out += ':';
      }
      out += Describe(*it);
    }
    out += object ? '}' : ']';
  }
  return out;
}

// "%XX" to the byte 0xXX; every other character as it is.
inline std::string DecodePercent(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// One line of tests/repository/json/parse_cases.txt: the text and the
// Describe of its root, or "refused".
struct ParseCase {
  int line;
  std::string group;  // the comment above the case
  std::string text;
  std::string expected;
};

inline std::vector<ParseCase> LoadParseCases() {
  std::ifstream in(SourcePath("tests/repository/json/parse_cases.txt"));
  if (!in) throw std::runtime_error("parse_cases.txt is missing");
  std::vector<ParseCase> cases;
  std::string group;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty()) continue;
    if (line[0] == '#') {
      group = line.substr(1);
      continue;
    }
    const size_t tab = line.find('\t');
    if (tab == std::string::npos)
      throw std::runtime_error("no tab in line " + std::to_string(number));
    cases.push_back({number, group, DecodePercent(line.substr(0, tab)), line.substr(tab + 1)});
  }
  return cases;
}

}  // namespace upd::test
