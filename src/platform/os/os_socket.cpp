#include "platform/os/os_socket.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/os/os_error.h"
#include "platform/os/os_poll.h"

namespace {

// Poll set on the caller's stack, released on every way out.
class ScopedPollSet {
 public:
  ScopedPollSet() = default;
  ~ScopedPollSet() { OsPollSetDestroy(&set_); }
  ScopedPollSet(const ScopedPollSet&) = delete;
  ScopedPollSet& operator=(const ScopedPollSet&) = delete;
  OS_POLLSET* get() { return &set_; }

 private:
  OS_POLLSET set_;
};

int IoFlags(uint32_t flags) {
  int result = MSG_NOSIGNAL;
  if ((flags & kOsSockOutOfBand) != 0) result |= MSG_OOB;
  if ((flags & kOsSockPeek) != 0) result |= MSG_PEEK;
  return result;
}

int RecordErrno() {
  OsSetErrnoError(errno);
  return -1;
}

int SetNonBlocking(int fd, bool on) {
  if (fd < 0) {
    OsSetErrnoError(EBADF);
    return -1;
  }
  const int current = fcntl(fd, F_GETFL);
  if (current < 0) return RecordErrno();
  const int wanted = on ? (current | O_NONBLOCK) : (current & ~O_NONBLOCK);
  if (fcntl(fd, F_SETFL, wanted) < 0) return RecordErrno();
  return 0;
}

int SetInt(int fd, int level, int name, int value) {
  if (setsockopt(fd, level, name, &value, sizeof(value)) != 0) return RecordErrno();
  return 0;
}

int ChangeMembership(int fd, bool join, const void* value, size_t value_size) {
  if (value_size != sizeof(OS_MULTICAST_REQUEST)) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  OS_MULTICAST_REQUEST request;
  std::memcpy(&request, value, sizeof(request));
  const int family = OsAddrGetFamily(request.group);
  if (family == kOsAddrIPv4) {
    ip_mreq mreq{};
    std::memcpy(&mreq.imr_multiaddr, OsAddrGetIPv4(request.group, nullptr), 4);
    mreq.imr_interface.s_addr = request.interface;
    const int name = join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP;
    if (setsockopt(fd, IPPROTO_IP, name, &mreq, sizeof(mreq)) != 0) return RecordErrno();
    return 0;
  }
  if (family == kOsAddrIPv6) {
    ipv6_mreq mreq{};
    std::memcpy(&mreq.ipv6mr_multiaddr, OsAddrGetIPv6(request.group, nullptr), 16);
    mreq.ipv6mr_interface = request.interface;
    const int name = join ? IPV6_ADD_MEMBERSHIP : IPV6_DROP_MEMBERSHIP;
    if (setsockopt(fd, IPPROTO_IPV6, name, &mreq, sizeof(mreq)) != 0) return RecordErrno();
    return 0;
  }
  OsSetOwnError(kOsInvalidArgument);
  return -1;
}

// Waits until the socket reports kind within the budget; false with the last
// error set otherwise.
// The ids OsSocketOption names; the numbers between and beyond them have no
// option on this platform.
bool IsKnownOption(uint32_t id) {
  switch (id) {
    case kOsSockNonBlocking:
    case kOsSockReuseAddress:
    case kOsSockIPv6Only:
    case kOsSockMulticastInterface:
    case kOsSockMulticastTtl:
    case kOsSockMulticastLoop:
    case kOsSockJoinGroup:
    case kOsSockLeaveGroup:
    case kOsSockIPv6MulticastInterface:
    case kOsSockIPv6MulticastHops:
    case kOsSockIPv6MulticastLoop:
    case kOsSockNoDelay:
    case kOsSockReserved:
      return true;
    default:
      return false;
  }
}

bool WaitFor(int fd, uint32_t kind, int timeout_ms, OS_WAIT_BUDGET* budget) {
  ScopedPollSet set;
  OsPollSetAdd(set.get(), kind, fd);
  if (OsPollSetWait(set.get(), timeout_ms, budget) < 1) return false;
  if (OsPollSetTest(set.get(), kind, fd)) return true;
  // Only a hang-up was reported: the peer is gone.
  OsSetErrnoError(EPIPE);
  return false;
}

}  // namespace

OS_SOCKET OsSocketFromFd(int descriptor) {
  return descriptor < 0 ? kOsNoSocket : static_cast<OS_SOCKET>(descriptor);
}

int OsSocketToFd(OS_SOCKET socket) { return socket == kOsNoSocket ? -1 : static_cast<int>(socket); }

OS_SOCKET OsSocketCreate(const OS_ADDR* entry) {
  if (entry == nullptr) {
    OsSetOwnError(kOsInvalidArgument);
    return kOsNoSocket;
  }
  const int fd =
      socket(static_cast<int>(entry->family), static_cast<int>(entry->type) | SOCK_CLOEXEC,
             static_cast<int>(entry->protocol));
  if (fd < 0) {
    RecordErrno();
    return kOsNoSocket;
  }
  if (entry->family == AF_INET6 && SetInt(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1) != 0 &&
      OsGetLastError() != kOsInvalidArgument) {
    close(fd);
    return kOsNoSocket;
  }
  return OsSocketFromFd(fd);
}

int OsSocketClose(OS_SOCKET socket) {
  if (close(OsSocketToFd(socket)) != 0) return RecordErrno();
  return 0;
}

int OsSocketShutdown(OS_SOCKET socket, int how) {
  const int mode = (how >= 0 && how <= 2) ? how : -1;
  if (shutdown(OsSocketToFd(socket), mode) != 0) return RecordErrno();
  return 0;
}

int OsSocketSetOption(OS_SOCKET socket, uint32_t id, const void* value, size_t value_size) {
  if (!IsKnownOption(id)) return -1;
  if (value == nullptr) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  int number = 0;
  if (value_size >= sizeof(number)) std::memcpy(&number, value, sizeof(number));
  const int fd = OsSocketToFd(socket);
  switch (id) {
    case kOsSockNonBlocking:
      return SetNonBlocking(fd, number != 0);
    case kOsSockReuseAddress:
      return SetInt(fd, SOL_SOCKET, SO_REUSEADDR, number);
    case kOsSockIPv6Only:
      return SetInt(fd, IPPROTO_IPV6, IPV6_V6ONLY, number);
    case kOsSockMulticastInterface:
      return SetInt(fd, IPPROTO_IP, IP_MULTICAST_IF, number);
    case kOsSockMulticastTtl:
      return SetInt(fd, IPPROTO_IP, IP_MULTICAST_TTL, number);
    case kOsSockMulticastLoop:
      return SetInt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, number);
    case kOsSockJoinGroup:
      return ChangeMembership(fd, true, value, value_size);
    case kOsSockLeaveGroup:
      return ChangeMembership(fd, false, value, value_size);
    case kOsSockIPv6MulticastInterface:
      return SetInt(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, number);
    case kOsSockIPv6MulticastHops:
      return SetInt(fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, number);
    case kOsSockIPv6MulticastLoop:
      return SetInt(fd, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, number);
    case kOsSockNoDelay:
      return SetInt(fd, IPPROTO_TCP, TCP_NODELAY, number);
    default:  // kOsSockReserved
      return 0;
  }
}

int OsSocketSetOptionInt(OS_SOCKET socket, uint32_t id, int value) {
  return OsSocketSetOption(socket, id, &value, sizeof(value));
}

int OsSocketConnect(OS_SOCKET socket, const OS_ADDR* entry, int timeout_ms) {
  if (socket == kOsNoSocket || entry == nullptr) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  const int fd = OsSocketToFd(socket);
  if (SetNonBlocking(fd, true) != 0) return -1;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&entry->address), entry->length) == 0) return 0;
  RecordErrno();
  if (OsGetLastError() != kOsWouldBlock) return -1;
  ScopedPollSet set;
  OsPollSetAdd(set.get(), kOsPollWrite, fd);
  OsPollSetAdd(set.get(), kOsPollPriority, fd);
  for (;;) {
    if (OsPollSetWait(set.get(), timeout_ms, nullptr) < 1) return -1;
    int error = 0;
    socklen_t size = sizeof(error);
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return RecordErrno();
    OsSetErrnoError(error);
    const bool writable = OsPollSetTest(set.get(), kOsPollWrite, fd);
    if (writable) return error == 0 ? 0 : -1;
    if (error == 0 || OsGetLastError() != kOsWouldBlock) return -1;
  }
}

long OsSocketRecv(OS_SOCKET socket, void* buffer, size_t length, uint32_t flags, int timeout_ms) {
  if (socket == kOsNoSocket) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  const int fd = OsSocketToFd(socket);
  OS_WAIT_BUDGET budget;
  for (;;) {
    if (!WaitFor(fd, kOsPollRead, timeout_ms, &budget)) return -1;
    const ssize_t received = recv(fd, buffer, length, IoFlags(flags));
    if (received >= 0) return received;
    RecordErrno();
    if (OsGetLastError() != kOsWouldBlock) return -1;
  }
}

long OsSocketSend(OS_SOCKET socket, const void* data, size_t length, uint32_t flags,
                  int timeout_ms) {
  if (socket == kOsNoSocket) {
    OsSetOwnError(kOsInvalidArgument);
    return -1;
  }
  if (length == 0) return 0;
  const int fd = OsSocketToFd(socket);
  const auto* bytes = static_cast<const uint8_t*>(data);
  size_t done = 0;
  OS_WAIT_BUDGET budget;
  while (done < length) {
    if (!WaitFor(fd, kOsPollWrite, timeout_ms, &budget)) return -1;
    const ssize_t sent = send(fd, bytes + done, length - done, IoFlags(flags));
    if (sent >= 0) {
      done += static_cast<size_t>(sent);
      continue;
    }
    RecordErrno();
    if (OsGetLastError() != kOsWouldBlock) return -1;
  }
  return static_cast<long>(length);
}

long OsSocketRecvNoWait(OS_SOCKET socket, void* buffer, size_t length, uint32_t flags) {
  const ssize_t received =
      recv(OsSocketToFd(socket), buffer, length, IoFlags(flags) | MSG_DONTWAIT);
  if (received < 0) return RecordErrno();
  return received;
}
