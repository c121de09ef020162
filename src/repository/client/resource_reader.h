#pragma once

#include <vector>

#include "repository/client/app_update_record.h"
#include "repository/json/json_value.h"
#include "repository/selection/decision_tree.h"
#include "repository/selection/package_condition.h"

// The resources of a repository document that its decision tree selects,
// read into records. Nothing fails: a missing or unknown resource gives a
// record that holds only its severity.
namespace Repository {

// Evaluates the tree against a copy of condition (the caller's is kept) and
// reads one record per result, in the results' order.
std::vector<AppUpdateRecord> ParseResourceList(const DecisionTree& tree,
                                               const PackageCondition& condition);
std::vector<AppUpdateRecord> ParseResources(const DecisionTree& tree,
                                            const std::vector<DecisionTreeResult>& results);
// The top-level member the result names: its "application" object, else its
// "collection" object.
AppUpdateRecord ParseResource(const DecisionTree& tree, const DecisionTreeResult& result);

void ParseApplicationInfo(const DecisionTree& tree, const wexajson::Value& app,
                          AppUpdateRecord& record);
void ParseResourceFile(const DecisionTree& tree, const wexajson::Value& file,
                       AppUpdateRecord& record);

}  // namespace Repository
