#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "repository/client/repository_client.h"
#include "support/net_servers.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "updater/engine/catalogue/signed_buffer.h"
#include "updater/engine/session/download_session.h"

namespace upd::test {

// Answers the client's questions (events 30, 31) through the test host's
// callback; an answer of 0 counts, as at the export entry.
class EventHostAnswers final : public IRepositoryHost {
 public:
  explicit EventHostAnswers(const UPDATER_SETTINGS* settings) : settings_(settings) {}
  bool AskDeal(RepositoryDealBlock& deal) override { return Ask(UPD_EVENT_DEAL_ID, &deal); }
  bool AskOsInfo(RepositoryOsInfo& os) override { return Ask(UPD_EVENT_OS_INFO, &os); }

 private:
  bool Ask(uint32_t event, void* data) const {
    return settings_->eventCallback(event, data, settings_->userData) == 0;
  }
  const UPDATER_SETTINGS* settings_;
};

// A repository served by nginx from the test's own folder, and a run record
// whose session, update folder and temporary folder live there too; no
// library context is built. The product is "suite.home"; its folder is
// <root>/repo/suite/home/.
class RepositoryFixture : public testing::Test {
 protected:
  static constexpr char kProduct[] = "suite.home";

  void SetUp() override {
    ASSERT_TRUE(web_.running());
    std::filesystem::create_directories(TempFolder());
    setenv("TMPDIR", TempFolder().c_str(), 1);
    session_ = std::make_unique<CDownloadSession>(dir_.file("cache"));
    UPDATER_SETTINGS& settings = *host_.settings();
    SetServer(web_.Url("/repo/"));
    std::strcpy(settings.productName, kProduct);
    std::strcpy(settings.productVersion2, "1.0.0.0");
    std::strcpy(settings.language, "en-us");
    // The validators of the kept copies live in the settings store.
    const std::string store = "file://" + dir_.file("settings.ini");
    std::strncpy(settings.settingsStore, store.c_str(), sizeof settings.settingsStore - 1);
  }

  void TearDown() override { unsetenv("TMPDIR"); }

  void SetServer(const std::string& url) {
    UPDATER_SETTINGS& settings = *host_.settings();
    std::memset(settings.updateServer, 0, sizeof settings.updateServer);
    std::strncpy(settings.updateServer, url.c_str(), sizeof settings.updateServer - 1);
  }

  std::string TempFolder() const { return dir_.file("tmp"); }
  // Entries of the temporary folder (the client's REP / ERM files).
  size_t TempFileCount() const {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(TempFolder()),
                                             std::filesystem::directory_iterator()));
  }

  // Writes text signed as the repository signs it to root/relative.
  void PublishSigned(const std::string& relative, const std::string& text,
                     std::string_view signer = kRepositorySigner, bool foreign = false) {
    const std::string plain = dir_.file("plain.json");
    const std::string signed_path = dir_.file("signed.bin");
    WriteFile(plain, text);
    std::vector<std::string> args = {"sign", std::string(signer), plain, signed_path};
    if (foreign) args.push_back("--foreign");
    ASSERT_TRUE(SignKit(args));
    web_.PutFile(relative, ReadFile(signed_path));
  }
  // The product's "metadata3", signed.
  void PublishMetadata(const std::string& product, const std::string& json) {
    std::string folder = product;
    std::replace(folder.begin(), folder.end(), '.', '/');
    PublishSigned("repo/" + folder + "/metadata3", json);
  }

  // The record of a run with the settings as they are now; the test host
  // answers the client unless another host is given.
  RepositoryRun Run(bool flag = false, IRepositoryHost* host = nullptr) {
    return RepositoryRun{.settings = *host_.settings(),
                         .fields = ReadRepositorySettings(*host_.settings()),
                         .updateFolder = dir_.file("updfiles") + "/",
                         .appVersion = appVersion_,
                         .session = *session_,
                         .host = host != nullptr ? *host : answers_,
                         .installer = nullptr,
                         .sourceFlag = flag};
  }
  std::unique_ptr<CRepositoryClient> Client(bool flag = false) {
    return std::make_unique<CRepositoryClient>(Run(flag));
  }

  std::vector<AccessLogEntry> Requests(size_t at_least = 0) const {
    return web_.AccessLog(at_least);
  }

  TempDir dir_;
  NginxServer web_{dir_.path().string()};
  testhost::EventHost host_;
  EventHostAnswers answers_{host_.settings()};
  std::string appVersion_ = "2.0.0.0";
  std::unique_ptr<CDownloadSession> session_;
};

}  // namespace upd::test
