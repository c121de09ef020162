#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "platform/os/os_resolve.h"
#include "updater.h"

namespace {

// Event 23 hands the host the OS layer's own address list; the host reads
// it as UPD_SERVER_ADDRESS, so the two must agree field by field.
static_assert(sizeof(sockaddr_storage) == sizeof(UPD_SERVER_ADDRESS::address));
static_assert(offsetof(OS_ADDR, address) == offsetof(UPD_SERVER_ADDRESS, address));
static_assert(offsetof(OS_ADDR, length) == offsetof(UPD_SERVER_ADDRESS, length));
static_assert(offsetof(OS_ADDR, family) == offsetof(UPD_SERVER_ADDRESS, family));
static_assert(offsetof(OS_ADDR, type) == offsetof(UPD_SERVER_ADDRESS, socketType));
static_assert(offsetof(OS_ADDR, protocol) == offsetof(UPD_SERVER_ADDRESS, protocol));
static_assert(offsetof(OS_ADDR, next) == offsetof(UPD_SERVER_ADDRESS, next));
static_assert(sizeof(OS_ADDR) == sizeof(UPD_SERVER_ADDRESS));

TEST(EventRecords, HostReadsTheResolvedAddressList) {
  OS_ADDR* list = OsResolveAddress("127.0.0.1", 8080, kOsResolveStream | kOsResolveNumericHost);
  ASSERT_NE(list, nullptr);
  const auto* entry = reinterpret_cast<const UPD_SERVER_ADDRESS*>(list);
  ASSERT_EQ(entry->family, static_cast<uint32_t>(AF_INET));
  sockaddr_in v4{};
  std::memcpy(&v4, entry->address, sizeof v4);
  char text[INET_ADDRSTRLEN] = {};
  ASSERT_NE(inet_ntop(AF_INET, &v4.sin_addr, text, sizeof text), nullptr);
  EXPECT_EQ(std::string(text), "127.0.0.1");
  EXPECT_EQ(ntohs(v4.sin_port), 8080);
  EXPECT_EQ(static_cast<const void*>(entry->next), static_cast<const void*>(list->next));
  OsAddrListFree(list);
}

}  // namespace
