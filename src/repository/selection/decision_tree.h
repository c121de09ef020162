#pragma once

#include <compare>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "repository/json/json_value.h"
#include "repository/selection/package_condition.h"
#include "repository/selection/repository_logger.h"

// One file reference the walk of a decision tree reached.
struct DecisionTreeResult {
  std::string reference;
  int32_t severity = 0;

  // By reference (bytes), then severity.
  auto operator<=>(const DecisionTreeResult&) const = default;
};

// The decision tree of a repository document: its "defaults" complete a
// package condition, and the walk of its "switch" / "cases" / "else" nodes
// against the condition gives the resources that apply.
class DecisionTree {
 public:
  // document: the root of a parsed document (shared). logger: not owned, may
  // be null. Logs the manifest version and the content revision.
  DecisionTree(wexajson::Value document, Repository::ILoggable* logger);

  // Parses text up to its NUL with depth 500; a text that does not parse
  // gives a tree that selects nothing.
  static DecisionTree Load(const std::string& text, Repository::ILoggable* logger);

  const wexajson::Value& Document() const { return document_; }
  int64_t GetManifestVersion() const;
  int64_t GetContentRevision() const;

  // Adds the missing defaults to condition, walks the tree and returns the
  // distinct (reference, severity) pairs it reached, ordered. The walk keeps
  // its open switches on the heap, so nesting costs no machine stack.
  std::vector<DecisionTreeResult> Evaluate(PackageCondition& condition) const;

  void Log(const char* format, ...) const __attribute__((format(printf, 2, 3)));
  void LogAt(int32_t level, const char* format, ...) const __attribute__((format(printf, 3, 4)));

 private:
  using ResultSet = std::set<DecisionTreeResult>;
  struct OpenSwitch;

  wexajson::Value TreeMember(std::string_view name) const;
  void ApplyDefaults(PackageCondition& condition) const;
  void EvaluateSwitch(const wexajson::Value& node, const PackageCondition& condition,
                      ResultSet& results) const;
  void EnterSwitch(const wexajson::Value& node, const PackageCondition& condition,
                   std::vector<OpenSwitch>& open) const;
  bool EvaluateCase(const std::string& var, const wexajson::Value& case_node,
                    const wexajson::Value& values) const;
  void AddFileResult(const wexajson::Value& files, ResultSet& results) const;

  // The first member of the case that names an operator; empty when none.
  static std::string FindOperator(const wexajson::Value& case_node);
  // Whether one element of a variable satisfies the case's operator, by the
  // element's type; a null element satisfies every operator.
  static bool EvaluateOperator(const wexajson::Value& element, const wexajson::Value& case_node,
                               const std::string& op);
  static bool EvaluateStringOperator(const std::string& element, const std::string& op,
                                     const wexajson::Value& case_node);
  static bool EvaluateIntOperator(int64_t element, const std::string& op,
                                  const wexajson::Value& case_node);
  static bool EvaluateDoubleOperator(double element, const std::string& op,
                                     const wexajson::Value& case_node);
  static bool EvaluateBoolOperator(bool element, const std::string& op,
                                   const wexajson::Value& case_node);

  wexajson::Value document_;
  Repository::ILoggable* logger_;
};
