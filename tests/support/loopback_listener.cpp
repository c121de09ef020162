#include "support/loopback_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace upd::test {

LoopbackListener::LoopbackListener(const std::string& address, int port) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  const bool v6 = address.find(':') != std::string::npos;
  if (v6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET6, address.c_str(), &a->sin6_addr) != 1) return;
    length = sizeof(*a);
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<uint16_t>(port));
    if (inet_pton(AF_INET, address.c_str(), &a->sin_addr) != 1) return;
    length = sizeof(*a);
  }
  const int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (v6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  if (bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    close(fd);
    return;
  }
  fd_ = fd;
  port_ = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                   : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
}

LoopbackListener::~LoopbackListener() {
  for (const int fd : accepted_) close(fd);
  if (fd_ >= 0) close(fd_);
}

int LoopbackListener::Accept(int timeout_ms) {
  if (fd_ < 0) return -1;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) != 1) return -1;
  const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) accepted_.push_back(fd);
  return fd;
}

bool WaitForPeerClose(int fd, int timeout_ms, std::string* received) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return n == 0;
    if (received != nullptr) received->append(buffer, static_cast<size_t>(n));
  }
}

int ClosedPort() {
  LoopbackListener listener;
  return listener.port();
}

}  // namespace upd::test
