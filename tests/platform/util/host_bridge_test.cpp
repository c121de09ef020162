#include "platform/util/host_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "platform/util/host_binding.h"

namespace {

using upd::testhost::EventHost;
using upd::testhost::RecordedEvent;

TEST(HostBridge, WithoutCallbackNothingIsSentAndDefaultsAnswer) {
  EventHost host;
  UPDATER_SETTINGS* settings = host.settings();
  settings->eventCallback = nullptr;
  settings->confirmLargeDownload = 1;
  for (const UPDATER_SETTINGS* s : {static_cast<const UPDATER_SETTINGS*>(settings),
                                    static_cast<const UPDATER_SETTINGS*>(nullptr)}) {
    EXPECT_FALSE(HasHostCallback(s));
    NotifyHostStatus(1, s, 2, 3);
    NotifyHostFile(1, s, 2, 3, "name");
    NotifyHostInstallResult(s, 9);
    EXPECT_EQ(ConfirmLargeDownload(s, uint64_t{1} << 40), 1u);
    const ENGINE_DISPATCH pair26 = NotifyHostEngineForFolder(s, "/opt/engine");
    const ENGINE_DISPATCH pair28 = NotifyHostEngine(s);
    EXPECT_EQ(pair26.hostWord, 0u);
    EXPECT_EQ(pair26.entry, nullptr);
    EXPECT_EQ(pair28.hostWord, 0u);
    EXPECT_EQ(pair28.entry, nullptr);
    ENGINE_DISPATCH pair{};
    NotifyHostEngineForFolderEnd(s, &pair);
    NotifyHostEngineEnd(s, &pair);
  }
  HostBinding context;
  context.settings = settings;
  char buffer[128] = {};
  EXPECT_FALSE(NotifyHostDealId(&context, buffer));
  EXPECT_FALSE(NotifyHostOsInfo(&context, buffer));
  EXPECT_FALSE(NotifyHostDealId(nullptr, buffer));
  EXPECT_TRUE(host.events().empty());
}

TEST(HostBridge, StatusRecordIsZeroFilledWithItsFields) {
  EventHost host;
  ASSERT_TRUE(HasHostCallback(host.settings()));
  NotifyHostStatus(0xAABBCCDD, host.settings(), 2, 0x1122334455667788);
  ASSERT_EQ(host.events().size(), 1u);
  const RecordedEvent& e = host.events()[0];
  EXPECT_EQ(e.event, 2u);
  EXPECT_EQ(e.user, &host);
  const std::vector<uint8_t> expected = {2,    0,    0,    0,    0,    0,    0,
                                         0,    0x88, 0x77, 0x66, 0x55, 0x44, 0x33,
                                         0x22, 0x11, 0xDD, 0xCC, 0xBB, 0xAA};
  EXPECT_EQ(e.record, expected);
}

TEST(HostBridge, FileRecordCutsLongNames) {
  EventHost host;
  const std::string long_name(5000, 'n');
  NotifyHostFile(7, host.settings(), 1, 4096, long_name.c_str());
  NotifyHostFile(8, host.settings(), 2, 1, nullptr);
  ASSERT_EQ(host.events().size(), 2u);
  const auto first = host.events()[0].As<UPD_FILE_EVENT>();
  EXPECT_EQ(host.events()[0].record.size(), 4124u);
  EXPECT_EQ(first.kind, 1u);
  EXPECT_EQ(first.value, 4096u);
  EXPECT_EQ(first.word, 7u);
  EXPECT_EQ(first.reserved4, 0u);
  EXPECT_EQ(first.reserved16, 0u);
  EXPECT_EQ(std::string(first.name, UPD_PATH_SIZE - 1), long_name.substr(0, 4095));
  EXPECT_EQ(first.name[4095], '\0');
  const auto second = host.events()[1].As<UPD_FILE_EVENT>();
  EXPECT_EQ(second.word, 8u);
  EXPECT_TRUE(std::all_of(std::begin(second.name), std::end(second.name),
                          [](char c) { return c == '\0'; }));
}

TEST(HostBridge, InstallResultAndMirrorAgreementEvents) {
  EventHost host;
  NotifyHostInstallResult(host.settings(), 0x4001);
  ASSERT_EQ(host.events().size(), 1u);
  EXPECT_EQ(host.events()[0].event, 7u);
  EXPECT_EQ(host.events()[0].As<uint32_t>(), 0x4001u);

  NotifyMirrorAgreementPending(host.mirror_settings());
  ASSERT_EQ(host.mirror_events().size(), 1u);
  EXPECT_EQ(host.mirror_events()[0].event, 5u);
  EXPECT_FALSE(host.mirror_events()[0].has_data);
  EXPECT_EQ(host.mirror_events()[0].user, &host);

  host.mirror_settings()->callback = nullptr;
  NotifyMirrorAgreementPending(host.mirror_settings());
  NotifyMirrorAgreementPending(nullptr);
  EXPECT_EQ(host.mirror_events().size(), 1u);
}

TEST(ConfirmLargeDownload, AsksOnlyAboveTheLimit) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  const struct {
    const char* name;
    uint32_t confirm;
    uint32_t limit_kib;
    uint64_t size;
    uint32_t host_answer;
    bool asked;
    uint32_t result;
    uint32_t sent_size;
  } kCases[] = {
      {"at the limit", 1, 1024, 1048576, 0, false, 1, 0},
      {"one byte over, host declines", 1, 1024, 1048577, 0, true, 0, 1048577},
      {"one byte over, host agrees", 1, 1024, 1048577, 5, true, 5, 1048577},
      {"2 GiB", 1, 1024, 2 * kGiB, 0, true, 0, 0x80000000},
      {"3 GiB", 1, 1024, 3 * kGiB, 1, true, 1, 0xC0000000},
      {"above 4 GiB the size saturates", 1, 1024, 5 * kGiB, 1, true, 1, 0xFFFFFFFF},
      {"2 GiB limit, small file", 1, 0x200000, 1, 0, false, 1, 0},
      {"2 GiB limit, exactly 2 GiB", 1, 0x200000, 2 * kGiB, 0, false, 1, 0},
      {"2 GiB limit, one byte over", 1, 0x200000, 2 * kGiB + 1, 0, true, 0, 0x80000001},
      {"largest limit", 1, 0xFFFFFFFF, uint64_t{0xFFFFFFFF} << 10, 0, false, 1, 0},
      {"largest limit, one byte over", 1, 0xFFFFFFFF, (uint64_t{0xFFFFFFFF} << 10) + 1, 9, true, 9,
       0xFFFFFFFF},
      {"zero limit", 1, 0, 1, 3, true, 3, 1},
      {"switch off", 0, 0, 5 * kGiB, 0, false, 1, 0},
  };
  for (const auto& c : kCases) {
    EventHost host;
    host.settings()->confirmLargeDownload = c.confirm;
    host.settings()->largeDownloadLimitKiB = c.limit_kib;
    host.settings()->confirmWord1 = 0x11;
    host.settings()->confirmWord2 = 0x22;
    host.Answer(UPD_EVENT_CONFIRM_DOWNLOAD, c.host_answer);
    EXPECT_EQ(ConfirmLargeDownload(host.settings(), c.size), c.result) << c.name;
    ASSERT_EQ(host.events().size(), c.asked ? 1u : 0u) << c.name;
    if (!c.asked) continue;
    EXPECT_EQ(host.events()[0].event, 20u);
    const auto record = host.events()[0].As<UPD_CONFIRM_DOWNLOAD_EVENT>();
    EXPECT_EQ(host.events()[0].record.size(), 12u);
    EXPECT_EQ(record.size, c.sent_size) << c.name;
    EXPECT_EQ(record.confirmWord1, 0x11u);
    EXPECT_EQ(record.confirmWord2, 0x22u);
  }
}

// The UTF-16 text that iconv makes of the same UTF-8 text.
std::u16string IconvUtf16(const std::string& utf8) {
  upd::test::TempDir dir;
  upd::test::WriteFile(dir.file("in"), utf8);
  const std::string command =
      "iconv -f UTF-8 -t UTF-16LE '" + dir.file("in") + "' > '" + dir.file("out") + "'";
  if (upd::test::RunCommand(command) != 0) return u"<iconv failed>";
  const std::string bytes = upd::test::ReadFile(dir.file("out"));
  std::u16string units;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) |
                                          static_cast<uint8_t>(bytes[i + 1]) << 8));
  }
  return units;
}

TEST(HostBridge, EngineFolderTravelsAsUtf16EndingInSlash) {
  const struct {
    std::string folder;
    std::string sent;
  } kCases[] = {
      {"/opt/engine", "/opt/engine/"},
      {"/opt/engine/", "/opt/engine/"},
      {"/srv/m\xC3\xB3"
       "dulos/\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80",
       "/srv/m\xC3\xB3"
       "dulos/\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80/"},
      {"", ""},
      {std::string(4094, 'a'), std::string(4094, 'a') + "/"},
      {std::string(4095, 'a'), std::string(4095, 'a')},
      {std::string(5000, 'a'), std::string(4095, 'a')},
  };
  for (const auto& c : kCases) {
    EventHost host;
    const ENGINE_DISPATCH pair = NotifyHostEngineForFolder(host.settings(), c.folder.c_str());
    EXPECT_EQ(pair.entry, nullptr);
    ASSERT_EQ(host.events().size(), 1u);
    const RecordedEvent& e = host.events()[0];
    EXPECT_EQ(e.event, 26u);
    ASSERT_EQ(e.folder_buffer.size(), 4096u);
    const std::u16string sent = e.Folder();
    EXPECT_EQ(sent, IconvUtf16(c.sent)) << c.folder.substr(0, 40);
    EXPECT_TRUE(std::all_of(e.folder_buffer.begin() + static_cast<ptrdiff_t>(sent.size()),
                            e.folder_buffer.end(), [](char16_t u) { return u == 0; }));
  }
}

uint32_t UPD_MSABI DummyEntry(uint32_t, ...) { return 0; }

TEST(HostBridge, EnginePairsComeFromTheHostAndGoBack) {
  EventHost host;
  const ENGINE_DISPATCH offered{0x1234, &DummyEntry};
  host.ProvideEngine(UPD_EVENT_ENGINE_FOR_FOLDER, offered);
  host.ProvideEngine(UPD_EVENT_ENGINE, {0x5678, &DummyEntry});

  ENGINE_DISPATCH pair26 = NotifyHostEngineForFolder(host.settings(), "/e");
  EXPECT_EQ(pair26.hostWord, 0x1234u);
  EXPECT_EQ(pair26.entry, &DummyEntry);
  ENGINE_DISPATCH pair28 = NotifyHostEngine(host.settings());
  EXPECT_EQ(pair28.hostWord, 0x5678u);
  NotifyHostEngineForFolderEnd(host.settings(), &pair26);
  NotifyHostEngineEnd(host.settings(), &pair28);

  ASSERT_EQ(host.events().size(), 4u);
  const std::vector<uint32_t> ids = {host.events()[0].event, host.events()[1].event,
                                     host.events()[2].event, host.events()[3].event};
  EXPECT_EQ(ids, (std::vector<uint32_t>{26, 28, 27, 29}));
  EXPECT_NE(host.events()[1].As<UPD_ENGINE_REQUEST_EVENT>().dispatch, nullptr);
  EXPECT_EQ(host.events()[2].As<UPD_ENGINE_RELEASE_EVENT>().dispatch, &pair26);
  EXPECT_EQ(host.events()[3].As<UPD_ENGINE_RELEASE_EVENT>().dispatch, &pair28);
}

TEST(HostBridge, EngineRequestPairStartsZeroed) {
  EventHost host;
  bool zero_on_arrival = false;
  host.OnEvent(UPD_EVENT_ENGINE, [&](uint32_t, void* data) -> uint32_t {
    const ENGINE_DISPATCH* pair = static_cast<UPD_ENGINE_REQUEST_EVENT*>(data)->dispatch;
    zero_on_arrival = pair->hostWord == 0 && pair->entry == nullptr;
    return 0;
  });
  (void)NotifyHostEngine(host.settings());
  EXPECT_TRUE(zero_on_arrival);
}

TEST(HostBridge, DealAndSystemEventsUseTheContextsSettings) {
  EventHost host;
  HostBinding context;
  context.settings = host.settings();
  char deal[128] = "deal";
  char system[208] = "system";
  EXPECT_TRUE(NotifyHostDealId(&context, deal));
  host.Answer(UPD_EVENT_OS_INFO, 1);
  EXPECT_FALSE(NotifyHostOsInfo(&context, system));
  ASSERT_EQ(host.events().size(), 2u);
  EXPECT_EQ(host.events()[0].event, 30u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(host.events()[0].record.data())), "deal");
  EXPECT_EQ(host.events()[1].event, 31u);
  EXPECT_EQ(host.events()[1].record.size(), 208u);

  context.settings = nullptr;
  EXPECT_FALSE(NotifyHostDealId(&context, deal));
  EXPECT_EQ(host.events().size(), 2u);
}

}  // namespace
