#include "updater/engine/servers/server_formats.h"

#include <optional>
#include <string>
#include <string_view>

#include "platform/util/path_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/url_helpers.h"
#include "updater/engine/servers/server_tokens.h"

namespace {

constexpr char kServersSection[] = "SERVERS";
constexpr char kServersKey[] = "list";
constexpr char kLinksSection[] = "LINKS";
constexpr char kHostsSection[] = "HOSTS";

// The URL the catalogue came from and its server root, against which the
// listed servers are resolved.
class ServerBase {
 public:
  explicit ServerBase(const char* base_url) : given_(base_url != nullptr) {
    if (!given_) return;
    SafeStrCopy(url_, sizeof url_, base_url);
    GetServerRoot(url_, sizeof url_, root_, sizeof root_);
  }

  // Appends url resolved against the base, unless it does not fit a record.
  void Add(std::string_view url, uint32_t weight, CDefServersArray* out) const {
    char resolved[kPathSize];
    if (url.size() >= sizeof resolved) return;
    SafeStrNCopy(resolved, sizeof resolved, url.data(), url.size());
    ResolvePath(resolved, sizeof resolved, given_ ? url_ : nullptr, given_ ? root_ : nullptr);
    static_cast<void>(AddServer(*out, resolved, weight));
  }

 private:
  bool given_;
  char url_[kPathSize] = {};
  char root_[kPathSize] = {};
};

// A value as the profile reader gives it: without surrounding double quotes
// and cut to the longest list text.
std::string Unquoted(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value.substr(0, kMaxServerListText));
}

std::optional<std::string> ValueOf(const CProfileFile& file, std::string_view section,
                                   std::string_view key) {
  const CProfileSection* found = file.FindSection(section);
  const char* value = found != nullptr ? found->GetValue(key, nullptr) : nullptr;
  if (value == nullptr) return std::nullopt;
  return Unquoted(value);
}

void AddLinks(const std::string& servers, const std::string& link, const ServerBase& base,
              CDefServersArray* out) {
  for (const ServerToken& token : ParseServerTokens(servers)) {
    base.Add(std::string(token.server) + link, token.weight, out);
  }
}

void AddHosts(const std::string& hosts, const ServerBase& base, CDefServersArray* out) {
  for (const ServerToken& token : ParseServerTokens(hosts))
    base.Add(token.server, token.weight, out);
}

// The values of every key of section, in file order.
template <typename Visit>
void ForEachValue(const CProfileFile& file, std::string_view section, Visit&& visit) {
  const CProfileSection* found = file.FindSection(section);
  if (found == nullptr) return;
  for (uint32_t i = 0; i < found->GetKeyCount(); ++i) visit(Unquoted(found->GetValueAt(i)));
}

}  // namespace

bool CLinksServerFormat::Parse(const CProfileFile& catalogue, const char* name,
                               const char* base_url, CDefServersArray* out) const {
  if (name == nullptr || out == nullptr) return false;
  const std::optional<std::string> link = ValueOf(catalogue, kLinksSection, name);
  const std::optional<std::string> servers = ValueOf(catalogue, kServersSection, kServersKey);
  if (!link || !servers) return false;
  AddLinks(*servers, *link, ServerBase(base_url), out);
  return true;
}

void CLinksServerFormat::ParseAll(const CProfileFile& catalogue, const char* base_url,
                                  CDefServersArray* out) const {
  if (out == nullptr) return;
  const std::optional<std::string> servers = ValueOf(catalogue, kServersSection, kServersKey);
  if (!servers) return;
  const ServerBase base(base_url);
  ForEachValue(catalogue, kLinksSection,
               [&](const std::string& link) { AddLinks(*servers, link, base, out); });
}

bool CHostsServerFormat::Parse(const CProfileFile& catalogue, const char* name,
                               const char* base_url, CDefServersArray* out) const {
  if (name == nullptr || out == nullptr) return false;
  const std::optional<std::string> hosts = ValueOf(catalogue, kHostsSection, name);
  if (!hosts) return false;
  AddHosts(*hosts, ServerBase(base_url), out);
  return !out->IsEmpty();
}

void CHostsServerFormat::ParseAll(const CProfileFile& catalogue, const char* base_url,
                                  CDefServersArray* out) const {
  if (out == nullptr) return;
  const ServerBase base(base_url);
  ForEachValue(catalogue, kHostsSection,
               [&](const std::string& hosts) { AddHosts(hosts, base, out); });
}
