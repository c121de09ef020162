#include "repository/selection/package_condition.h"

#include <algorithm>
#include <cstdarg>

#include "platform/util/strings.h"
#include "repository/json/json_parser.h"
#include "repository/selection/json_text.h"

namespace {

constexpr const char* kOsType = "os.type";
constexpr const char* kLanguage = "language";
constexpr const char* kAppVersion = "app.version";
constexpr const char* kOsBits = "os.bits";
constexpr const char* kOsPackageSystem = "os.package_system";
constexpr const char* kPlatform = "platform";
constexpr const char* kOsEdition = "os.edition";
constexpr const char* kDealId = "deal_id";
constexpr const char* kAppCode = "app.code";
constexpr const char* kBase = "base";
constexpr const char* kOsVersion = "os.version";

std::string OneElementArray(const std::string& literal) { return "[" + literal + "]"; }

}  // namespace

bool PackageCondition::KeyLess::operator()(const std::string& a, const std::string& b) const {
  return AsciiStrICmp(a.c_str(), b.c_str()) < 0;
}

PackageCondition::PackageCondition(Repository::ILoggable* logger) : logger_(logger) {}

void PackageCondition::Add(const char* key, const char* value_text) {
  if (key == nullptr) return;
  Log(Repository::kLogTrace, "PackageCondition: adding key = %s, value = %s\n", key,
      value_text != nullptr ? value_text : "(null)");
  wexajson::Value value = wexajson::Parse(value_text, 0, wexajson::kDocumentDepth);
  const auto found = values_.find(key);
  if (found != values_.end()) {
    found->second = std::move(value);
  } else {
    values_.emplace(key, std::move(value));
  }
}

bool PackageCondition::Has(const char* key) const {
  return key != nullptr && values_.find(key) != values_.end();
}

wexajson::Value PackageCondition::Get(const char* key) const {
  if (key == nullptr) return wexajson::Value();
  const auto found = values_.find(key);
  return found != values_.end() ? found->second : wexajson::Value();
}

void PackageCondition::SetStringArray(const char* key, const char* text) {
  Add(key, OneElementArray(JsonQuoteString(text)).c_str());
}

void PackageCondition::SetIntArray(const char* key, int64_t value) {
  Add(key, OneElementArray(JsonInt64Text(&value)).c_str());
}

void PackageCondition::SetOsType(const char* text) { SetStringArray(kOsType, text); }

void PackageCondition::SetLanguage(const char* text) {
  // Escapes never hold '-', so this changes only the text's own hyphens.
  std::string quoted = JsonQuoteString(text);
  std::replace(quoted.begin(), quoted.end(), '-', '_');
  Add(kLanguage, OneElementArray(quoted).c_str());
}

void PackageCondition::SetAppVersion(int64_t value) { SetIntArray(kAppVersion, value); }
void PackageCondition::SetOsBits(const char* text) { SetStringArray(kOsBits, text); }
void PackageCondition::SetOsPackageSystem(const char* text) {
  SetStringArray(kOsPackageSystem, text);
}
void PackageCondition::SetPlatform(const char* text) { SetStringArray(kPlatform, text); }
void PackageCondition::SetOsEdition(const char* text) { SetStringArray(kOsEdition, text); }
void PackageCondition::SetDealId(const char* text) { SetStringArray(kDealId, text); }
void PackageCondition::SetAppCode(int64_t value) { SetIntArray(kAppCode, value); }
void PackageCondition::SetBase(int64_t value) { SetIntArray(kBase, value); }
void PackageCondition::SetOsVersion(int64_t value) { SetIntArray(kOsVersion, value); }

void PackageCondition::Log(int32_t level, const char* format, ...) const {
  if (logger_ == nullptr) return;
  va_list args;
  va_start(args, format);
  logger_->Log(level, format, args);
  va_end(args);
}
