#include "updater/engine/install/pcu_installer.h"

#include <gtest/gtest.h>

#include <string>

#include "testhost/event_host.h"

namespace {

using upd::testhost::EventHost;

TEST(PcuInstaller, HandsThePackageToTheHostAndPassesItsAnswerBack) {
  EventHost host;
  PcuManager manager;
  ASSERT_NE(manager.installer(), nullptr);

  std::string seen;
  host.OnEvent(UPD_EVENT_INSTALL_PACKAGE, [&](uint32_t, void* data) {
    seen = static_cast<UPD_INSTALL_PACKAGE_EVENT*>(data)->packagePath;
    return 0x5008u;
  });
  EXPECT_EQ(manager.installer()->Install(host.settings(), "/tmp/PCU.abc123"), 0x5008u);
  EXPECT_EQ(seen, "/tmp/PCU.abc123");
  ASSERT_EQ(host.EventsOf(UPD_EVENT_INSTALL_PACKAGE).size(), 1u);
  EXPECT_EQ(host.events().back().user, host.settings()->userData);

  host.Answer(UPD_EVENT_INSTALL_PACKAGE, 0);
  EXPECT_EQ(manager.installer()->Install(host.settings(), "/tmp/p"), 0u);
}

TEST(PcuInstaller, WithoutSettingsOrCallbackTheHostIsNotAsked) {
  EventHost host;
  UnixPcuInstaller installer;
  EXPECT_EQ(installer.Install(nullptr, "/tmp/p"), 0x1301u);
  UPDATER_SETTINGS settings = *host.settings();
  settings.eventCallback = nullptr;
  EXPECT_EQ(installer.Install(&settings, "/tmp/p"), 0x1301u);
  EXPECT_TRUE(host.events().empty());
}

}  // namespace
