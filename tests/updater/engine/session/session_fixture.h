#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/util/strings.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "updater/engine/session/download_session.h"

namespace upd::test {

// A session on the test's own cache folder, a host whose settings keep
// their store in the test's folder, and an update folder for kept copies.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session_ = std::make_unique<CDownloadSession>(dir_.file("cache"));
    session_->Reset();
    const std::string store = "file://" + dir_.file("settings.ini");
    SafeStrCopy(host_.settings()->settingsStore, sizeof host_.settings()->settingsStore,
                store.c_str());
  }

  // A download of url into target, validators and kept copies off.
  DownloadFileArgs ToFile(const std::string& url, const std::string& target) {
    urls_.push_back(std::make_unique<std::string>(url));
    targets_.push_back(std::make_unique<std::string>(target));
    DownloadFileArgs args;
    args.url = urls_.back()->c_str();
    args.target = targets_.back()->c_str();
    args.settings = host_.settings();
    return args;
  }

  std::string UpdateFolder() const { return dir_.file("updfiles"); }

  CDownloadSession& session() { return *session_; }

  TempDir dir_;
  upd::testhost::EventHost host_;
  std::unique_ptr<CDownloadSession> session_;

 private:
  // Keep the texts that the argument records point at.
  std::vector<std::unique_ptr<std::string>> urls_;
  std::vector<std::unique_ptr<std::string>> targets_;
};

}  // namespace upd::test
