#include "repository/client/resource_member_readers.h"

using wexajson::Value;
using wexajson::ValueIterator;

namespace Repository {
namespace {

int32_t Low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// The object of a top-level member of the tree's document, by its name.
Value NamedMemberObject(const DecisionTree& tree, const Value& name, std::string_view kind) {
  std::string_view text;
  if (!name.Text(&text)) return Value();
  const Value object = tree.Document()[text][kind];
  return object.IsObject() ? object : Value();
}

// Appends one element per array element, read by read (an element that is no
// object gives an empty one).
template <typename T, typename Read>
void ParseObjectList(const Value& value, std::vector<T>& out, Read read) {
  if (!value.IsArray()) return;
  for (ValueIterator it(value); it != ValueIterator(); ++it) {
    T element{};
    read(*it, element);
    out.push_back(std::move(element));
  }
}

}  // namespace

bool JsonGetString(const Value& value, std::string& out) {
  std::string_view text;
  if (!value.Text(&text)) return false;
  out.assign(text);
  return true;
}

void JsonGetOptionalString(const Value& value, std::optional<std::string>& out) {
  std::string text;
  if (JsonGetString(value, text)) out = std::move(text);
}

bool JsonGetInt(const Value& value, int64_t& out) {
  if (!value.IsInt()) return false;
  out = value.AsInt64(0);
  return true;
}

bool JsonGetInt(const Value& value, int32_t& out) {
  int64_t wide = 0;
  if (!JsonGetInt(value, wide)) return false;
  out = Low32(wide);
  return true;
}

bool JsonGetInt(const Value& value, ResourceFormat& out) {
  int32_t number = 0;
  if (!JsonGetInt(value, number)) return false;
  out = static_cast<ResourceFormat>(number);
  return true;
}

void JsonGetOptionalInt(const Value& value, std::optional<int64_t>& out) {
  int64_t number = 0;
  if (JsonGetInt(value, number)) out = number;
}

void JsonGetOptionalInt(const Value& value, std::optional<int32_t>& out) {
  int32_t number = 0;
  if (JsonGetInt(value, number)) out = number;
}

void ParseTags(const Value& value, std::vector<std::string>& out) {
  if (!value.IsArray()) return;
  for (ValueIterator it(value); it != ValueIterator(); ++it) {
    std::string text;
    (void)JsonGetString(*it, text);
    out.push_back(std::move(text));
  }
}

void ParseCollection(const DecisionTree& tree, const Value& name, std::optional<Collection>& out) {
  const Value object = NamedMemberObject(tree, name, "collection");
  if (object.IsUndefined()) return;
  Collection collection;
  (void)JsonGetString(object["id"], collection.id);
  (void)JsonGetString(object["path"], collection.path);
  (void)JsonGetInt(object["format"], collection.format);
  (void)JsonGetString(object["hash"], collection.hash);
  JsonGetOptionalString(object["hash_sha256"], collection.hash_sha256);
  JsonGetOptionalString(object["version"], collection.version);
  JsonGetOptionalInt(object["version_id"], collection.version_id);
  ParseTags(object["tags"], collection.tags);
  out = std::move(collection);
}

void ParseDocument(const DecisionTree& tree, const Value& name, std::optional<Document>& out) {
  const Value object = NamedMemberObject(tree, name, "document");
  if (object.IsUndefined()) return;
  Document document;
  (void)JsonGetString(object["path"], document.path);
  (void)JsonGetInt(object["type"], document.type);
  (void)JsonGetInt(object["format"], document.format);
  JsonGetOptionalString(object["version"], document.version);
  JsonGetOptionalInt(object["version_id"], document.version_id);
  (void)JsonGetString(object["hash"], document.hash);
  JsonGetOptionalString(object["hash_sha256"], document.hash_sha256);
  ParseTags(object["language"], document.language);
  const Value names = object["display_name"];
  if (names.IsObject()) {
    for (ValueIterator it(names); it != ValueIterator(); ++it) {
      std::string text;
      if (JsonGetString(*it, text)) document.display_name.emplace(it.Key().View(), std::move(text));
    }
  }
  ParsePackageRef(object["package"], document.package);
  ParseTags(object["tags"], document.tags);
  (void)JsonGetString(object["effective_date"], document.effective_date);
  out = std::move(document);
}

void ParseUpdateBase(const Value& value, std::optional<UpdateBase>& out) {
  if (!value.IsObject()) return;
  UpdateBase update;
  const Value base = value["base"];
  if (base.IsArray()) {
    for (ValueIterator it(base); it != ValueIterator(); ++it) ParseFrom(*it, update.base);
  }
  JsonGetOptionalInt(value["level"], update.level);
  out = std::move(update);
}

void ParseFrom(const Value& value, std::vector<BaseRange>& out) {
  BaseRange range;
  JsonGetOptionalInt(value["from"], range.from);
  JsonGetOptionalInt(value["to"], range.to);
  out.push_back(range);
}

void ParseRequirements(const Value& value, std::optional<Requirements>& out) {
  if (!value.IsObject()) return;
  Requirements requirements;
  ParseOsRequirements(value["os"], requirements.os);
  ParseOsRequirements(value["non_os"], requirements.non_os);
  const Value platforms = value["platform"];
  if (platforms.IsArray()) {
    for (ValueIterator it(platforms); it != ValueIterator(); ++it) {
      int32_t platform = 0;
      (void)JsonGetInt(*it, platform);
      requirements.platform.push_back(static_cast<HwPlatform>(platform));
    }
  }
  ParseVersionIdRanges(value["manager"], requirements.manager);
  ParseVersionIdRanges(value["package"], requirements.package);
  const Value eula = value["eula"];
  if (eula.IsObject()) {
    EulaRequirement requirement;
    ParsePackageRef(eula["package"], requirement.package);
    requirements.eula = std::move(requirement);
  }
  out = std::move(requirements);
}

void ParseOsRequirements(const Value& value, std::vector<OsRequirement>& out) {
  ParseObjectList(value, out, ParseOsRequirement);
}

void ParseOsRequirement(const Value& value, OsRequirement& out) {
  (void)JsonGetInt(value["type"], out.type);
  (void)JsonGetInt(value["family"], out.family);
  (void)JsonGetString(value["name"], out.name);
  (void)JsonGetInt(value["edition"], out.edition);
  JsonGetOptionalInt(value["version_from"], out.version_from);
  JsonGetOptionalInt(value["version_to"], out.version_to);
  JsonGetOptionalInt(value["bits"], out.bits);
}

void ParseVersionIdRanges(const Value& value, std::vector<Package>& out) {
  ParseObjectList(value, out, ParseVersionIdRange);
}

void ParseVersionIdRange(const Value& value, Package& out) {
  (void)JsonGetString(value["name"], out.name);
  JsonGetOptionalInt(value["version_id_from"], out.version_id_from);
  JsonGetOptionalInt(value["version_id_to"], out.version_id_to);
}

void ParsePackageRef(const Value& value, std::optional<Package>& out) {
  if (!value.IsObject()) return;
  Package package;
  ParseVersionIdRange(value, package);
  out = std::move(package);
}

void ParseDealId(const Value& value, std::optional<Token>& out) {
  if (!value.IsObject()) return;
  Token token;
  (void)JsonGetString(value["id"], token.id);
  (void)JsonGetString(value["deal_id"], token.deal_id);
  out = std::move(token);
}

}  // namespace Repository
