#pragma once

#include <string>
#include <vector>

namespace upd::test {

// A listening TCP socket inside the test process, for tests that need to see
// the peer's end of a connection directly (accept timing, the close of a
// socket) rather than script a separate server (net_servers.h).
class LoopbackListener {
 public:
  // Listens on address ("127.0.0.1" or "::1") at port, 0 for a free one.
  explicit LoopbackListener(const std::string& address = "127.0.0.1", int port = 0);
  // Closes the listener and every accepted socket.
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  [[nodiscard]] bool listening() const { return fd_ >= 0; }
  [[nodiscard]] int port() const { return port_; }

  // The next connection within timeout_ms: its descriptor (closed with the
  // listener), or -1.
  int Accept(int timeout_ms = 5000);

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> accepted_;
};

// Reads from fd until the peer closes it (true) or timeout_ms passes
// (false); what arrived goes to received when given.
bool WaitForPeerClose(int fd, int timeout_ms, std::string* received = nullptr);

// A loopback port nobody listens on.
int ClosedPort();

}  // namespace upd::test
