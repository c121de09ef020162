// Fuzzes the server lists of a catalogue. An input is the INI text of an
// "update.ver"; the token reader runs over the raw text, and the group lists
// of both forms are read from the catalogue parsed from it. Every server
// must fit its record, running totals must never fall along a list, and a
// roulette must give each server with weight at most once.
// server_list_fuzz_seeds.sh writes catalogues with the lists servers send.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/store/profile_file.h"
#include "updater/engine/servers/server_formats.h"
#include "updater/engine/servers/server_groups.h"
#include "updater/engine/servers/server_roulette.h"
#include "updater/engine/servers/server_tokens.h"

namespace {

void Check(const CDefServersArray& servers) {
  for (const _DEF_SERVER& server : servers) {
    if (strnlen(server.url, sizeof server.url) > kMaxServerUrl) std::abort();
  }
}

void Drain(CDefServersArray servers) {
  const int64_t size = servers.GetSize();
  uint32_t x = 0;
  CServerRoulette roulette(std::move(servers), [&x](uint32_t total) { return x++ % total; });
  for (int64_t i = 1; i < roulette.servers().GetSize(); ++i) {
    if (roulette.servers()[i].weight < roulette.servers()[i - 1].weight) std::abort();
  }
  int64_t picks = 0;
  while (roulette.PickServer() != nullptr) {
    if (++picks > size) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const ServerToken& token : ParseServerTokens(text)) {
    if (token.server.data() < text.data() || token.server.end() > text.end()) std::abort();
  }
  CProfileFile ini;
  static_cast<void>(ini.ParseText(text));
  for (const char* group : {"Release", "Prerelease", ""}) {
    CDefServersArray servers;
    static_cast<void>(
        BuildServerGroupName(ini, 0, group, "http://origin.test/dir/", nullptr, servers));
    Check(servers);
    Drain(std::move(servers));
  }
  CDefServersArray all;
  CLinksServerFormat().ParseAll(ini, "//share/base/", &all);
  CHostsServerFormat().ParseAll(ini, nullptr, &all);
  Check(all);
  Drain(std::move(all));
  return 0;
}
