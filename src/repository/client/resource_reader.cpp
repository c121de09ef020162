#include "repository/client/resource_reader.h"

#include <locale>
#include <sstream>

#include "repository/client/resource_member_readers.h"

using wexajson::Value;

namespace Repository {
namespace {

std::string Dump(const AppUpdateRecord& record) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  DumpPackageInfo(text, record);
  return text.str();
}

}  // namespace

std::vector<AppUpdateRecord> ParseResourceList(const DecisionTree& tree,
                                               const PackageCondition& condition) {
  PackageCondition copy = condition;
  return ParseResources(tree, tree.Evaluate(copy));
}

std::vector<AppUpdateRecord> ParseResources(const DecisionTree& tree,
                                            const std::vector<DecisionTreeResult>& results) {
  std::vector<AppUpdateRecord> records;
  records.reserve(results.size());
  for (const DecisionTreeResult& result : results) records.push_back(ParseResource(tree, result));
  return records;
}

AppUpdateRecord ParseResource(const DecisionTree& tree, const DecisionTreeResult& result) {
  AppUpdateRecord record;
  record.severity = result.severity;
  const Value member = tree.Document()[result.reference];
  const Value app = member["application"];
  if (app.IsObject()) {
    ParseApplicationInfo(tree, app, record);
    tree.Log("Added application info:\n%s", Dump(record).c_str());
    return record;
  }
  const Value file = member["collection"];
  if (file.IsObject()) {
    ParseResourceFile(tree, file, record);
    tree.Log("Added collection info:\n%s", Dump(record).c_str());
    return record;
  }
  tree.LogAt(kLogWarning, "Unsupported resource type.");
  return record;
}

void ParseApplicationInfo(const DecisionTree& tree, const Value& app, AppUpdateRecord& record) {
  (void)JsonGetString(app["id"], record.id);
  (void)JsonGetString(app["path"], record.path);
  (void)JsonGetString(app["display_name"], record.display_name);
  JsonGetOptionalString(app["description"], record.description);
  (void)JsonGetString(app["version"], record.version);
  (void)JsonGetInt(app["version_id"], record.version_id);
  (void)JsonGetInt(app["date"], record.date);
  JsonGetOptionalInt(app["dev_stage"], record.dev_stage);
  (void)JsonGetInt(app["size"], record.size);
  (void)JsonGetString(app["hash"], record.hash);
  JsonGetOptionalString(app["hash_sha256"], record.hash_sha256);
  ParseTags(app["language"], record.language);
  (void)JsonGetInt(app["format"], record.format);
  ParseCollection(tree, app["eula"], record.eula);
  ParseDocument(tree, app["changelog"], record.changelog);
  JsonGetOptionalInt(app["eol"], record.eol);
  JsonGetOptionalInt(app["legacy"], record.legacy);
  ParseUpdateBase(app["update"], record.update);
  ParseRequirements(app["dependencies"], record.dependencies);
  ParseTags(app["tags"], record.tags);
  ParseDealId(app["token"], record.token);
}

void ParseResourceFile(const DecisionTree&, const Value& file, AppUpdateRecord& record) {
  (void)JsonGetString(file["id"], record.id);
  (void)JsonGetString(file["path"], record.path);
  (void)JsonGetString(file["version"], record.version);
  (void)JsonGetInt(file["version_id"], record.version_id);
  (void)JsonGetString(file["hash"], record.hash);
  JsonGetOptionalString(file["hash_sha256"], record.hash_sha256);
  (void)JsonGetInt(file["format"], record.format);
  ParseTags(file["tags"], record.tags);
}

}  // namespace Repository
