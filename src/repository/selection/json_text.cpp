#include "repository/selection/json_text.h"

#include "repository/json/json_number.h"
#include "repository/json/json_writer.h"

namespace {

constexpr const char* kNull = "null";

}  // namespace

std::string JsonQuoteString(const char* text) {
  if (text == nullptr) return kNull;
  std::string out;
  wexajson::AppendQuoted(out, text);
  return out;
}

std::string JsonInt64Text(const int64_t* value) {
  if (value == nullptr) return kNull;
  std::string out;
  wexajson::AppendInt64(out, *value);
  return out;
}

std::string JsonDoubleText(const double* value) {
  if (value == nullptr) return kNull;
  std::string out;
  wexajson::AppendFixed(out, *value);
  return out;
}

std::string JsonBoolText(const bool* value) {
  if (value == nullptr) return kNull;
  return *value ? "true" : "false";
}
