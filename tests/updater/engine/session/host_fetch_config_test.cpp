#include "updater/engine/session/host_fetch_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"
#include "testhost/event_host.h"

// The fetch configuration as the host's record gives it, and its events as
// the host's callback receives them.
namespace {

using upd::testhost::EventHost;

TEST(FetchConfigOfTest, TakesTheProxyCredentialsAndSpreadFlagFromTheRecord) {
  EventHost host;
  UPDATER_SETTINGS* settings = host.settings();
  settings->proxyEnabled = 2;
  std::strcpy(settings->proxyHost, "proxy.example");
  settings->proxyPort = 3128;
  std::strcpy(settings->proxyUserName, "puser");
  std::strcpy(settings->proxyPassword, "ppass");
  settings->proxyDirectRetry = 5;
  std::strcpy(settings->serverUserName, "suser");
  std::strcpy(settings->serverPassword, "spass");
  settings->spreadControl = 7;

  const FetchConfig config = FetchConfigOf(settings);
  EXPECT_TRUE(config.proxy.enabled);
  EXPECT_EQ(config.proxy.host, "proxy.example");
  EXPECT_EQ(config.proxy.port, 3128u);
  EXPECT_EQ(config.proxy.user, "puser");
  EXPECT_EQ(config.proxy.password, "ppass");
  EXPECT_TRUE(config.proxy.direct_retry);
  EXPECT_EQ(config.server_user, "suser");
  EXPECT_EQ(config.server_password, "spass");
  EXPECT_TRUE(config.spread_control);
  EXPECT_NE(config.events, nullptr);
}

TEST(FetchConfigOfTest, AFieldWithoutItsNulEndsWithTheField) {
  EventHost host;
  UPDATER_SETTINGS* settings = host.settings();
  std::memset(settings->proxyHost, 'h', sizeof settings->proxyHost);
  std::memset(settings->proxyUserName, 'u', sizeof settings->proxyUserName);
  std::memset(settings->proxyPassword, 'p', sizeof settings->proxyPassword);
  std::memset(settings->serverPassword, 's', sizeof settings->serverPassword);
  const FetchConfig config = FetchConfigOf(settings);
  EXPECT_EQ(config.proxy.host, std::string(sizeof settings->proxyHost, 'h'));
  EXPECT_EQ(config.proxy.user, std::string(sizeof settings->proxyUserName, 'u'));
  EXPECT_EQ(config.proxy.password, std::string(sizeof settings->proxyPassword, 'p'));
  EXPECT_EQ(config.server_password, std::string(sizeof settings->serverPassword, 's'));
}

TEST(FetchConfigOfTest, NoRecordOrNoCallbackRaisesNothing) {
  const FetchConfig none = FetchConfigOf(nullptr);
  EXPECT_FALSE(none.proxy.enabled);
  EXPECT_TRUE(none.proxy.host.empty());
  EXPECT_TRUE(none.server_user.empty());
  EXPECT_EQ(none.events, nullptr);

  EventHost host;
  host.settings()->eventCallback = nullptr;
  host.settings()->proxyEnabled = 1;
  const FetchConfig silent = FetchConfigOf(host.settings());
  EXPECT_TRUE(silent.proxy.enabled);
  EXPECT_EQ(silent.events, nullptr);
}

TEST(HostFetchEventsTest, StatusAndFileEventsReachTheHostAsItsRecords) {
  EventHost host;
  const FetchConfig config = FetchConfigOf(host.settings());
  ASSERT_NE(config.events, nullptr);
  config.events->Status(9, 1, 0);
  config.events->File(9, 1, 4096, "a.bin");
  config.events->File(9, 1, 12, nullptr);

  ASSERT_EQ(host.events().size(), 3u);
  for (const auto& e : host.events()) EXPECT_EQ(e.user, host.settings()->userData);
  EXPECT_EQ(host.events()[0].event, static_cast<uint32_t>(UPD_EVENT_STATUS));
  const auto status = host.events()[0].As<UPD_STATUS_EVENT>();
  EXPECT_EQ(status.kind, 1u);
  EXPECT_EQ(status.value, 0u);
  EXPECT_EQ(status.word, 9u);
  EXPECT_EQ(host.events()[1].event, static_cast<uint32_t>(UPD_EVENT_FILE));
  const auto file = host.events()[1].As<UPD_FILE_EVENT>();
  EXPECT_EQ(file.kind, 1u);
  EXPECT_EQ(file.value, 4096u);
  EXPECT_STREQ(file.name, "a.bin");
  EXPECT_EQ(file.word, 9u);
  EXPECT_STREQ(host.events()[2].As<UPD_FILE_EVENT>().name, "");
}

TEST(HostFetchEventsTest, TheUserAgentComesThroughTheStringOrTheBlock) {
  struct Case {
    const char* name;
    bool into_string;
    bool mirror_enabled;
  };
  for (const Case& c : {Case{"string", true, false}, Case{"block", false, true}}) {
    SCOPED_TRACE(c.name);
    EventHost host;
    host.mirror_settings()->enabled = c.mirror_enabled ? 1 : 0;
    uint8_t seen_mirror = 0xFF;
    host.OnEvent(UPD_EVENT_USER_AGENT, [&](uint32_t, void* data) {
      auto* record = static_cast<UPD_USER_AGENT_EVENT*>(data);
      seen_mirror = record->mirrorEnabled;
      if (c.into_string) {
        (void)HostStringAppend(record->userAgent, 6, "agent1");
      } else {
        std::strcpy(record->text, "agent2");
      }
      return 0u;
    });
    HOST_STRING agent;
    HostStringInit(&agent, &DefaultResultAllocator);
    FetchConfigOf(host.settings()).events->AskUserAgent(&agent);
    EXPECT_EQ(HostStringView(&agent), c.into_string ? "agent1" : "agent2");
    EXPECT_EQ(seen_mirror, c.mirror_enabled ? 1 : 0);
    HostStringFree(&agent);
  }
}

TEST(HostFetchEventsTest, OnlyAnAnswerOfOneRefusesAServer) {
  for (const uint32_t answer : {0u, 1u, 2u}) {
    SCOPED_TRACE(answer);
    EventHost host;
    host.Answer(UPD_EVENT_SERVER_ALLOWED, answer);
    UPD_SERVER_ADDRESS_EVENT event{};
    std::strcpy(event.url, "http://srv/x");
    EXPECT_EQ(FetchConfigOf(host.settings()).events->RefusesServer(&event), answer == 1);
    ASSERT_EQ(host.EventsOf(UPD_EVENT_SERVER_ALLOWED).size(), 1u);
  }
}

}  // namespace
