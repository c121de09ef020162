#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../run/run_fixture.h"
#include "updater/engine/mirror/mirror.h"

namespace upd::test {

// A mirror run as a host drives it: the upstream server of RunFixture, a
// mirror folder that a second nginx serves, and a mirror callback that
// records its codes (with the error code of code 0) and hands out the
// update hash 00 01 .. 13.
class MirrorFixture : public RunFixture {
 protected:
  struct MirrorEvent {
    uint32_t code;
    uint32_t error;
  };

  void SetUp() override {
    RunFixture::SetUp();
    fs::create_directories(dir_.file("mirror-web"));
    mirror_web_ = std::make_unique<NginxServer>(dir_.file("mirror-web"), NginxServer::Options());
    ASSERT_TRUE(mirror_web_->running()) << mirror_web_->ErrorLog();
    mirror_ = std::make_unique<MIRROR_SETTINGS>();
    std::memset(mirror_.get(), 0, sizeof *mirror_);
    mirror_->enabled = 1;
    mirror_->callback = &Record;
    mirror_->callbackContext = this;
    SafeStrCopy(mirror_->mirrorFolder, sizeof mirror_->mirrorFolder, MirrorRoot().c_str());
    host_.settings()->mirrorSettings = mirror_.get();
  }

  std::string MirrorRoot() const { return mirror_web_->root(); }

  static uint32_t Record(uint32_t code, void* data, void* self) {
    auto* test = static_cast<MirrorFixture*>(self);
    const uint32_t error = code == MIRROR_EVENT_ERROR ? *static_cast<uint32_t*>(data) : 0;
    test->mirror_events_.push_back({code, error});
    if (code == MIRROR_EVENT_GET_UPDATE_HASH) {
      auto* bytes = static_cast<uint8_t*>(data);
      for (uint8_t i = 0; i < 20; ++i) bytes[i] = i;
    }
    return 0;
  }

  UPD_ERROR Mirror() {
    host_.Clear();
    mirror_events_.clear();
    return UpdPerformMirror(context_, host_.settings());
  }

  std::vector<uint32_t> MirrorErrors() const {
    std::vector<uint32_t> errors;
    for (const MirrorEvent& event : mirror_events_) {
      if (event.code == MIRROR_EVENT_ERROR) errors.push_back(event.error);
    }
    return errors;
  }

  // The packages of the mirror's root, by a hash of their content.
  std::vector<size_t> MirrorPackages() const {
    std::vector<size_t> packages;
    for (const auto& [name, content] : Tree(MirrorRoot())) {
      if (name.starts_with("zel") && name.ends_with(".nup")) {
        packages.push_back(std::hash<std::string>{}(content));
      }
    }
    std::sort(packages.begin(), packages.end());
    return packages;
  }

  // The upstream packages of the given names under "p/", by content.
  std::vector<size_t> Upstream(const std::vector<std::string>& names) const {
    std::vector<size_t> packages;
    for (const std::string& name : names) {
      packages.push_back(std::hash<std::string>{}(ReadFile(server_->root() + "/p/" + name)));
    }
    std::sort(packages.begin(), packages.end());
    return packages;
  }

  // Package GETs the upstream server answered.
  std::vector<std::string> UpstreamPackageGets() const {
    std::vector<std::string> gets;
    for (const AccessLogEntry& entry : server_->AccessLog(0)) {
      if (entry.request.starts_with("GET /p/")) gets.push_back(entry.request);
    }
    return gets;
  }

  static uint32_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? (info.st_mode & 0777) : 0;
  }

  std::unique_ptr<NginxServer> mirror_web_;
  std::unique_ptr<MIRROR_SETTINGS> mirror_;
  std::vector<MirrorEvent> mirror_events_;
};

}  // namespace upd::test
