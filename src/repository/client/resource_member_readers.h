#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "repository/client/app_update_record.h"
#include "repository/json/json_value.h"
#include "repository/selection/decision_tree.h"

// Readers of the members of repository resources. None fails: a value of
// another JSON type leaves the output as it was; list readers append.
namespace Repository {

// Sets out when value is a string; returns whether it did.
bool JsonGetString(const wexajson::Value& value, std::string& out);
void JsonGetOptionalString(const wexajson::Value& value, std::optional<std::string>& out);
// Integers count only as integers (not as texts or doubles); 32-bit outputs
// keep the low 32 bits.
void JsonGetOptionalInt(const wexajson::Value& value, std::optional<int64_t>& out);
void JsonGetOptionalInt(const wexajson::Value& value, std::optional<int32_t>& out);
bool JsonGetInt(const wexajson::Value& value, int64_t& out);
bool JsonGetInt(const wexajson::Value& value, int32_t& out);
bool JsonGetInt(const wexajson::Value& value, ResourceFormat& out);

// An array's elements: each its text, or "" when it is no string.
void ParseTags(const wexajson::Value& value, std::vector<std::string>& out);

// name: a text naming a top-level member of the tree's document whose
// "collection" (or "document") object is read.
void ParseCollection(const DecisionTree& tree, const wexajson::Value& name,
                     std::optional<Collection>& out);
void ParseDocument(const DecisionTree& tree, const wexajson::Value& name,
                   std::optional<Document>& out);

// The "update" object and one element of its "base" array (an element that
// is no object appends a range with neither bound).
void ParseUpdateBase(const wexajson::Value& value, std::optional<UpdateBase>& out);
void ParseFrom(const wexajson::Value& value, std::vector<BaseRange>& out);

// The "dependencies" object, its "os"/"non_os" arrays and one of their
// elements.
void ParseRequirements(const wexajson::Value& value, std::optional<Requirements>& out);
void ParseOsRequirements(const wexajson::Value& value, std::vector<OsRequirement>& out);
void ParseOsRequirement(const wexajson::Value& value, OsRequirement& out);

// Arrays of packages ("manager", "package"), one package, and a "package"
// object that may be absent.
void ParseVersionIdRanges(const wexajson::Value& value, std::vector<Package>& out);
void ParseVersionIdRange(const wexajson::Value& value, Package& out);
void ParsePackageRef(const wexajson::Value& value, std::optional<Package>& out);

// The "token" object.
void ParseDealId(const wexajson::Value& value, std::optional<Token>& out);

}  // namespace Repository
