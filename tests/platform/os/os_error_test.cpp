#include "platform/os/os_error.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "support/temp_dir.h"

namespace {

// errno names with a portable code of their own; every other value is 1.
const std::map<std::string, uint32_t>& NamedCodes() {
  static const std::map<std::string, uint32_t> codes = {
      {"ENOMEM", 2},           {"EIO", 3},
      {"ERANGE", 8},           {"ENAMETOOLONG", 8},
      {"EINVAL", 10},          {"EFAULT", 10},
      {"ENOENT", 11},          {"ENOTDIR", 11},
      {"EACCES", 13},          {"ETIMEDOUT", 15},
      {"EAGAIN", 16},          {"EINPROGRESS", 16},
      {"EINTR", 17},           {"ECONNREFUSED", 23},
      {"EPIPE", 25},           {"ENOTCONN", 26},
      {"ECONNRESET", 27},      {"ENOSPC", 93},
      {"EPERM", 29},           {"ESRCH", 30},
      {"ENXIO", 31},           {"E2BIG", 32},
      {"ENOEXEC", 33},         {"EBADF", 34},
      {"ECHILD", 35},          {"ENOTBLK", 36},
      {"EBUSY", 37},           {"EEXIST", 38},
      {"EXDEV", 39},           {"ENODEV", 40},
      {"EISDIR", 41},          {"ENFILE", 42},
      {"EMFILE", 43},          {"ENOTTY", 44},
      {"ETXTBSY", 45},         {"EFBIG", 46},
      {"ESPIPE", 48},          {"EROFS", 49},
      {"EMLINK", 50},          {"ENOSYS", 51},
      {"ENOTEMPTY", 52},       {"ELOOP", 53},
      {"ENOMSG", 54},          {"ENODATA", 55},
      {"ETIME", 56},           {"ENONET", 57},
      {"EPROTO", 58},          {"EBADMSG", 59},
      {"EOVERFLOW", 60},       {"EBADFD", 61},
      {"EUSERS", 62},          {"ENOTSOCK", 63},
      {"EDESTADDRREQ", 64},    {"EMSGSIZE", 65},
      {"EPROTOTYPE", 66},      {"ENOPROTOOPT", 67},
      {"EPROTONOSUPPORT", 68}, {"ESOCKTNOSUPPORT", 69},
      {"EPFNOSUPPORT", 70},    {"EAFNOSUPPORT", 71},
      {"EADDRINUSE", 72},      {"EADDRNOTAVAIL", 73},
      {"ENETDOWN", 74},        {"ENETUNREACH", 75},
      {"ENETRESET", 76},       {"ECONNABORTED", 77},
      {"ENOBUFS", 78},         {"EHOSTDOWN", 79},
      {"EHOSTUNREACH", 80},    {"EALREADY", 81},
      {"EREMOTEIO", 82},       {"EDQUOT", 83},
      {"ENOMEDIUM", 84},       {"ECANCELED", 85},
  };
  return codes;
}

// Python's errno module names every value of this platform, independently of
// the table in the library.
std::map<int, std::string> ErrnoNamesFromPython() {
  const char* python = std::getenv("PYTHON3");
  std::string out;
  const std::string command =
      std::string(python != nullptr ? python : "python3") +
      " -c 'import errno\nfor n in range(0, 200): print(n, errno.errorcode.get(n, \"-\"))'";
  EXPECT_EQ(upd::test::RunCommand(command, &out), 0);
  std::map<int, std::string> names;
  std::istringstream lines(out);
  int n = 0;
  std::string name;
  while (lines >> n >> name) names[n] = name;
  return names;
}

TEST(OsPortableFromErrno, MapsEveryErrnoValueByItsName) {
  const auto names = ErrnoNamesFromPython();
  ASSERT_EQ(names.size(), 200u);
  size_t named = 0;
  for (const auto& [value, name] : names) {
    uint32_t expected = 1;
    if (value == 0) {
      expected = 0;
    } else if (value <= 125 && NamedCodes().count(name) != 0) {
      expected = NamedCodes().at(name);
      ++named;
    }
    EXPECT_EQ(OsPortableFromErrno(value), expected) << value << " " << name;
    OsSetErrnoError(value);
    EXPECT_EQ(OsGetLastError(), expected) << value << " " << name;
  }
  // Aliases (EWOULDBLOCK, EDEADLOCK) share numbers; every named code was seen.
  EXPECT_EQ(named, NamedCodes().size());
  EXPECT_EQ(OsPortableFromErrno(-5), 1u);
  EXPECT_EQ(OsPortableFromErrno(100000), 1u);
}

TEST(OsGetLastError, TranslatesEachDomain) {
  OsSetLastError(kOsDomainResolver, static_cast<uint32_t>(EAI_MEMORY));
  EXPECT_EQ(OsGetLastError(), 2u);
  OsSetLastError(kOsDomainResolver, static_cast<uint32_t>(EAI_NONAME));
  EXPECT_EQ(OsGetLastError(), 1u);
  OsSetLastError(kOsDomainResolver, static_cast<uint32_t>(EAI_AGAIN));
  EXPECT_EQ(OsGetLastError(), 1u);
  OsSetOwnError(24);
  EXPECT_EQ(OsGetLastError(), 24u);
  OsSetOwnError(ENOENT);  // own codes are not errno values
  EXPECT_EQ(OsGetLastError(), static_cast<uint32_t>(ENOENT));
  OsSetLastError(kOsDomainErrno, 0);
  EXPECT_EQ(OsGetLastError(), 0u);
}

TEST(OsGetLastError, IsPerThread) {
  OsSetOwnError(20);
  uint32_t seen_by_new_thread = 99;
  uint32_t set_by_other = 0;
  std::thread other([&] {
    seen_by_new_thread = OsGetLastError();
    OsSetOwnError(15);
    set_by_other = OsGetLastError();
  });
  other.join();
  EXPECT_EQ(seen_by_new_thread, 0u);
  EXPECT_EQ(set_by_other, 15u);
  EXPECT_EQ(OsGetLastError(), 20u);
}

}  // namespace
