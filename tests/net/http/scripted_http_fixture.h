#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/http/http_transport.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"

namespace upd::test {

// A plain HTTP transport, its host and a scripted peer in the test's own
// folder.
class ScriptedHttpTest : public ::testing::Test {
 protected:
  ScriptedPeer& StartPeer(const std::vector<ScriptedConnection>& connections,
                          const ScriptedPeer::Options& options = {}) {
    peer_ = std::make_unique<ScriptedPeer>(dir_.path().string(), connections, options);
    EXPECT_TRUE(peer_->running());
    return *peer_;
  }

  // Every request the peer read, as it arrived.
  std::vector<std::string> RawRequests() const {
    std::vector<std::string> raw;
    for (const ScriptedPeer::Request& r : peer_->Requests()) raw.push_back(r.raw);
    return raw;
  }

  TempDir dir_;
  std::unique_ptr<ScriptedPeer> peer_;
  std::string host_text_;
  testhost::EventHost host_;
  // The transport's configuration where the host's events do not matter.
  FetchConfig config_;
  CTcpProtocol tcp_;
  CHttpTransport http_{tcp_, false};
  _HTTP_RESPONSE_INFO response_{};
};

}  // namespace upd::test
