#include "platform/os/os_library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/os/os_error.h"
#include "support/temp_dir.h"

namespace {

using upd::test::TempDir;

// A real shared object to copy under other names.
const char* kCrypto = "/usr/lib/x86_64-linux-gnu/libcrypto.so.3";

void CopyLibrary(const std::string& to) { std::filesystem::copy_file(kCrypto, to); }

TEST(OsLibraryLoad, LoadsTheSystemCryptoLibraryByItsBareName) {
  OS_LIBRARY* crypto = OsLibraryLoad("libcrypto", 0);
  ASSERT_NE(crypto, nullptr);
  using VersionNum = unsigned long (*)();
  auto version = reinterpret_cast<VersionNum>(OsLibrarySymbol(crypto, "OpenSSL_version_num"));
  ASSERT_NE(version, nullptr);
  EXPECT_GE(version(), 0x10000000UL);
  OsSetOwnError(77);
  EXPECT_EQ(OsLibrarySymbol(crypto, "NoSuchSymbolAnywhere"), nullptr);
  EXPECT_EQ(OsGetLastError(), 77u) << "a missing symbol leaves the last error";
  OsLibraryUnload(crypto);
}

TEST(OsLibraryLoad, SearchesTheLibraryFoldersWhenTheLoaderCannotOpenTheName) {
  // libm.so is a linker script that dlopen refuses; the search finds libm.so.6.
  void* direct = dlopen("libm.so", RTLD_LAZY);
  if (direct != nullptr) {
    dlclose(direct);
    GTEST_SKIP() << "libm.so opens directly here";
  }
  OS_LIBRARY* math = OsLibraryLoad("libm", 0);
  ASSERT_NE(math, nullptr);
  EXPECT_NE(OsLibrarySymbol(math, "cos"), nullptr);
  OsLibraryUnload(math);
}

TEST(OsLibraryLoad, NamesEndingInDllAreNeverOpened) {
  TempDir dir;
  // A loadable file named .dll: loading it would succeed if it were tried.
  const std::string path = dir.file("libcopy.dll");
  CopyLibrary(path);
  EXPECT_EQ(OsLibraryLoad(path.c_str(), 0), nullptr);
  EXPECT_EQ(OsGetLastError(), 24u);
  EXPECT_EQ(dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD), nullptr) << "it was loaded";
  EXPECT_EQ(OsLibraryLoad("crypto.dll", 0), nullptr);
  EXPECT_EQ(OsGetLastError(), 24u);
}

TEST(OsLibraryLoad, AppendsSoUnlessTheNameAlreadyHasIt) {
  TempDir dir;
  CopyLibrary(dir.file("libcopy.so"));
  CopyLibrary(dir.file("libother.so.1.1"));
  CopyLibrary(dir.file("libbare"));
  struct Case {
    std::string name;
    bool loads;
  };
  const Case cases[] = {
      {dir.file("libcopy"), true},          // becomes libcopy.so
      {dir.file("libcopy.so"), true},       // unchanged
      {dir.file("libother.so.1.1"), true},  // unchanged, holds ".so."
      {dir.file("libother.so.1"), false},   // unchanged, and absent
      {dir.file("libbare"), false},         // becomes libbare.so, which is absent
      {dir.file("libcopy.sox"), false},     // becomes libcopy.sox.so
  };
  for (const auto& c : cases) {
    OS_LIBRARY* library = OsLibraryLoad(c.name.c_str(), 0);
    EXPECT_EQ(library != nullptr, c.loads) << c.name;
    if (library == nullptr) {
      EXPECT_EQ(OsGetLastError(), 24u) << c.name;
    }
    OsLibraryUnload(library);
  }
}

TEST(OsLibraryLoadDeathTest, FlagsOtherThanZeroAbort) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH((void)OsLibraryLoad("libm", 1), "");
}

TEST(OsLibraryLoad, ArgumentErrors) {
  EXPECT_EQ(OsLibraryLoad(nullptr, 0), nullptr);
  EXPECT_EQ(OsGetLastError(), 10u);
  EXPECT_EQ(OsLibraryLoad("libdefinitelynotinstalled", 0), nullptr);
  EXPECT_EQ(OsGetLastError(), 24u);
  EXPECT_EQ(OsLibrarySymbol(nullptr, "x"), nullptr);
  EXPECT_EQ(OsGetLastError(), 10u);
  OS_LIBRARY* crypto = OsLibraryLoad("libcrypto", 0);
  ASSERT_NE(crypto, nullptr);
  EXPECT_EQ(OsLibrarySymbol(crypto, nullptr), nullptr);
  EXPECT_EQ(OsGetLastError(), 10u);
  OsLibraryUnload(crypto);
  OsLibraryUnload(nullptr);
}

}  // namespace
