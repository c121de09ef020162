#include "updater/engine/servers/server_list.h"

#include <limits>

#include "platform/util/strings.h"

bool CDefServersArray::ContainsUrl(const char* url) const {
  if (url == nullptr) return false;
  for (const _DEF_SERVER& server : *this) {
    if (AsciiStrICmp(server.url, url) == 0) return true;
  }
  return false;
}

bool AddServer(CDefServersArray& servers, std::string_view url, uint32_t weight) {
  if (url.size() > kMaxServerUrl) return false;
  _DEF_SERVER server{};
  url.copy(server.url, url.size());
  server.weight = weight;
  servers.Add(server);
  return true;
}

void ToRunningTotals(CDefServersArray& servers) {
  uint32_t total = 0;
  for (_DEF_SERVER& server : servers) {
    const uint32_t room = std::numeric_limits<uint32_t>::max() - total;
    total += server.weight < room ? server.weight : room;
    server.weight = total;
  }
}

uint32_t TotalWeight(const CDefServersArray& servers) {
  return servers.IsEmpty() ? 0 : servers[servers.GetSize() - 1].weight;
}

uint32_t OwnWeight(const CDefServersArray& servers, int64_t index) {
  return index == 0 ? servers[0].weight : servers[index].weight - servers[index - 1].weight;
}

std::optional<int64_t> FindDrawnServer(const CDefServersArray& servers, uint32_t x) {
  for (int64_t i = 0; i < servers.GetSize(); ++i) {
    if (servers[i].weight > x) return i;
  }
  return std::nullopt;
}

void RemoveServerWeight(CDefServersArray& servers, int64_t index) {
  const uint32_t own = OwnWeight(servers, index);
  for (int64_t i = index; i < servers.GetSize(); ++i) servers[i].weight -= own;
}
