#include "repository/json/json_writer.h"

#include "repository/json/json_number.h"

namespace wexajson {
namespace {

// The log lines show the root, its members and their scalars.
constexpr uint32_t kTextDepth = 2;

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

void AppendEscape(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"':
      out += "\\\"";
      return;
    case '\\':
      out += "\\\\";
      return;
    case '\b':
      out += "\\b";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\f':
      out += "\\f";
      return;
    case '\r':
      out += "\\r";
      return;
    default:
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      return;
  }
}

}  // namespace

bool Writer::WriteValue(const Value& value, Writer& writer, std::optional<std::string_view> key,
                        uint32_t max_depth, uint32_t depth) {
  const size_t outer = writer.open_.size();
  if (!writer.Begin(value, key, max_depth, depth)) return false;
  while (writer.open_.size() > outer) {
    Open& top = writer.open_.back();
    if (top.next == ValueIterator()) {
      writer.text_ += top.object ? '}' : ']';
      writer.open_.pop_back();
      continue;
    }
    const Value child = *top.next;
    const String child_key = top.next.Key();
    const bool object = top.object;
    const uint32_t child_depth = top.depth + 1;
    ++top.next;
    // Begin may open a container and move the stack, so top is not used after.
    (void)writer.Begin(child, object ? std::optional(child_key.View()) : std::nullopt, max_depth,
                       child_depth);
  }
  return true;
}

bool Writer::Begin(const Value& value, std::optional<std::string_view> key, uint32_t max_depth,
                   uint32_t depth) {
  if (value.IsUndefined()) return false;
  const bool container = value.IsArray() || value.IsObject();
  if (container && depth >= max_depth) return false;
  if (!open_.empty()) {
    Open& enclosing = open_.back();
    if (enclosing.has_value) text_ += ',';
    if (enclosing.object) WriteKey(key.value_or(std::string_view()));
    enclosing.has_value = true;
  }
  if (!container) {
    Scalar(value);
    return true;
  }
  text_ += value.IsObject() ? '{' : '[';
  open_.push_back({ValueIterator(value), depth, value.IsObject(), false});
  return true;
}

void Writer::Scalar(const Value& value) {
  std::string_view text;
  if (value.IsBool()) {
    text_ += value.AsBool(false) ? "true" : "false";
  } else if (value.IsInt()) {
    AppendInt64(text_, value.AsInt64(0));
  } else if (value.IsDouble()) {
    AppendGeneral(text_, value.AsDouble(0));
  } else if (value.Text(&text)) {
    WriteString(text);
  } else if (value.IsNull()) {
    text_ += "null";
  }
}

void Writer::WriteKey(std::string_view key) {
  WriteString(key);
  text_ += ':';
}

void Writer::WriteString(std::string_view text) { AppendQuoted(text_, text); }

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!NeedsEscape(c)) continue;
    out.append(text, run, i - run);
    AppendEscape(out, c);
    run = i + 1;
  }
  out.append(text, run, text.size() - run);
  out += '"';
}

std::string ToText(const Value& value) {
  Writer writer;
  (void)Writer::WriteValue(value, writer, std::nullopt, kTextDepth, 0);
  return writer.Text();
}

}  // namespace wexajson
