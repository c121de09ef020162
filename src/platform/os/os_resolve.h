#pragma once

#include <sys/socket.h>

#include <cstddef>
#include <cstdint>

// Name resolution into address lists that the OS layer owns.

// One entry of an address list; the list belongs to whoever holds its head
// and is released with OsAddrListFree.
struct OS_ADDR {
  sockaddr_storage address{};  // the socket address, first `length` bytes valid
  uint32_t length = 0;
  uint32_t family = 0;  // AF_INET, AF_INET6, AF_UNIX as the resolver gave it
  uint32_t type = 0;
  uint32_t protocol = 0;
  OS_ADDR* next = nullptr;
};

// Flags of OsResolveAddress.
enum OsResolveFlags : uint32_t {
  kOsResolveIPv4 = 0x1,
  kOsResolveIPv6 = 0x2,  // wins over kOsResolveIPv4
  kOsResolvePassive = 0x4,
  kOsResolveNumericHost = 0x8,
  kOsResolveStream = 0x100,  // wins over kOsResolveDatagram
  kOsResolveDatagram = 0x200,
};

// Families reported by OsAddrGetFamily.
enum OsAddrFamily : int {
  kOsAddrOther = -1,
  kOsAddrIPv4 = 1,
  kOsAddrIPv6 = 2,
  kOsAddrLocal = 3,
};

// Resolves host (null for a passive any-address) and port. Flags 0 leaves the
// resolver's defaults. Null on failure, with the resolver's code as last error.
[[nodiscard]] OS_ADDR* OsResolveAddress(const char* host, int port, uint32_t flags);

[[nodiscard]] OS_ADDR* OsAddrListNext(const OS_ADDR* entry);
// Deep copy of the whole list, or null.
[[nodiscard]] OS_ADDR* OsAddrListCopy(const OS_ADDR* list);
void OsAddrListFree(OS_ADDR* list);

[[nodiscard]] int OsAddrGetFamily(const OS_ADDR* entry);
// The 4 or 16 address bytes inside the entry, and the port in host order;
// null with own code 10 for an entry of another family.
[[nodiscard]] const uint8_t* OsAddrGetIPv4(const OS_ADDR* entry, uint16_t* port);
[[nodiscard]] const uint8_t* OsAddrGetIPv6(const OS_ADDR* entry, uint16_t* port);

// Numeric text of an IPv4 or IPv6 entry (with its port), or the path of a
// local socket entry; null (buffer emptied) otherwise.
char* OsAddrToString(const OS_ADDR* entry, char* buffer, size_t size, uint16_t* port);
