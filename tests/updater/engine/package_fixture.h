#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/store/profile_cache.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "updater/engine/lists/component_list.h"

namespace upd::test {

// A list entry as a folder scan leaves it.
struct Seen {
  std::string module;
  std::string file;
  uint32_t flags;
};

inline bool operator==(const Seen& a, const Seen& b) {
  return a.module == b.module && a.file == b.file && a.flags == b.flags;
}

inline std::ostream& operator<<(std::ostream& out, const Seen& s) {
  return out << s.module << " " << s.file << " 0x" << std::hex << s.flags;
}

inline std::vector<Seen> SeenOf(const CListBase& list) {
  std::vector<Seen> out;
  for (const _COMPONENT_INFO& entry : list)
    out.push_back({entry.module, PackageLocation(entry), entry.flags});
  return out;
}

// A test folder for package files made by the signing kit. The temporary
// INI files of the package reader go to its "tmp" folder (TMPDIR), and the
// profile cache is emptied before and after each test.
class PackageFolderTest : public ::testing::Test {
 protected:
  PackageFolderTest() { ProfileCacheClear(); }
  ~PackageFolderTest() override { ProfileCacheClear(); }

  void SetUp() override {
    std::filesystem::create_directories(Tmp());
    ASSERT_EQ(setenv("TMPDIR", Tmp().c_str(), 1), 0);
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  std::string Path(const std::string& name) const { return dir_.file(name); }
  std::string Tmp() const { return dir_.file("tmp"); }
  bool TmpIsEmpty() const { return std::filesystem::is_empty(Tmp()); }

  // An engine package header for module on x64, then the given keys.
  static std::vector<std::string> EngineKeys(const std::string& module,
                                             std::vector<std::string> keys = {}) {
    std::vector<std::string> all = {"category=engine", "platform=x64", "type=" + module,
                                    "filename=" + module + ".dat"};
    all.insert(all.end(), keys.begin(), keys.end());
    return all;
  }

  // The package at path (folders made) with the header keys, unsigned
  // unless signing is asked for; kit options may follow the keys.
  bool MakePackage(const std::string& path, const std::vector<std::string>& keys, bool sign = false,
                   const std::string& payload = "module bytes\n") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string payload_path = Path("payload.bin");
    WriteFile(payload_path, payload);
    std::vector<std::string> args = {"nup", path, payload_path};
    args.insert(args.end(), keys.begin(), keys.end());
    if (!sign) args.push_back("--unsigned");
    return SignKit(args);
  }

  TempDir dir_;
};

}  // namespace upd::test
