#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

#include "updater.h"
#include "updater/engine/session/download_session.h"
#include "updater/engine/session/host_fetch_config.h"

namespace {

struct SeenEvent {
  std::vector<UPD_SERVER_ADDRESS> entries;
  bool had_list = false;
  std::string url;
};

// Reads event 23 the way a host does: the count, then the entries after it.
uint32_t ReadServerEvent(uint32_t event, void* data, void* user) {
  if (event != UPD_EVENT_SERVER_ALLOWED) return 0;
  auto* seen = static_cast<SeenEvent*>(user);
  const auto* record = static_cast<const UPD_SERVER_ADDRESS_EVENT*>(data);
  seen->url = record->url;
  seen->had_list = record->addresses != nullptr;
  if (record->addresses == nullptr) return 0;
  const auto* entries = reinterpret_cast<const UPD_SERVER_ADDRESS*>(record->addresses + 1);
  seen->entries.assign(entries, entries + record->addresses->count);
  return 0;
}

TEST(EventRecords, HostReadsTheServerAddressList) {
  struct Case {
    const char* url;
    uint32_t family;
    uint32_t length;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"http://127.0.0.1:8080/a/update.ver", AF_INET, 4, {127, 0, 0, 1}},
      {"http://[::1]:8080/a/update.ver", AF_INET6, 16,
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const std::string cache = ::testing::TempDir() + "event_records_cache";
    CDownloadSession session(cache);
    ASSERT_TRUE(session.ParseUrl(c.url));
    SeenEvent seen;
    UPDATER_SETTINGS settings{};
    settings.eventCallback = ReadServerEvent;
    settings.userData = &seen;
    const CHostFetchEvents events(settings);
    EXPECT_FALSE(session.IsServerAddressRefused(&events, c.url));
    EXPECT_EQ(seen.url, c.url);
    ASSERT_TRUE(seen.had_list);
    ASSERT_EQ(seen.entries.size(), 1u);
    EXPECT_EQ(seen.entries[0].family, c.family);
    ASSERT_EQ(seen.entries[0].length, c.length);
    EXPECT_EQ(std::vector<uint8_t>(seen.entries[0].address, seen.entries[0].address + c.length),
              c.bytes);
  }
}

}  // namespace
