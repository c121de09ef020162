// The HTTP/1.1 syntax both clients read, over arbitrary text, line by line:
// status, field and chunk-size lines, Location values and quoted strings.
// Beyond not reading past its input, what is taken must be what the grammar
// allows: a field value never holds a byte that ends or cuts a line, the
// parts of a Location lie inside it, and a quoted string written back reads
// as the same content.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "platform/util/http1_syntax.h"

namespace {

bool Inside(std::string_view part, std::string_view whole) {
  return part.empty() || (part.data() >= whole.data() &&
                          part.data() + part.size() <= whole.data() + whole.size());
}

void CheckField(std::string_view line) {
  const std::optional<http1::FieldLine> field = http1::ParseFieldLine(line);
  if (!field) return;
  if (field->name.empty()) std::abort();
  for (const char c : field->name) {
    if (!http1::IsTokenChar(c)) std::abort();
  }
  if (field->value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
    std::abort();
  }
}

void CheckLocation(std::string_view line) {
  http1::Location location;
  if (http1::ParseLocation(line, &location) != http1::LocationFault::kNone) return;
  if (!Inside(location.scheme, line) || !Inside(location.host, line) ||
      !Inside(location.path, line)) {
    std::abort();
  }
  if (line.find_first_of(" \t\r\n") != std::string_view::npos) std::abort();
}

void CheckQuoted(std::string_view line) {
  for (size_t at = line.find('"'); at != std::string_view::npos; at = line.find('"', at + 1)) {
    std::string_view text = line.substr(at);
    std::string content;
    if (!http1::TakeQuotedString(&text, &content)) continue;
    const std::optional<std::string> quoted = http1::QuoteString(content);
    if (!quoted) std::abort();
    std::string_view again = *quoted;
    std::string round;
    if (!http1::TakeQuotedString(&again, &round) || round != content || !again.empty()) {
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto status = http1::ParseStatusLine(line)) {
      if (status->status < 100 || status->status > 999) std::abort();
    }
    CheckField(line);
    (void)http1::ParseChunkSizeLine(line);
    std::string_view digits = line;
    (void)http1::TakeDecimal(&digits);
    (void)http1::ParseDecimal(line);
    CheckLocation(line);
    CheckQuoted(line);
  }
  return 0;
}
