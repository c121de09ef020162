#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "testhost/library_host.h"
#include "updater.h"

namespace upd::test {

// The library the build made: UPD_LIBRARY when the environment names it,
// else its place in the build tree.
inline std::string BuiltLibraryPath() {
  const char* named = std::getenv("UPD_LIBRARY");
  return named != nullptr && *named != '\0' ? named : BinaryPath("lib/libupdater.so");
}

// The built library loaded as the host loads it, once per test process.
inline testhost::LibraryHost& Library() {
  static testhost::LibraryHost library(BuiltLibraryPath());
  return library;
}

#define LIB(name) UPD_EXPORT(::upd::test::Library(), name)

// A library context on folders of the test's own, with a host whose
// settings name a settings store there.
class LibraryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Library().loaded()) << Library().error();
    std::filesystem::create_directories(Modules());
    std::filesystem::create_directories(Data());
    const std::string store = "file://" + StorePath();
    std::memcpy(host_.settings()->settingsStore, store.c_str(), store.size() + 1);
    context_ = LIB(UpdInitialize)(Data().c_str(), Modules().c_str(), "1.2.3", "host");
    ASSERT_NE(context_, nullptr);
  }

  void TearDown() override { LIB(UpdUninitialize)(context_); }

  std::string Data() const { return dir_.file("data"); }
  std::string Modules() const { return dir_.file("modules"); }
  std::string StorePath() const { return dir_.file("settings.ini"); }
  std::string UpdateFile(const std::string& name) const { return Data() + "/updfiles/" + name; }

  TempDir dir_;
  testhost::EventHost host_;
  UPDATER_CONTEXT* context_ = nullptr;
};

}  // namespace upd::test
