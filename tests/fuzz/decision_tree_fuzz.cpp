// A repository document through the decision tree and the resource readers,
// against a fixed package condition: whatever the document holds, the walk
// ends, its results are distinct and ordered, and every result gives one
// record with its severity.
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "repository/client/repository_selection.h"
#include "repository/client/resource_reader.h"
#include "repository/selection/decision_tree.h"
#include "repository/selection/package_condition.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

// Formats every message, so that a format and its arguments must agree.
class FormattingLogger final : public Repository::ILoggable {
 public:
  void Log(int32_t, const char* format, va_list args) override {
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
  }
};

PackageCondition FixedCondition(Repository::ILoggable* logger) {
  PackageCondition condition(logger);
  condition.SetOsType("Linux");
  condition.SetLanguage("en-US");
  condition.SetAppVersion(1203);
  condition.SetOsBits("64");
  condition.SetOsPackageSystem("deb");
  condition.SetPlatform("x86_64");
  condition.SetOsEdition(nullptr);
  condition.SetDealId("deal \"1\"\\");
  condition.SetAppCode(7);
  condition.SetBase(-5);
  condition.SetOsVersion(50000);
  return condition;
}

// The queries' choice among the records: only newer application updates
// with a level pass, and no candidate is older than a record of its kind.
void CheckSelection(const std::vector<AppUpdateRecord>& records) {
  std::vector<AppUpdateRecord> updates;
  Repository::AppendApplicationUpdates(records, -5, updates);
  for (const AppUpdateRecord& record : updates) {
    Require(record.version_id > -5 && Repository::HasFormat(record, Repository::kApplicationFormat));
    Require(record.update && record.update->level);
  }
  Repository::UpdateCandidates candidates;
  Repository::SortCandidates(records, candidates);
  for (const AppUpdateRecord& record : records) {
    if (Repository::IsSupportedPackageFormat(record.format)) {
      Require(candidates.package.version_id >= record.version_id);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  FormattingLogger logger;
  const DecisionTree tree = DecisionTree::Load(text, &logger);
  const PackageCondition condition = FixedCondition(&logger);
  PackageCondition evaluated = condition;
  const std::vector<DecisionTreeResult> results = tree.Evaluate(evaluated);
  for (size_t i = 1; i < results.size(); ++i) Require(results[i - 1] < results[i]);
  const std::vector<AppUpdateRecord> records = Repository::ParseResourceList(tree, condition);
  Require(records.size() == results.size());
  for (size_t i = 0; i < records.size(); ++i) Require(records[i].severity == results[i].severity);
  CheckSelection(records);
  return 0;
}
