// The log text of a record: one "label: value" line per field, labels being
// the document's member names.
#include <type_traits>

#include "repository/client/app_update_record.h"

namespace Repository {
namespace {

class Dumper {
 public:
  explicit Dumper(std::ostream& out) : out_(out) {}

  template <typename T>
  void Line(const char* label, const T& value) {
    out_ << label << ": ";
    Write(value);
    out_ << '\n';
  }

  // An absent nested record gives its label alone; a present one its label
  // and then its own lines.
  template <typename T>
  void Nested(const char* label, const std::optional<T>& value) {
    out_ << label << ": \n";
    if (value.has_value()) Fields(*value);
  }

  void Fields(const Collection& c) {
    Line("id", c.id);
    Line("path", c.path);
    Line("format", c.format);
    Line("hash", c.hash);
    Line("hash_sha256", c.hash_sha256);
    Line("version", c.version);
    Line("version_id", c.version_id);
    Line("tags", c.tags);
  }
  void Fields(const Document& d) {
    Line("path", d.path);
    Line("type", d.type);
    Line("format", d.format);
    Line("version", d.version);
    Line("version_id", d.version_id);
    Line("hash", d.hash);
    Line("hash_sha256", d.hash_sha256);
    Line("language", d.language);
    Line("display_name", d.display_name);
    Nested("package", d.package);
    Line("tags", d.tags);
    Line("effective_date", d.effective_date);
  }
  void Fields(const UpdateBase& u) {
    Line("base", u.base);
    Line("level", u.level);
  }
  void Fields(const Requirements& r) {
    Line("os", r.os);
    Line("non_os", r.non_os);
    Line("platform", r.platform);
    Line("manager", r.manager);
    Line("package", r.package);
    Nested("eula", r.eula);
  }
  void Fields(const EulaRequirement& e) { Nested("package", e.package); }
  void Fields(const Package& p) {
    Line("name", p.name);
    Line("version_id_from", p.version_id_from);
    Line("version_id_to", p.version_id_to);
  }
  void Fields(const Token& t) {
    Line("id", t.id);
    Line("deal_id", t.deal_id);
  }

 private:
  void Write(const std::string& text) { out_ << text; }
  void Write(int64_t number) { out_ << number; }
  void Write(int32_t number) { out_ << number; }
  template <typename E>
  requires std::is_enum_v<E>
  void Write(E number) { out_ << static_cast<std::underlying_type_t<E>>(number); }
  template <typename T>
  void Write(const std::optional<T>& value) {
    if (value.has_value()) Write(*value);
  }
  // Lists as "[a,b]"; record items as their "label: value" pairs.
  template <typename T>
  void Write(const std::vector<T>& items) {
    out_ << '[';
    for (size_t i = 0; i < items.size(); ++i) {
      if (i != 0) out_ << ',';
      Write(items[i]);
    }
    out_ << ']';
  }
  void Write(const std::map<std::string, std::string>& names) {
    out_ << '[';
    bool first = true;
    for (const auto& [language, text] : names) {
      if (!first) out_ << ',';
      first = false;
      out_ << language << '=' << text;
    }
    out_ << ']';
  }
  void Write(const BaseRange& r) {
    out_ << "from: ";
    Write(r.from);
    out_ << " to: ";
    Write(r.to);
  }
  void Write(const Package& p) {
    out_ << "name: " << p.name << " version_id_from: ";
    Write(p.version_id_from);
    out_ << " version_id_to: ";
    Write(p.version_id_to);
  }
  void Write(const OsRequirement& o) {
    out_ << "type: " << o.type << " family: " << o.family << " name: " << o.name
         << " edition: " << o.edition << " version_from: ";
    Write(o.version_from);
    out_ << " version_to: ";
    Write(o.version_to);
    out_ << " bits: ";
    Write(o.bits);
  }

  std::ostream& out_;
};

}  // namespace

void DumpPackageInfo(std::ostream& out, const AppUpdateRecord& record) {
  Dumper dump(out);
  dump.Line("id", record.id);
  dump.Line("path", record.path);
  dump.Line("display_name", record.display_name);
  dump.Line("description", record.description);
  dump.Line("version", record.version);
  dump.Line("version_id", record.version_id);
  dump.Line("date", record.date);
  dump.Line("dev_stage", record.dev_stage);
  dump.Line("size", record.size);
  dump.Line("hash", record.hash);
  dump.Line("hash_sha256", record.hash_sha256);
  dump.Line("language", record.language);
  dump.Line("format", record.format);
  dump.Nested("eula", record.eula);
  dump.Nested("changelog", record.changelog);
  dump.Line("eol", record.eol);
  dump.Line("legacy", record.legacy);
  dump.Nested("update", record.update);
  dump.Nested("dependencies", record.dependencies);
  dump.Line("tags", record.tags);
  dump.Nested("token", record.token);
  dump.Line("severity", record.severity);
}

}  // namespace Repository
