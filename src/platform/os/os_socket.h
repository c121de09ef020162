#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os/os_resolve.h"

// Sockets with timeouts in milliseconds. Every wait runs through a poll set
// (platform/os/os_poll.h); failures set the per-thread last error (15 timed
// out, 23 refused, 25 broken pipe, 27 dropped by the peer, ...).

// The descriptor widened to 64 bits; kOsNoSocket means no socket.
using OS_SOCKET = uint64_t;
inline constexpr OS_SOCKET kOsNoSocket = ~OS_SOCKET{0};

// Option ids of OsSocketSetOption.
enum OsSocketOption : uint32_t {
  kOsSockNonBlocking = 1,
  kOsSockReuseAddress = 2,
  kOsSockIPv6Only = 3,
  kOsSockMulticastInterface = 6,
  kOsSockMulticastTtl = 7,
  kOsSockMulticastLoop = 8,
  kOsSockJoinGroup = 9,
  kOsSockLeaveGroup = 10,
  kOsSockIPv6MulticastInterface = 11,
  kOsSockIPv6MulticastHops = 12,
  kOsSockIPv6MulticastLoop = 13,
  kOsSockNoDelay = 14,
  kOsSockReserved = 15,  // accepted without effect
};

// Value of the group options (ids 9 and 10).
struct OS_MULTICAST_REQUEST {
  const OS_ADDR* group;
  uint32_t interface;  // IPv4: interface address as stored in in_addr; IPv6: index
};

// Flags of receive and send; other bits are ignored.
enum OsSocketIoFlags : uint32_t {
  kOsSockOutOfBand = 0x1,
  kOsSockPeek = 0x2,
};

[[nodiscard]] OS_SOCKET OsSocketFromFd(int descriptor);
[[nodiscard]] int OsSocketToFd(OS_SOCKET socket);

// A socket for the entry's family, type and protocol (IPv6 sockets are
// IPv6-only), close-on-exec; kOsNoSocket on failure.
[[nodiscard]] OS_SOCKET OsSocketCreate(const OS_ADDR* entry);
int OsSocketClose(OS_SOCKET socket);
// how: 0 receive, 1 send, 2 both.
[[nodiscard]] int OsSocketShutdown(OS_SOCKET socket, int how);

// 0 or -1. An id that OsSocketOption does not name is -1 with the last error
// untouched.
[[nodiscard]] int OsSocketSetOption(OS_SOCKET socket, uint32_t id, const void* value,
                                    size_t value_size);
[[nodiscard]] int OsSocketSetOptionInt(OS_SOCKET socket, uint32_t id, int value);

// Connects, leaving the socket non-blocking; 0 or -1 (15 after timeout_ms).
[[nodiscard]] int OsSocketConnect(OS_SOCKET socket, const OS_ADDR* entry, int timeout_ms);

// Bytes received, 0 when the peer closed in order, -1 on error or when nothing
// arrived within timeout_ms in total.
[[nodiscard]] long OsSocketRecv(OS_SOCKET socket, void* buffer, size_t length, uint32_t flags,
                                int timeout_ms);
// Sends all bytes within timeout_ms in total: length, or -1. A peer that is
// gone never raises SIGPIPE.
[[nodiscard]] long OsSocketSend(OS_SOCKET socket, const void* data, size_t length, uint32_t flags,
                                int timeout_ms);
// One receive that never waits: bytes, 0 at an orderly close, or -1.
[[nodiscard]] long OsSocketRecvNoWait(OS_SOCKET socket, void* buffer, size_t length,
                                      uint32_t flags);
