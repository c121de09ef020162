#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// What a repository document says about one application package or one
// collection file. Every field is optional in the document: text fields stay
// empty, numbers 0, optionals absent and lists empty when it is not given.

namespace Repository {

// The repository's package format number; the client tells supported
// formats from the others.
enum class ResourceFormat : int32_t {};
// A hardware platform number of a requirement.
enum class HwPlatform : int32_t {};

// A package named with a range of version numbers.
struct Package {
  std::string name;
  std::optional<int64_t> version_id_from;
  std::optional<int64_t> version_id_to;
};

// A licence-agreement collection ("collection" object of a member named by
// "eula").
struct Collection {
  std::string id;
  std::string path;
  ResourceFormat format{};
  std::string hash;
  std::optional<std::string> hash_sha256;
  std::optional<std::string> version;
  std::optional<int64_t> version_id;
  std::vector<std::string> tags;
};

// A document such as the change log ("document" object of a member named by
// "changelog").
struct Document {
  std::string path;
  int32_t type = 0;
  int32_t format = 0;
  std::optional<std::string> version;
  std::optional<int64_t> version_id;
  std::string hash;
  std::optional<std::string> hash_sha256;
  std::vector<std::string> language;
  // Language to text; the first text of a language counts.
  std::map<std::string, std::string> display_name;
  std::optional<Package> package;
  std::vector<std::string> tags;
  std::string effective_date;
};

// One range of installed versions an update applies to.
struct BaseRange {
  std::optional<int64_t> from;
  std::optional<int64_t> to;
};

struct UpdateBase {
  std::vector<BaseRange> base;
  std::optional<int64_t> level;
};

struct OsRequirement {
  int32_t type = 0;
  int32_t family = 0;
  std::string name;
  int32_t edition = 0;
  std::optional<int64_t> version_from;
  std::optional<int64_t> version_to;
  std::optional<int64_t> bits;
};

struct EulaRequirement {
  std::optional<Package> package;
};

struct Requirements {
  std::vector<OsRequirement> os;
  std::vector<OsRequirement> non_os;
  std::vector<HwPlatform> platform;
  std::vector<Package> manager;
  std::vector<Package> package;
  std::optional<EulaRequirement> eula;
};

struct Token {
  std::string id;
  std::string deal_id;
};

}  // namespace Repository

// One application package (or collection file) of a repository document.
struct AppUpdateRecord {
  std::string id;
  std::string path;  // the package's place in the repository
  std::string display_name;
  std::optional<std::string> description;
  std::string version;
  int64_t version_id = 0;  // the comparable version number
  int64_t date = 0;
  std::optional<int32_t> dev_stage;
  int64_t size = 0;
  std::string hash;  // hexadecimal SHA-1 of the package
  std::optional<std::string> hash_sha256;
  std::vector<std::string> language;
  Repository::ResourceFormat format{};
  std::optional<Repository::Collection> eula;
  std::optional<Repository::Document> changelog;
  std::optional<int64_t> eol;
  std::optional<int64_t> legacy;
  std::optional<Repository::UpdateBase> update;
  std::optional<Repository::Requirements> dependencies;
  std::vector<std::string> tags;
  std::optional<Repository::Token> token;
  // Not from the resource: the severity of the decision-tree result that
  // named it.
  int32_t severity = 0;
};

namespace Repository {

// The record as "label: value" lines (member names as labels) for the log.
void DumpPackageInfo(std::ostream& out, const AppUpdateRecord& record);

}  // namespace Repository
