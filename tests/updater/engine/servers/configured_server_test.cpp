#include "updater/engine/servers/configured_server.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "server_fixture.h"

namespace upd::test {
namespace {

using ConfiguredServer = ServerTest;

template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  std::memset(field, 0, N);
  text.copy(field, N - 1);
}

TEST_F(ConfiguredServer, AutoSelectWords) {
  for (const char* word : {"AUTOSELECT", "autoselect", "AutoSelect", "auto", "AUTO"}) {
    EXPECT_TRUE(IsAutoSelectServer(word)) << word;
  }
  for (const char* word : {"", "autos", "http://auto/", " auto"}) {
    EXPECT_FALSE(IsAutoSelectServer(word)) << word;
  }
  EXPECT_FALSE(IsAutoSelectServer(nullptr));
}

TEST_F(ConfiguredServer, ResolveServerUrl) {
  const struct {
    const char* server;
    const char* second;
    const char* suffix;
    const char* expected;
  } cases[] = {
      {"http://srv/upd", "http://second/", "", "http://srv/upd/"},
      {"http://srv/upd/", "", "pico", "http://srv/upd/pico/"},
      {"\\\\share\\mirror", "", "dll", "//share/mirror/dll/"},
      {"c:\\mirror\\", "", "sub\\x", "c:/mirror/sub/x/"},
      {"AUTOSELECT", "http://second/upd", "pico", "http://second/upd/pico/"},
      {"auto", "http://second/", "", "http://second/"},
      {"auto", "", "pico", ""},
      {"", "http://second/", "pico", ""},
  };
  for (const auto& c : cases) {
    Put(settings_->updateServer, c.server);
    Put(settings_->secondServer, c.second);
    EXPECT_EQ(ResolveServerUrl(settings_.get(), c.suffix), c.expected)
        << c.server << " " << c.suffix;
  }
  Put(settings_->updateServer, "http://srv");
  EXPECT_EQ(ResolveServerUrl(settings_.get(), nullptr), "http://srv/");
  EXPECT_EQ(ResolveServerUrl(nullptr, "x"), "");
}

TEST_F(ConfiguredServer, MirrorIsAServerNotStoredAsDefault) {
  WriteStore(
      {"DefaultServerCount=2", "DefaultServer0=http://Default.test/upd/", "DefaultServer1=auto/"});
  const struct {
    const char* server;
    bool mirror;
  } cases[] = {
      {"AUTOSELECT", false},
      {"autoselect", false},
      {"http://default.test/UPD", false},  // '/' added, case folded
      {"http://default.test/upd/", false},
      {"http://default.test/other/", true},
      {"http://mirror.local/", true},
      {"auto", false},  // stored as a default server (with its '/')
      {"", true},
  };
  for (const auto& c : cases) {
    Put(settings_->updateServer, c.server);
    EXPECT_EQ(IsMirrorUpdateUrl(settings_.get()), c.mirror) << c.server;
  }
  WriteStore({});
  Put(settings_->updateServer, "auto");
  EXPECT_TRUE(IsMirrorUpdateUrl(settings_.get()));
  EXPECT_FALSE(IsMirrorUpdateUrl(nullptr));
}

}  // namespace
}  // namespace upd::test
