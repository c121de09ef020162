#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/os/os_abort.h"
#include "platform/os/os_error.h"
#include "platform/os/os_resolve.h"
#include "platform/os/os_socket.h"
#include "support/peer_process.h"
#include "support/temp_dir.h"

namespace {

using upd::test::PeerProcess;
using Clock = std::chrono::steady_clock;

struct AddrListDeleter {
  void operator()(OS_ADDR* list) const { OsAddrListFree(list); }
};
using AddrList = std::unique_ptr<OS_ADDR, AddrListDeleter>;

AddrList Resolve(const char* host, int port, uint32_t flags) {
  return AddrList(OsResolveAddress(host, port, flags));
}

AddrList Loopback(int port) {
  return Resolve("127.0.0.1", port, kOsResolveIPv4 | kOsResolveNumericHost | kOsResolveStream);
}

long ElapsedMs(Clock::time_point start) {
  return static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// A socket closed with the test.
class Socket {
 public:
  explicit Socket(OS_SOCKET s) : s_(s) {}
  ~Socket() {
    if (s_ != kOsNoSocket) (void)OsSocketClose(s_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  OS_SOCKET get() const { return s_; }
  int fd() const { return OsSocketToFd(s_); }

 private:
  OS_SOCKET s_;
};

// Clears the process-wide abort flag however a test ends.
struct AbortFlagGuard {
  ~AbortFlagGuard() { (void)OsExchangeAbortFlag(0); }
};

// A Python loopback peer in one of the modes of socket_peer.py.
class PeerTest : public ::testing::Test {
 protected:
  void StartPeer(const std::string& mode) {
    peer_ = std::make_unique<PeerProcess>(std::vector<std::string>{
        upd::test::PythonPath(), upd::test::SourcePath("tests/platform/os/socket_peer.py"), mode});
    ASSERT_TRUE(peer_->running());
    port_ = std::stoi(peer_->first_line());
  }

  // A socket connected to the peer.
  std::unique_ptr<Socket> Connect() {
    AddrList address = Loopback(port_);
    EXPECT_NE(address, nullptr);
    if (address == nullptr) return nullptr;
    auto s = std::make_unique<Socket>(OsSocketCreate(address.get()));
    EXPECT_NE(s->get(), kOsNoSocket);
    EXPECT_EQ(OsSocketConnect(s->get(), address.get(), 5000), 0) << OsGetLastError();
    return s;
  }

  std::unique_ptr<PeerProcess> peer_;
  int port_ = 0;
};

TEST(ResolveTest, FamilyAndNumericFlags) {
  struct Case {
    const char* name;
    const char* host;
    uint32_t flags;
    int family;  // 0: resolution must fail
  };
  const Case cases[] = {
      {"ipv4 text", "127.0.0.1", kOsResolveIPv4 | kOsResolveNumericHost | kOsResolveStream,
       kOsAddrIPv4},
      {"ipv6 text", "::1", kOsResolveIPv6 | kOsResolveNumericHost | kOsResolveStream, kOsAddrIPv6},
      {"ipv6 text asked as ipv4", "::1", kOsResolveIPv4, 0},
      {"ipv6 wins over ipv4", "127.0.0.1", kOsResolveIPv4 | kOsResolveIPv6 | kOsResolveNumericHost,
       0},
      {"numeric flag refuses a name", "localhost", kOsResolveNumericHost | kOsResolveStream, 0},
      {"no flags resolves a name", "localhost", 0, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AddrList list = Resolve(c.host, 8080, c.flags);
    if (c.family == 0) {
      EXPECT_EQ(list, nullptr);
      EXPECT_EQ(OsGetLastError(), kOsFailure);
      continue;
    }
    ASSERT_NE(list, nullptr);
    if (c.family > 0) {
      EXPECT_EQ(OsAddrGetFamily(list.get()), c.family);
    }
  }
}

TEST(ResolveTest, StreamFlagWinsAndFiltersTypes) {
  AddrList list =
      Resolve("127.0.0.1", 80, kOsResolveNumericHost | kOsResolveStream | kOsResolveDatagram);
  ASSERT_NE(list, nullptr);
  for (const OS_ADDR* e = list.get(); e != nullptr; e = OsAddrListNext(e)) {
    EXPECT_EQ(e->type, static_cast<uint32_t>(SOCK_STREAM));
  }
}

TEST(ResolveTest, AddressBytesTextAndPort) {
  AddrList v4 = Loopback(8080);
  AddrList v6 = Resolve("::1", 8080, kOsResolveIPv6 | kOsResolveNumericHost | kOsResolveStream);
  ASSERT_NE(v4, nullptr);
  ASSERT_NE(v6, nullptr);

  uint16_t port = 0;
  const uint8_t* bytes = OsAddrGetIPv4(v4.get(), &port);
  ASSERT_NE(bytes, nullptr);
  EXPECT_EQ(std::memcmp(bytes, "\x7f\0\0\x01", 4), 0);
  EXPECT_EQ(port, 8080);

  const uint8_t* bytes6 = OsAddrGetIPv6(v6.get(), &port);
  ASSERT_NE(bytes6, nullptr);
  EXPECT_EQ(bytes6[15], 1);

  char text[64];
  port = 0;
  ASSERT_NE(OsAddrToString(v6.get(), text, sizeof(text), &port), nullptr);
  EXPECT_STREQ(text, "::1");
  EXPECT_EQ(port, 8080);
  ASSERT_NE(OsAddrToString(v4.get(), text, sizeof(text), nullptr), nullptr);
  EXPECT_STREQ(text, "127.0.0.1");

  // The wrong family is refused with code 10.
  EXPECT_EQ(OsAddrGetIPv6(v4.get(), &port), nullptr);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);
  EXPECT_EQ(OsAddrGetIPv4(v6.get(), nullptr), nullptr);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);
  EXPECT_EQ(OsAddrGetIPv4(nullptr, nullptr), nullptr);
}

TEST(ResolveTest, ToStringEmptiesTheBufferOnFailure) {
  AddrList v6 = Resolve("::1", 1, kOsResolveIPv6 | kOsResolveNumericHost | kOsResolveStream);
  ASSERT_NE(v6, nullptr);
  char small[3] = "ab";  // "::1" needs 4 bytes with its NUL
  EXPECT_EQ(OsAddrToString(v6.get(), small, sizeof(small), nullptr), nullptr);
  EXPECT_STREQ(small, "");

  OS_ADDR other;
  other.family = AF_PACKET;
  char text[16] = "stale";
  EXPECT_EQ(OsAddrToString(&other, text, sizeof(text), nullptr), nullptr);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(OsGetLastError(), OsPortableFromErrno(EAFNOSUPPORT));
}

TEST(ResolveTest, LocalSocketEntryGivesItsPath) {
  OS_ADDR local;
  sockaddr_un un{};
  un.sun_family = AF_UNIX;
  std::strcpy(un.sun_path, "/run/updater.sock");
  std::memcpy(&local.address, &un, sizeof(un));
  local.length = sizeof(un);
  local.family = AF_UNIX;
  EXPECT_EQ(OsAddrGetFamily(&local), kOsAddrLocal);
  char text[128];
  uint16_t port = 77;
  ASSERT_NE(OsAddrToString(&local, text, sizeof(text), &port), nullptr);
  EXPECT_STREQ(text, "/run/updater.sock");
  EXPECT_EQ(port, 77);  // a local socket has no port to report

  local.length = 20;  // an unnamed or abstract address carries no path
  EXPECT_EQ(OsAddrToString(&local, text, sizeof(text), nullptr), nullptr);
}

TEST(ResolveTest, CopyIsDeepAndFreeAcceptsNull) {
  OS_ADDR* original = OsResolveAddress("127.0.0.1", 443, kOsResolveNumericHost);
  ASSERT_NE(original, nullptr);
  AddrList copy(OsAddrListCopy(original));
  size_t original_count = 0;
  for (const OS_ADDR* e = original; e != nullptr; e = OsAddrListNext(e)) ++original_count;
  OsAddrListFree(original);
  OsAddrListFree(nullptr);

  size_t copy_count = 0;
  for (const OS_ADDR* e = copy.get(); e != nullptr; e = OsAddrListNext(e)) {
    ++copy_count;
    uint16_t port = 0;
    ASSERT_NE(OsAddrGetIPv4(e, &port), nullptr);
    EXPECT_EQ(port, 443);
  }
  EXPECT_EQ(copy_count, original_count);
  EXPECT_EQ(OsAddrListCopy(nullptr), nullptr);
}

TEST(SocketOptionTest, IdsAndValues) {
  AddrList address = Loopback(80);
  ASSERT_NE(address, nullptr);
  Socket s(OsSocketCreate(address.get()));
  ASSERT_NE(s.get(), kOsNoSocket);

  struct Case {
    const char* name;
    uint32_t id;
    int result;
    uint32_t error;  // expected last error; kOsInterrupted: left as set before the call
  };
  const Case cases[] = {
      {"id 0 unknown", 0, -1, kOsInterrupted},
      {"id 4 unknown", 4, -1, kOsInterrupted},
      {"id 5 unknown", 5, -1, kOsInterrupted},
      {"id 16 unknown", 16, -1, kOsInterrupted},
      {"id 15 accepted", kOsSockReserved, 0, kOsInterrupted},
      {"nodelay", kOsSockNoDelay, 0, kOsInterrupted},
      {"reuse address", kOsSockReuseAddress, 0, kOsInterrupted},
      {"ipv6-only on an ipv4 socket", kOsSockIPv6Only, -1, OsPortableFromErrno(ENOPROTOOPT)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OsSetOwnError(kOsInterrupted);
    EXPECT_EQ(OsSocketSetOptionInt(s.get(), c.id, 1), c.result);
    EXPECT_EQ(OsGetLastError(), c.error);
  }

  int value = 0;
  socklen_t size = sizeof(value);
  ASSERT_EQ(getsockopt(s.fd(), IPPROTO_TCP, TCP_NODELAY, &value, &size), 0);
  EXPECT_EQ(value, 1);
  ASSERT_EQ(getsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &value, &size), 0);
  EXPECT_EQ(value, 1);

  // A value shorter than 4 bytes means 0.
  const uint8_t one = 1;
  ASSERT_EQ(OsSocketSetOption(s.get(), kOsSockNoDelay, &one, sizeof(one)), 0);
  ASSERT_EQ(getsockopt(s.fd(), IPPROTO_TCP, TCP_NODELAY, &value, &size), 0);
  EXPECT_EQ(value, 0);

  EXPECT_EQ(OsSocketSetOption(s.get(), kOsSockNoDelay, nullptr, 4), -1);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);

  ASSERT_EQ(OsSocketSetOptionInt(s.get(), kOsSockNonBlocking, 1), 0);
  EXPECT_NE(fcntl(s.fd(), F_GETFL) & O_NONBLOCK, 0);
  ASSERT_EQ(OsSocketSetOptionInt(s.get(), kOsSockNonBlocking, 0), 0);
  EXPECT_EQ(fcntl(s.fd(), F_GETFL) & O_NONBLOCK, 0);
  EXPECT_EQ(OsSocketSetOptionInt(kOsNoSocket, kOsSockNonBlocking, 1), -1);
  EXPECT_EQ(OsGetLastError(), OsPortableFromErrno(EBADF));

  // A group request of the wrong size is refused before any system call.
  const OS_MULTICAST_REQUEST request{address.get(), 0};
  EXPECT_EQ(OsSocketSetOption(s.get(), kOsSockJoinGroup, &request, 8), -1);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);
}

TEST(SocketOptionTest, MulticastGroupJoinAndLeave) {
  AddrList group =
      Resolve("239.255.10.1", 0, kOsResolveIPv4 | kOsResolveNumericHost | kOsResolveDatagram);
  ASSERT_NE(group, nullptr);
  Socket s(OsSocketCreate(group.get()));
  ASSERT_NE(s.get(), kOsNoSocket);
  const OS_MULTICAST_REQUEST request{group.get(), htonl(INADDR_LOOPBACK)};
  ASSERT_EQ(OsSocketSetOption(s.get(), kOsSockJoinGroup, &request, sizeof(request)), 0)
      << OsGetLastError();
  // A second join of the same group is refused by the kernel.
  EXPECT_EQ(OsSocketSetOption(s.get(), kOsSockJoinGroup, &request, sizeof(request)), -1);
  EXPECT_EQ(OsSocketSetOption(s.get(), kOsSockLeaveGroup, &request, sizeof(request)), 0);
  EXPECT_EQ(OsSocketSetOption(s.get(), kOsSockLeaveGroup, &request, sizeof(request)), -1);
}

TEST(SocketTest, Ipv6SocketIsIpv6Only) {
  AddrList v6 = Resolve("::1", 0, kOsResolveIPv6 | kOsResolveNumericHost | kOsResolveStream);
  ASSERT_NE(v6, nullptr);
  Socket s(OsSocketCreate(v6.get()));
  ASSERT_NE(s.get(), kOsNoSocket);
  int value = 0;
  socklen_t size = sizeof(value);
  ASSERT_EQ(getsockopt(s.fd(), IPPROTO_IPV6, IPV6_V6ONLY, &value, &size), 0);
  EXPECT_EQ(value, 1);
  EXPECT_NE(fcntl(s.fd(), F_GETFD) & FD_CLOEXEC, 0);
}

TEST(SocketTest, NoSocketIsRefusedWithCode10) {
  AddrList address = Loopback(80);
  char byte = 0;
  EXPECT_EQ(OsSocketFromFd(-1), kOsNoSocket);
  EXPECT_EQ(OsSocketConnect(kOsNoSocket, address.get(), 100), -1);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);
  EXPECT_EQ(OsSocketRecv(kOsNoSocket, &byte, 1, 0, 100), -1);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);
  EXPECT_EQ(OsSocketSend(kOsNoSocket, &byte, 1, 0, 100), -1);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);
}

TEST(SocketTest, ShutdownModes) {
  AddrList address = Loopback(80);
  Socket s(OsSocketCreate(address.get()));
  EXPECT_EQ(OsSocketShutdown(s.get(), 3), -1);
  EXPECT_EQ(OsGetLastError(), kOsInvalidArgument);
  EXPECT_EQ(OsSocketShutdown(s.get(), 2), -1);  // not connected yet
  EXPECT_EQ(OsGetLastError(), kOsNotConnected);
}

TEST(SocketTest, ConnectToClosedPortIsRefused) {
  const int port = upd::test::FreeLoopbackPort();
  ASSERT_GT(port, 0);
  AddrList address = Loopback(port);
  Socket s(OsSocketCreate(address.get()));
  ASSERT_NE(s.get(), kOsNoSocket);
  EXPECT_EQ(OsSocketConnect(s.get(), address.get(), 5000), -1);
  EXPECT_EQ(OsGetLastError(), kOsConnectionRefused);
}

TEST_F(PeerTest, EchoRoundTripOverConnectedSocket) {
  StartPeer("echo");
  auto s = Connect();
  ASSERT_NE(s, nullptr);
  EXPECT_NE(fcntl(s->fd(), F_GETFL) & O_NONBLOCK, 0);  // connect leaves it non-blocking

  // Large enough that the send has to wait for room more than once.
  std::string data(4 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + (i >> 12));
  std::string received;
  std::thread reader([&] {
    std::string chunk(65536, '\0');
    while (received.size() < data.size()) {
      const long n = OsSocketRecv(s->get(), chunk.data(), chunk.size(), 0, 10000);
      if (n <= 0) return;
      received.append(chunk.data(), static_cast<size_t>(n));
    }
  });
  EXPECT_EQ(OsSocketSend(s->get(), data.data(), data.size(), 0, 10000),
            static_cast<long>(data.size()));
  reader.join();
  EXPECT_TRUE(received == data) << received.size();
  EXPECT_EQ(OsSocketSend(s->get(), data.data(), 0, 0, 10000), 0);
}

TEST_F(PeerTest, PeekLeavesDataAndNoWaitDoesNotWait) {
  StartPeer("echo");
  auto s = Connect();
  ASSERT_NE(s, nullptr);
  char buffer[8] = {};
  EXPECT_EQ(OsSocketRecvNoWait(s->get(), buffer, sizeof(buffer), 0), -1);
  EXPECT_EQ(OsGetLastError(), kOsWouldBlock);

  ASSERT_EQ(OsSocketSend(s->get(), "abcd", 4, 0, 5000), 4);
  ASSERT_EQ(OsSocketRecv(s->get(), buffer, 2, kOsSockPeek, 5000), 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");
  long total = 0;
  while (total < 4) {
    const long n = OsSocketRecv(s->get(), buffer + total, 4 - static_cast<size_t>(total), 0, 5000);
    ASSERT_GT(n, 0);
    total += n;
  }
  EXPECT_EQ(std::string(buffer, 4), "abcd");
}

TEST_F(PeerTest, SilentPeerTimesOutAfterTheWholeTimeout) {
  StartPeer("silent");
  auto s = Connect();
  ASSERT_NE(s, nullptr);
  char byte = 0;
  const auto start = Clock::now();
  EXPECT_EQ(OsSocketRecv(s->get(), &byte, 1, 0, 1000), -1);
  const long elapsed = ElapsedMs(start);
  EXPECT_EQ(OsGetLastError(), kOsTimedOut);
  EXPECT_GE(elapsed, 900);
  EXPECT_LT(elapsed, 5000);
}

TEST_F(PeerTest, AbortFlagCutsALongReceiveShort) {
  StartPeer("silent");
  auto s = Connect();
  ASSERT_NE(s, nullptr);
  AbortFlagGuard guard;
  EXPECT_EQ(OsExchangeAbortFlag(1), 0);
  char byte = 0;
  const auto start = Clock::now();
  EXPECT_EQ(OsSocketRecv(s->get(), &byte, 1, 0, 30000), -1);
  EXPECT_EQ(OsGetLastError(), kOsTimedOut);
  EXPECT_LT(ElapsedMs(start), 2000);
}

TEST_F(PeerTest, OrderlyCloseReadsAsZero) {
  StartPeer("close");
  auto s = Connect();
  ASSERT_NE(s, nullptr);
  char byte = 0;
  EXPECT_EQ(OsSocketRecv(s->get(), &byte, 1, 0, 5000), 0);
}

TEST_F(PeerTest, ResetPeerFailsReceiveAndSendWithoutSignal) {
  // With the default action a SIGPIPE would end this test process.
  ASSERT_NE(signal(SIGPIPE, SIG_DFL), SIG_ERR);
  StartPeer("reset");
  auto s = Connect();
  ASSERT_NE(s, nullptr);
  char byte = 'x';
  ASSERT_EQ(OsSocketSend(s->get(), &byte, 1, 0, 5000), 1);  // the peer resets on it
  EXPECT_EQ(OsSocketRecv(s->get(), &byte, 1, 0, 5000), -1);
  EXPECT_EQ(OsGetLastError(), kOsConnectionReset);
  const std::string data(1024, 'x');
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(OsSocketSend(s->get(), data.data(), data.size(), 0, 5000), -1);
    EXPECT_EQ(OsGetLastError(), kOsBrokenPipe);
  }
}

TEST_F(PeerTest, SendToResetPeerWithoutReadingFirst) {
  ASSERT_NE(signal(SIGPIPE, SIG_DFL), SIG_ERR);
  StartPeer("reset");
  auto s = Connect();
  ASSERT_NE(s, nullptr);
  const std::string data(1024, 'x');
  long result = 0;
  // The first sends may still be taken before the reset arrives.
  for (int i = 0; i < 200 && result >= 0; ++i) {
    result = OsSocketSend(s->get(), data.data(), data.size(), 0, 5000);
    if (result >= 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(result, -1);
  const uint32_t error = OsGetLastError();
  EXPECT_TRUE(error == kOsConnectionReset || error == kOsBrokenPipe) << error;
}

}  // namespace
