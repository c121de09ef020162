#include "platform/os/os_resolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/un.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/os/os_error.h"

namespace {

// Address length of a local socket entry that carries a path.
constexpr uint32_t kLocalAddressLength = sizeof(sockaddr_un);

addrinfo HintsFor(uint32_t flags) {
  addrinfo hints{};
  if ((flags & kOsResolveIPv6) != 0) {
    hints.ai_family = AF_INET6;
  } else if ((flags & kOsResolveIPv4) != 0) {
    hints.ai_family = AF_INET;
  }
  if ((flags & kOsResolvePassive) != 0) hints.ai_flags |= AI_PASSIVE;
  if ((flags & kOsResolveNumericHost) != 0) hints.ai_flags |= AI_NUMERICHOST;
  if ((flags & kOsResolveStream) != 0) {
    hints.ai_socktype = SOCK_STREAM;
  } else if ((flags & kOsResolveDatagram) != 0) {
    hints.ai_socktype = SOCK_DGRAM;
  }
  return hints;
}

OS_ADDR* NewEntry(const sockaddr* address, size_t length, int family, int type, int protocol) {
  if (length > sizeof(sockaddr_storage)) {
    OsSetOwnError(kOsInvalidArgument);
    return nullptr;
  }
  auto* entry = new (std::nothrow) OS_ADDR;
  if (entry == nullptr) {
    OsSetErrnoError(ENOMEM);
    return nullptr;
  }
  std::memcpy(&entry->address, address, length);
  entry->length = static_cast<uint32_t>(length);
  entry->family = static_cast<uint32_t>(family);
  entry->type = static_cast<uint32_t>(type);
  entry->protocol = static_cast<uint32_t>(protocol);
  return entry;
}

// Copies the resolver's list; an entry that cannot be copied ends the list.
OS_ADDR* CopyResolverList(const addrinfo* info) {
  OS_ADDR* head = nullptr;
  OS_ADDR** tail = &head;
  for (; info != nullptr; info = info->ai_next) {
    OS_ADDR* entry = NewEntry(info->ai_addr, info->ai_addrlen, info->ai_family, info->ai_socktype,
                              info->ai_protocol);
    if (entry == nullptr) break;
    *tail = entry;
    tail = &entry->next;
  }
  return head;
}

void EmptyBuffer(char* buffer, size_t size) {
  if (buffer != nullptr && size != 0) buffer[0] = '\0';
}

}  // namespace

OS_ADDR* OsResolveAddress(const char* host, int port, uint32_t flags) {
  char service[16];
  std::snprintf(service, sizeof(service), "%i", port);
  const addrinfo hints = HintsFor(flags);
  addrinfo* info = nullptr;
  const int result = getaddrinfo(host, service, flags == 0 ? nullptr : &hints, &info);
  if (result != 0) {
    OsSetLastError(kOsDomainResolver, static_cast<uint32_t>(result));
    return nullptr;
  }
  if (info == nullptr) {
    // Never seen from glibc; reported as a missing name rather than trusted.
    OsSetOwnError(kOsNotFound);
    return nullptr;
  }
  OS_ADDR* list = CopyResolverList(info);
  freeaddrinfo(info);
  return list;
}

OS_ADDR* OsAddrListNext(const OS_ADDR* entry) { return entry == nullptr ? nullptr : entry->next; }

OS_ADDR* OsAddrListCopy(const OS_ADDR* list) {
  OS_ADDR* head = nullptr;
  OS_ADDR** tail = &head;
  for (; list != nullptr; list = list->next) {
    OS_ADDR* entry = NewEntry(reinterpret_cast<const sockaddr*>(&list->address), list->length,
                              static_cast<int>(list->family), static_cast<int>(list->type),
                              static_cast<int>(list->protocol));
    if (entry == nullptr) {
      OsAddrListFree(head);
      return nullptr;
    }
    *tail = entry;
    tail = &entry->next;
  }
  return head;
}

void OsAddrListFree(OS_ADDR* list) {
  while (list != nullptr) {
    OS_ADDR* next = list->next;
    delete list;
    list = next;
  }
}

int OsAddrGetFamily(const OS_ADDR* entry) {
  if (entry == nullptr) return kOsAddrOther;
  switch (entry->family) {
    case AF_INET:
      return kOsAddrIPv4;
    case AF_INET6:
      return kOsAddrIPv6;
    case AF_UNIX:
      return kOsAddrLocal;
    default:
      return kOsAddrOther;
  }
}

const uint8_t* OsAddrGetIPv4(const OS_ADDR* entry, uint16_t* port) {
  if (OsAddrGetFamily(entry) != kOsAddrIPv4 || entry->length < sizeof(sockaddr_in)) {
    OsSetOwnError(kOsInvalidArgument);
    return nullptr;
  }
  const auto* in = reinterpret_cast<const sockaddr_in*>(&entry->address);
  if (port != nullptr) *port = ntohs(in->sin_port);
  return reinterpret_cast<const uint8_t*>(&in->sin_addr);
}

const uint8_t* OsAddrGetIPv6(const OS_ADDR* entry, uint16_t* port) {
  if (OsAddrGetFamily(entry) != kOsAddrIPv6 || entry->length < sizeof(sockaddr_in6)) {
    OsSetOwnError(kOsInvalidArgument);
    return nullptr;
  }
  const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&entry->address);
  if (port != nullptr) *port = ntohs(in6->sin6_port);
  return reinterpret_cast<const uint8_t*>(&in6->sin6_addr);
}

char* OsAddrToString(const OS_ADDR* entry, char* buffer, size_t size, uint16_t* port) {
  EmptyBuffer(buffer, size);
  if (buffer == nullptr || size == 0) {
    OsSetOwnError(kOsInvalidArgument);
    return nullptr;
  }
  const int family = OsAddrGetFamily(entry);
  const uint8_t* bytes = nullptr;
  if (family == kOsAddrIPv4) bytes = OsAddrGetIPv4(entry, port);
  if (family == kOsAddrIPv6) bytes = OsAddrGetIPv6(entry, port);
  if (bytes != nullptr) {
    const int af = family == kOsAddrIPv4 ? AF_INET : AF_INET6;
    if (inet_ntop(af, bytes, buffer, static_cast<socklen_t>(size)) != nullptr) return buffer;
    // inet_ntop says ENOSPC, which would read as "disk full" to callers.
    EmptyBuffer(buffer, size);
    OsSetOwnError(kOsTooSmall);
    return nullptr;
  }
  if (family == kOsAddrLocal && entry->length == kLocalAddressLength) {
    const auto* un = reinterpret_cast<const sockaddr_un*>(&entry->address);
    const size_t path_length = strnlen(un->sun_path, sizeof(un->sun_path));
    if (path_length >= size) {
      OsSetOwnError(kOsTooSmall);
      return nullptr;
    }
    std::memcpy(buffer, un->sun_path, path_length);
    buffer[path_length] = '\0';
    return buffer;
  }
  OsSetErrnoError(EAFNOSUPPORT);
  return nullptr;
}
