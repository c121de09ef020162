#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "repository/json/json_value.h"
#include "repository/selection/repository_logger.h"

// The named variables a repository document's decision tree chooses
// resources by. Every variable holds a parsed JSON array; keys compare with
// AsciiStrICmp, so keys differing only in the case of A to Z are one key.
class PackageCondition {
 public:
  // logger is not owned and may be null.
  explicit PackageCondition(Repository::ILoggable* logger);

  // Parses value_text (depth 500) and stores whatever the parser gives under
  // key; a present key keeps its first spelling and gets the new value. A
  // null key is ignored.
  void Add(const char* key, const char* value_text);
  bool Has(const char* key) const;
  // A handle sharing the stored document; undefined when key is absent.
  wexajson::Value Get(const char* key) const;

  // An array holding text as one string (null text: one null element).
  void SetStringArray(const char* key, const char* text);
  void SetOsType(const char* text);
  // Every '-' becomes '_' (en-US is stored as en_US).
  void SetLanguage(const char* text);
  void SetAppVersion(int64_t value);
  void SetOsBits(const char* text);
  void SetOsPackageSystem(const char* text);
  void SetPlatform(const char* text);
  void SetOsEdition(const char* text);
  void SetDealId(const char* text);
  void SetAppCode(int64_t value);
  void SetBase(int64_t value);
  void SetOsVersion(int64_t value);

  void Log(int32_t level, const char* format, ...) const __attribute__((format(printf, 3, 4)));

 private:
  struct KeyLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };

  void SetIntArray(const char* key, int64_t value);

  std::map<std::string, wexajson::Value, KeyLess> values_;
  Repository::ILoggable* logger_;
};
