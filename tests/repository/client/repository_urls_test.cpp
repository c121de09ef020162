#include "repository/client/repository_urls.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace upd::test {
namespace {

std::unique_ptr<UPDATER_SETTINGS> Settings(const char* server, uint32_t channel,
                                           uint32_t devel = 0) {
  auto settings = std::make_unique<UPDATER_SETTINGS>();
  std::memset(settings.get(), 0, sizeof *settings);
  std::strncpy(settings->updateServer, server, sizeof settings->updateServer - 1);
  settings->releaseChannel = channel;
  settings->develChannel = devel;
  return settings;
}

const std::string kRelease = "http://repository.wexa-update.net/v1/";
const std::string kPreRelease = "http://repository.wexa-update.net/prerelease/v1/";

TEST(RepositoryBaseUrl, AutomaticServersTakeTheChannelsDefaultRoot) {
  struct Case {
    const char* server;
    uint32_t channel;
    uint32_t devel;
    std::string expected;
  };
  const Case cases[] = {
      {"", 0, 0, kRelease},
      {"", 1, 0, kPreRelease},
      {"", 2, 0, kRelease},
      {"AUTOSELECT", 0, 0, kRelease},
      {"autoSelect", 1, 0, kPreRelease},
      {"AUTOSELECT", 2, 0, kRelease},
      // "auto" lets the library choose, as it does for the catalogue.
      {"auto", 0, 0, kRelease},
      {"AUTO", 1, 0, kPreRelease},
      {"auto", 2, 0, kRelease},
      // The development switch plays no part.
      {"", 1, 1, kPreRelease},
      {"", 0, 1, kRelease},
      // A configured server is taken as it is, without a '/' added.
      {"http://127.0.0.1:8080/repo", 0, 0, "http://127.0.0.1:8080/repo"},
      {"http://127.0.0.1:8080/repo/", 1, 0, "http://127.0.0.1:8080/repo/"},
      {"mirror-host", 2, 0, "mirror-host"},
      {"autoselect2", 0, 0, "autoselect2"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RepositoryBaseUrl(*Settings(c.server, c.channel, c.devel)), c.expected)
        << "server '" << c.server << "' channel " << c.channel;
  }
}

TEST(RepositoryBaseUrl, AServerFillingItsWholeFieldIsReadToTheFieldsEnd) {
  auto settings = Settings("", 0);
  std::memset(settings->updateServer, 'a', sizeof settings->updateServer);
  std::strcpy(settings->secondServer, "must-not-be-read");
  EXPECT_EQ(RepositoryBaseUrl(*settings), std::string(256, 'a'));
}

TEST(RepositoryPlatformName, LinuxIsSentAsOtherLinux) {
  struct Case {
    const char* type;
    std::string expected;
  };
  const Case cases[] = {
      {"linux", "other_linux"}, {"", "other_linux"}, {"Linux", "Linux"}, {"debian", "debian"}};
  for (const Case& c : cases) {
    RepositoryOsInfo info{};
    std::strcpy(info.type, c.type);
    EXPECT_EQ(GetRepositoryPlatformName(info), c.expected) << c.type;
  }
  RepositoryOsInfo full{};
  std::memset(full.type, 'x', sizeof full.type);
  EXPECT_EQ(GetRepositoryPlatformName(full), std::string(64, 'x'));
}

TEST(RepositoryUrls, ProductNamesBecomeFoldersWithSingleSlashes) {
  struct Case {
    const char* base;
    const char* name;
    const char* file;
    std::string expected;
  };
  const Case cases[] = {
      {"http://h/v1/", "suite.home", "metadata3", "http://h/v1/suite/home/metadata3"},
      {"http://h/v1", "suite.home", "metadata3", "http://h/v1/suite/home/metadata3"},
      {"http://h/v1/", "a.b.c", "/x/y.bin", "http://h/v1/a/b/c/x/y.bin"},
      {"http://h/v1/", "", "metadata3", "http://h/v1/metadata3"},
      {"http://h/v1/", "suite", "", "http://h/v1/suite"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildRepositoryUrl(c.base, c.name, c.file), c.expected) << c.name;
  }
}

TEST(RepositoryUrls, ProtocolRelativePathsTakeTheSessionsScheme) {
  EXPECT_EQ(MakeAbsoluteRepositoryUrl("HTTPS://", "//cdn/x", true), "HTTPS://cdn/x");
  EXPECT_EQ(MakeAbsoluteRepositoryUrl("HTTP://", "//cdn/x", true), "HTTP://cdn/x");
  EXPECT_EQ(MakeAbsoluteRepositoryUrl(std::nullopt, "//cdn/x", true), "http://cdn/x");
  EXPECT_EQ(MakeAbsoluteRepositoryUrl("FILE:", "//cdn/x", true), "FILE://cdn/x");
  EXPECT_EQ(MakeAbsoluteRepositoryUrl("HTTPS://", "https://cdn/x", false), "https://cdn/x");
}

TEST(RepositoryUrls, PathsThatClimbOrLeaveTheNetworkAreRefused) {
  struct Case {
    const char* path;
    bool accepted;
  };
  const Case cases[] = {
      {"suite/12.bin", true},
      {"/v1/suite/12.bin", true},
      {"..a/b..", true},
      {"//cdn.example/x.bin", true},
      {"https://cdn.example/x.bin", true},
      {"HTTP://cdn.example/x.bin", true},
      {"../../etc/passwd", false},
      {"suite/../../x", false},
      {"suite/..", false},
      {"suite\\..\\x", false},
      {"suite/%2e%2E/x", false},
      {"suite/.%2e/x", false},
      {"..%2fsecret", false},
      {"..%5Csecret", false},
      {"a%2f..%2fb", false},
      {"http://cdn.example/../x", false},
      {"//cdn.example/../x", false},
      {"file:///etc/passwd", false},
      {"ftp://cdn.example/x.bin", false},
      {"smb://server/share/x", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsAcceptedRepositoryPath(c.path), c.accepted) << c.path;
  }
  using namespace std::string_view_literals;
  EXPECT_FALSE(IsAcceptedRepositoryPath("pkg/x.bin\0file:///etc/passwd"sv));
}

}  // namespace
}  // namespace upd::test
