#include <sys/socket.h>

#include <cstring>
#include <optional>
#include <vector>

#include "platform/os/os_resolve.h"
#include "platform/util/strings.h"
#include "platform/util/url_helpers.h"
#include "updater/engine/session/download_session.h"

namespace {

struct AddrListDeleter {
  void operator()(OS_ADDR* list) const { OsAddrListFree(list); }
};

// The entry of an IPv4 or IPv6 address; false for another family.
bool ToServerAddress(const OS_ADDR* entry, UPD_SERVER_ADDRESS* out) {
  uint16_t port = 0;
  if (const uint8_t* v4 = OsAddrGetIPv4(entry, &port); v4 != nullptr) {
    *out = {AF_INET, 4, {}};
    std::memcpy(out->address, v4, 4);
    return true;
  }
  if (const uint8_t* v6 = OsAddrGetIPv6(entry, &port); v6 != nullptr) {
    *out = {AF_INET6, 16, {}};
    std::memcpy(out->address, v6, 16);
    return true;
  }
  return false;
}

// Event 23's list record: the count, then the entries, in one block that
// keeps the count's alignment.
std::vector<uint64_t> ListRecord(const std::vector<UPD_SERVER_ADDRESS>& entries) {
  static_assert(sizeof(UPD_SERVER_ADDRESS) % sizeof(uint64_t) == 0);
  constexpr size_t kWordsPerEntry = sizeof(UPD_SERVER_ADDRESS) / sizeof(uint64_t);
  std::vector<uint64_t> record(1 + entries.size() * kWordsPerEntry);
  record[0] = entries.size();
  if (!entries.empty()) {
    std::memcpy(record.data() + 1, entries.data(), entries.size() * sizeof(UPD_SERVER_ADDRESS));
  }
  return record;
}

}  // namespace

std::optional<std::vector<UPD_SERVER_ADDRESS>> CDownloadSession::ResolveServerAddresses(
    const char* host) {
  if (host == nullptr) return std::nullopt;
  char name[kHostSize] = {};
  const uint32_t port = SplitHostPort(host, name, sizeof name);
  const std::unique_ptr<OS_ADDR, AddrListDeleter> list(
      OsResolveAddress(name, static_cast<int>(port), kOsResolveStream));
  if (!list) return std::nullopt;
  std::vector<UPD_SERVER_ADDRESS> known;
  size_t others = 0;
  for (const OS_ADDR* entry = list.get(); entry != nullptr; entry = OsAddrListNext(entry)) {
    UPD_SERVER_ADDRESS address{};
    if (ToServerAddress(entry, &address)) {
      known.push_back(address);
    } else {
      ++others;
    }
  }
  known.resize(known.size() + others);
  return known;
}

bool CDownloadSession::IsServerAddressRefused(const IFetchEvents* events, const char* url) {
  const std::optional<std::vector<UPD_SERVER_ADDRESS>> addresses = ResolveServerAddresses(host);
  const bool listed = addresses.has_value() && !addresses->empty();
  AddressKey key{};
  if (listed) {
    std::memcpy(key.data(), addresses->front().address, key.size());
    if (const auto found = verdicts_.find(key); found != verdicts_.end()) {
      return found->second.refused;
    }
  }
  std::vector<uint64_t> record;
  if (addresses) record = ListRecord(*addresses);
  UPD_SERVER_ADDRESS_EVENT event{};
  event.addresses =
      addresses ? reinterpret_cast<const UPD_SERVER_ADDRESS_LIST*>(record.data()) : nullptr;
  SafeStrCopy(event.url, sizeof event.url, url != nullptr ? url : "");
  const bool refused = events != nullptr && events->RefusesServer(&event);
  if (listed) verdicts_[key] = Verdict{addresses->front(), refused};
  return refused;
}
