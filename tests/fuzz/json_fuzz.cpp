// The JSON parser over arbitrary input, with the properties every parsed
// document must have: an image framed by its header and end record, lookups
// that find the first member of each key, conversions that never fail, and a
// writer whose full text parses back and settles after one round.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "repository/json/json_parser.h"
#include "repository/json/json_writer.h"

namespace {

using wexajson::Value;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckImage(const Value& root) {
  const auto image = root.GetDocument()->Image();
  Require(image.size() >= wexajson::kHeaderSize + 1 + wexajson::kEndRecordSize);
  const size_t end = image.size() - wexajson::kEndRecordSize;
  Require(wexajson::LoadU32(image.data()) == wexajson::kHeaderMark);
  Require(wexajson::LoadU32(image.data() + 4) == root.Offset());
  Require(root.Offset() < end);
  Require(image[end] == wexajson::kEndTag);
  Require(wexajson::LoadU32(image.data() + end + 1) == end);
}

// Every member is found by its key unless an earlier member has that key.
void CheckMembers(const Value& object) {
  std::unordered_map<std::string_view, uint32_t> first;
  for (uint32_t i = 0; i < object.Size(); ++i) {
    std::string_view key;
    Require(object.MemberName(i).Text(&key));
    first.emplace(key, i);
  }
  for (const auto& [key, index] : first) {
    Require(object.FindMember(key).Offset() == object.At(index).Offset());
  }
}

// Visits every value without recursion; true when a double lies so close to
// zero that its six-digit text reads back as a subnormal, which the parser
// refuses as out of range.
bool Walk(const Value& root) {
  bool tiny = false;
  std::vector<Value> pending{root};
  while (!pending.empty()) {
    const Value value = pending.back();
    pending.pop_back();
    (void)value.AsBool(false);
    (void)value.AsInt64(0);
    (void)value.AsInt32(0);
    const double number = value.AsDouble(0);
    (void)value.AsString(std::string());
    (void)value.AsWString(std::wstring());
    if (value.IsDouble() && number != 0 && std::fabs(number) < 1e-307) tiny = true;
    if (value.IsObject()) CheckMembers(value);
    for (wexajson::ValueIterator it(value); it != wexajson::ValueIterator(); ++it) {
      (void)it.Key().WStr();
      pending.push_back(*it);
    }
  }
  return tiny;
}

std::string FullText(const Value& value) {
  wexajson::Writer writer;
  (void)wexajson::Writer::WriteValue(value, writer, std::nullopt,
                                     std::numeric_limits<uint32_t>::max(), 0);
  return writer.Text();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Value root = wexajson::Parse(text, wexajson::kDocumentDepth);
  if (root.IsUndefined()) return 0;
  CheckImage(root);
  const bool tiny = Walk(root);
  (void)wexajson::ToText(root);
  const std::string written = FullText(root);
  const Value again = wexajson::Parse(written, wexajson::kDocumentDepth);
  if (again.IsUndefined()) {
    Require(tiny);
    return 0;
  }
  // One round may still change a text (the double -0 is written as "-0",
  // which reads back as the integer 0); the second must not.
  const std::string rewritten = FullText(again);
  const Value third = wexajson::Parse(rewritten, wexajson::kDocumentDepth);
  Require(!third.IsUndefined() && FullText(third) == rewritten);
  return 0;
}
