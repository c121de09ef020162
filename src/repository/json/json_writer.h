#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "repository/json/json_value.h"

namespace wexajson {

// Compact JSON text of values, for log lines. Containers nested as deep as a
// maximum depth or deeper are left out whole, so a deep document gives a
// short line.
class Writer {
 public:
  // Writes value (with its key when the enclosing container is an object) at
  // depth; an object or array at a depth of max_depth or more, and an
  // undefined value, write nothing. Returns whether anything was written.
  // Nested containers are walked on a heap stack, not by recursion.
  static bool WriteValue(const Value& value, Writer& writer, std::optional<std::string_view> key,
                         uint32_t max_depth, uint32_t depth);

  // A quoted key and ":".
  void WriteKey(std::string_view key);
  // The text as AppendQuoted writes it.
  void WriteString(std::string_view text);

  const std::string& Text() const { return text_; }

 private:
  struct Open {
    ValueIterator next;  // the member or element to write next
    uint32_t depth;      // the container's own depth
    bool object;
    bool has_value;
  };

  // Starts one value inside the innermost open container (or at the top).
  bool Begin(const Value& value, std::optional<std::string_view> key, uint32_t max_depth,
             uint32_t depth);
  void Scalar(const Value& value);

  std::string text_;
  std::vector<Open> open_;
};

// Appends the text in quotation marks: '"' and '\' escaped with a backslash,
// \b \t \n \f \r for those controls, \u00XX (lower case) for the other bytes
// below 32; every other byte as it is. The parser reads it back unchanged.
void AppendQuoted(std::string& out, std::string_view text);

// The compact text of a value with its containers kept to two levels.
std::string ToText(const Value& value);

}  // namespace wexajson
