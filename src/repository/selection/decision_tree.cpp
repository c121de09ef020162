#include "repository/selection/decision_tree.h"

#include <cstdarg>

#include "repository/json/json_parser.h"
#include "repository/json/json_writer.h"
#include "repository/selection/json_text.h"

using wexajson::Value;
using wexajson::ValueIterator;

// A switch whose cases are being walked.
struct DecisionTree::OpenSwitch {
  Value node;
  std::string var;
  Value values;  // the condition's value of var
  ValueIterator next_case;
  bool any_true = false;
  bool first_is_null = false;
};

DecisionTree::DecisionTree(Value document, Repository::ILoggable* logger)
    : document_(std::move(document)), logger_(logger) {
  Log("Manifest version: %lld\n", static_cast<long long>(GetManifestVersion()));
  Log("Content revision: %lld\n", static_cast<long long>(GetContentRevision()));
}

DecisionTree DecisionTree::Load(const std::string& text, Repository::ILoggable* logger) {
  return DecisionTree(wexajson::Parse(text.c_str(), 0, wexajson::kDocumentDepth), logger);
}

Value DecisionTree::TreeMember(std::string_view name) const {
  return document_["root"]["decision_tree"][name];
}

int64_t DecisionTree::GetManifestVersion() const {
  return document_["manifest"]["version"].AsInt64(0);
}

int64_t DecisionTree::GetContentRevision() const { return TreeMember("revision").AsInt64(0); }

std::vector<DecisionTreeResult> DecisionTree::Evaluate(PackageCondition& condition) const {
  ApplyDefaults(condition);
  ResultSet results;
  EvaluateSwitch(TreeMember("switch"), condition, results);
  return {results.begin(), results.end()};
}

void DecisionTree::ApplyDefaults(PackageCondition& condition) const {
  const Value defaults = TreeMember("defaults");
  if (!defaults.IsObject()) return;
  for (ValueIterator it(defaults); it != ValueIterator(); ++it) {
    const char* name = it.Key().CStr();
    if (condition.Has(name)) continue;
    const Value& value = *it;
    if (value.IsString()) {
      condition.SetStringArray(name, value.CStr());
    } else if (value.IsInt()) {
      const int64_t number = value.AsInt64(0);
      condition.Add(name, ("[" + JsonInt64Text(&number) + "]").c_str());
    } else if (value.IsDouble()) {
      const double number = value.AsDouble(0);
      condition.Add(name, ("[" + JsonDoubleText(&number) + "]").c_str());
    } else if (value.IsBool()) {
      const bool flag = value.AsBool(false);
      condition.Add(name, ("[" + JsonBoolText(&flag) + "]").c_str());
    } else if (value.IsNull()) {
      condition.SetStringArray(name, nullptr);
    }
    if (logger_ != nullptr) {
      Log("Adding default value to package condition, key = %s, value = %s\n", name,
          wexajson::ToText(condition.Get(name)).c_str());
    }
  }
}

// Depth first, as a recursion would go: a true case's nested switch is walked
// whole before the next case, and "else" comes after every case.
void DecisionTree::EvaluateSwitch(const Value& node, const PackageCondition& condition,
                                  ResultSet& results) const {
  std::vector<OpenSwitch> open;
  EnterSwitch(node, condition, open);
  while (!open.empty()) {
    OpenSwitch& current = open.back();
    if (current.next_case != ValueIterator()) {
      const Value case_node = *current.next_case;
      ++current.next_case;
      if (EvaluateCase(current.var, case_node, current.values)) {
        current.any_true = true;
        AddFileResult(case_node["file"], results);
        EnterSwitch(case_node["switch"], condition, open);
      }
      continue;
    }
    const OpenSwitch done = std::move(current);
    open.pop_back();
    if (done.any_true && !done.first_is_null) continue;
    Log("Switch node: parsing else node for variableId = %s\n", done.var.c_str());
    const Value else_node = done.node["else"];
    if (EvaluateCase(done.var, else_node, done.values)) {
      AddFileResult(else_node["file"], results);
      EnterSwitch(else_node["switch"], condition, open);
    }
  }
}

void DecisionTree::EnterSwitch(const Value& node, const PackageCondition& condition,
                               std::vector<OpenSwitch>& open) const {
  if (node.IsUndefined() || node.IsNull()) {
    LogAt(Repository::kLogDetail, "Switch node: leaf node reached\n");
    return;
  }
  OpenSwitch entered;
  entered.node = node;
  entered.var = node["var"].AsString(std::string());
  entered.values = condition.Get(entered.var.c_str());
  Log("Switch node: variableId = %s\n", entered.var.c_str());
  entered.first_is_null = entered.values.At(0).IsNull();
  entered.next_case = ValueIterator(node["cases"]);
  open.push_back(std::move(entered));
}

bool DecisionTree::EvaluateCase(const std::string& var, const Value& case_node,
                                const Value& values) const {
  const std::string op = FindOperator(case_node);
  bool result = op.empty();
  for (ValueIterator it(values); !result && it != ValueIterator(); ++it) {
    result = EvaluateOperator(*it, case_node, op);
  }
  if (logger_ != nullptr) {
    Log("Case node: variableId = %s, case = %s, values = %s, evaluated as %d\n", var.c_str(),
        wexajson::ToText(case_node).c_str(), wexajson::ToText(values).c_str(), result ? 1 : 0);
  }
  return result;
}

void DecisionTree::AddFileResult(const Value& files, ResultSet& results) const {
  if (!files.IsArray()) return;
  for (ValueIterator it(files); it != ValueIterator(); ++it) {
    DecisionTreeResult result{(*it)["reference"].AsString(std::string()),
                              (*it)["severity"].AsInt32(1)};
    Log("File node: adding result, reference = %s, severity = %d\n", result.reference.c_str(),
        result.severity);
    results.insert(std::move(result));
  }
}

void DecisionTree::Log(const char* format, ...) const {
  if (logger_ == nullptr) return;
  va_list args;
  va_start(args, format);
  logger_->Log(Repository::kLogTrace, format, args);
  va_end(args);
}

void DecisionTree::LogAt(int32_t level, const char* format, ...) const {
  if (logger_ == nullptr) return;
  va_list args;
  va_start(args, format);
  logger_->Log(level, format, args);
  va_end(args);
}
