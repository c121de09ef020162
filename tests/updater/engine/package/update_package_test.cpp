#include "updater/engine/package/update_package.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/store/profile_cache.h"
#include "platform/util/update_errors.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "updater/engine/catalogue/signed_buffer.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr char kModuleFile[] = "em000_64.dat";
constexpr size_t kIniSize = 4096;

std::string RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  std::string out(n, '\0');
  for (char& c : out) c = static_cast<char>(random());
  return out;
}

std::string Crc(const std::string& data) {
  return std::to_string(crc32(0, reinterpret_cast<const Bytef*>(data.data()),
                              static_cast<uInt>(data.size())));
}

std::string IniValue(const std::string& ini, const char* key) {
  char value[300] = {};
  (void)ProfileGetString("update_info", key, "<none>", value, sizeof(value), ini.c_str());
  (void)ProfileWriteString(nullptr, nullptr, nullptr, ini.c_str());
  return value;
}

// Every package of a test is made by the signing kit in the test's own
// folder; the INI files go to a temporary folder of the test's own.
class UpdatePackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directory(Tmp());
    ASSERT_EQ(setenv("TMPDIR", Tmp().c_str(), 1), 0);
    payload_ = RandomBytes(5000, 1);
    WriteFile(Path("payload.bin"), payload_);
    WriteFile(Path("empty.bin"), "");
  }
  void TearDown() override { unsetenv("TMPDIR"); }

  std::string Path(const std::string& name) const { return dir_.file(name); }
  std::string Tmp() const { return dir_.file("tmp"); }
  size_t TmpEntries() const {
    size_t n = 0;
    for (auto it = fs::directory_iterator(Tmp()); it != fs::directory_iterator(); ++it) ++n;
    return n;
  }

  // A package of payload.bin (or another payload) with the usual header keys
  // and filename, plus the kit's extra arguments.
  bool MakeNup(const std::string& name, std::vector<std::string> extra = {},
               std::optional<std::string> filename = kModuleFile,
               const std::string& payload = "payload.bin") {
    std::vector<std::string> args = {"nup",         Path(name),   Path(payload), "build=1234",
                                     "type=em000",  "platform=x64"};
    if (filename) args.push_back("filename=" + *filename);
    args.insert(args.end(), extra.begin(), extra.end());
    return SignKit(args);
  }
  bool Tamper(const std::string& op, const std::string& in, const std::string& out,
              const std::string& arg = "") {
    std::vector<std::string> args = {"tamper", op, Path(in), Path(out)};
    if (!arg.empty()) args.push_back(arg);
    return SignKit(args);
  }

  UPD_ERROR Extract(const std::string& package, const char* payload_path, bool skip,
                    std::string* ini = nullptr) {
    char buffer[kIniSize] = "previous";
    const UPD_ERROR rc = ExtractUpdateInfoPackage(Path(package).c_str(), payload_path,
                                                  ini ? buffer : nullptr, kIniSize, skip);
    if (ini) *ini = buffer;
    return rc;
  }

  TempDir dir_;
  std::string payload_;
};

struct ContainerCase {
  const char* name;
  std::vector<std::string> nup_args = {};
  std::optional<std::string> filename = kModuleFile;
  const char* payload = "payload.bin";
  const char* tamper = nullptr;
  bool skip = false;
  UPD_ERROR expected = kUpdOk;
  bool empty_out = false;
};

// The package as written, damaged, or with an unsafe module file name, opened
// whole with its payload written out.
TEST_F(UpdatePackageTest, ContainerTable) {
  const std::vector<ContainerCase> kCases = {
      {.name = "valid"},
      {.name = "upper-case marker", .nup_args = {"--upper-marker"}},
      {.name = "marker ending in 0x01", .nup_args = {"--marker-end", "01"},
       .expected = kUpdBadFile},
      {.name = "filesize one more", .nup_args = {"filesize=5001"}, .expected = kUpdBadFile},
      {.name = "CRC mismatch under a valid signature", .nup_args = {"--corrupt-payload"},
       .expected = kUpdBadFile},
      {.name = "payload byte flipped after signing", .tamper = "flip-payload",
       .expected = kUpdBadFile},
      {.name = "signature byte flipped", .tamper = "flip-signature",
       .expected = kUpdSignatureMismatch},
      {.name = "signature byte flipped, not checked", .tamper = "flip-signature", .skip = true},
      {.name = "last byte cut", .tamper = "truncate", .expected = kUpdSignatureMismatch},
      {.name = "key the update key never certified", .nup_args = {"--foreign"},
       .expected = kUpdSignatureMismatch},
      {.name = "repository signer", .nup_args = {"--signer", std::string(kRepositorySigner)},
       .expected = kUpdSignatureMismatch},
      {.name = "unsigned, not checked", .nup_args = {"--unsigned"}, .skip = true},
      {.name = "unsigned", .nup_args = {"--unsigned"}, .expected = kUpdSignatureMismatch},
      {.name = "empty payload ending the signed content", .payload = "empty.bin",
       .empty_out = true},
      {.name = "no filesize, crc 0: empty payload", .nup_args = {"--omit", "filesize", "crc=0"},
       .empty_out = true},
      {.name = "no crc", .nup_args = {"--omit", "crc"}, .expected = kUpdBadFile},
      {.name = "header after 70000 bytes", .nup_args = {"--prefix", "70000"}},
      {.name = "filename ../x", .filename = "../x", .expected = kUpdBadFile},
      {.name = "filename a/b", .filename = "a/b", .expected = kUpdBadFile},
      {.name = "filename a\\b", .filename = "a\\b", .expected = kUpdBadFile},
      {.name = "filename ..", .filename = "..", .expected = kUpdBadFile},
      {.name = "filename .", .filename = ".", .expected = kUpdBadFile},
      {.name = "filename a..b", .filename = "a..b", .expected = kUpdBadFile},
      {.name = "empty filename", .filename = "", .expected = kUpdBadFile},
      {.name = "filename of 256 bytes", .filename = std::string(256, 'a'),
       .expected = kUpdBadFile},
      {.name = "filename of 255 bytes", .filename = std::string(255, 'a')},
      {.name = "no filename", .filename = std::nullopt, .expected = kUpdBadFile},
      {.name = "unsafe filename, not checked", .nup_args = {"--unsigned"}, .filename = "/etc/x",
       .skip = true, .expected = kUpdBadFile},
  };
  for (size_t i = 0; i < kCases.size(); ++i) {
    const ContainerCase& c = kCases[i];
    SCOPED_TRACE(c.name);
    const std::string made = "made" + std::to_string(i) + ".nup";
    ASSERT_TRUE(MakeNup(made, c.nup_args, c.filename, c.payload));
    std::string package = made;
    if (c.tamper != nullptr) {
      package = "tampered" + std::to_string(i) + ".nup";
      ASSERT_TRUE(Tamper(c.tamper, made, package));
    }
    const std::string out = Path("out" + std::to_string(i));
    std::string ini;
    EXPECT_EQ(Extract(package, out.c_str(), c.skip, &ini), c.expected);
    if (c.expected != kUpdOk) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    EXPECT_EQ(ReadFile(out), c.empty_out ? "" : payload_);
    EXPECT_EQ(IniValue(ini, "filename"), c.filename.value_or("<none>"));
    EXPECT_EQ(IniValue(ini, "build"), "1234");
  }
}

// A payload of several read windows, checked in one pass while the
// signature is verified: damage anywhere in it is found, the whole payload
// is written, and a header beyond the first window is still found.
TEST_F(UpdatePackageTest, PayloadAcrossManyWindows) {
  payload_ = RandomBytes(size_t{5} << 19, 2);
  WriteFile(Path("large.bin"), payload_);
  const std::vector<ContainerCase> kCases = {
      {.name = "valid"},
      {.name = "valid, checked only"},
      {.name = "header after 1.5 MiB", .nup_args = {"--prefix", "1572864"}},
      {.name = "CRC mismatch under a valid signature",
       .nup_args = {"--corrupt-payload"},
       .expected = kUpdBadFile},
      {.name = "last payload byte flipped", .tamper = "flip-payload", .expected = kUpdBadFile},
      {.name = "signature byte flipped",
       .tamper = "flip-signature",
       .expected = kUpdSignatureMismatch},
      {.name = "last byte cut", .tamper = "truncate", .expected = kUpdSignatureMismatch},
      {.name = "filesize one more", .nup_args = {"filesize=2621441"}, .expected = kUpdBadFile},
  };
  for (size_t i = 0; i < kCases.size(); ++i) {
    const ContainerCase& c = kCases[i];
    SCOPED_TRACE(c.name);
    const std::string made = "large" + std::to_string(i) + ".nup";
    ASSERT_TRUE(MakeNup(made, c.nup_args, c.filename, "large.bin"));
    std::string package = made;
    if (c.tamper != nullptr) {
      package = "tampered" + std::to_string(i) + ".nup";
      ASSERT_TRUE(Tamper(c.tamper, made, package));
    }
    const bool check_only = i == 1;
    const std::string out = Path("out" + std::to_string(i));
    std::string ini;
    EXPECT_EQ(Extract(package, check_only ? kPackageCheckOnly : out.c_str(), false, &ini),
              c.expected);
    EXPECT_EQ(ini.empty(), false);
    if (c.expected != kUpdOk || check_only) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    EXPECT_TRUE(ReadFile(out) == payload_);
    EXPECT_EQ(IniValue(ini, "filename"), kModuleFile);
  }
}

// The literal data's file name is not signed. A whole container put there
// (header, marker and payload of the attacker's choosing) keeps the
// signature valid, yet the package still yields only its signed content.
TEST_F(UpdatePackageTest, HeaderInTheLiteralFileNameIsNeverRead) {
  ASSERT_TRUE(MakeNup("genuine.nup"));
  WriteFile(Path("evil.bin"), "EVIL");
  ASSERT_TRUE(SignKit({"nup", Path("evil.nup"), Path("evil.bin"), "filename=../evil",
                       "build=999", "--unsigned"}));
  ASSERT_TRUE(Tamper("inject-name", "genuine.nup", "injected.nup", Path("evil.nup")));
  const std::string injected = ReadFile(Path("injected.nup"));
  const std::vector<uint8_t> bytes(injected.begin(), injected.end());
  uint64_t offset = 0;
  uint64_t length = 0;
  ASSERT_TRUE(CheckSignedBuffer(bytes.data(), bytes.size(), &offset, &length, kUpdateSigner))
      << "the injection must keep the signature valid, or it shows nothing";
  ASSERT_LT(injected.find("../evil"), offset);

  const struct {
    const char* name;
    const char* payload_path;
    bool skip;
  } kModes[] = {
      {"checked", "out-checked", false},
      {"not checked", "out-skipped", true},
      {"header only", nullptr, false},
  };
  for (const auto& mode : kModes) {
    SCOPED_TRACE(mode.name);
    const std::string out = mode.payload_path ? Path(mode.payload_path) : "";
    std::string ini;
    ASSERT_EQ(Extract("injected.nup", mode.payload_path ? out.c_str() : nullptr, mode.skip, &ini),
              kUpdOk);
    EXPECT_EQ(IniValue(ini, "filename"), kModuleFile);
    EXPECT_EQ(IniValue(ini, "build"), "1234");
    if (mode.payload_path) {
      EXPECT_EQ(ReadFile(out), payload_);
    }
  }
}

// A null payload path reads the first 64 KiB and checks only the header.
TEST_F(UpdatePackageTest, HeaderOnly) {
  WriteFile(Path("large.bin"), RandomBytes(300000, 2));
  ASSERT_TRUE(MakeNup("genuine.nup"));
  ASSERT_TRUE(MakeNup("large.nup", {}, kModuleFile, "large.bin"));
  ASSERT_TRUE(MakeNup("crc.nup", {"--corrupt-payload"}));
  ASSERT_TRUE(MakeNup("far.nup", {"--prefix", "65536"}));
  ASSERT_TRUE(MakeNup("unsafe.nup", {}, "../x"));
  ASSERT_TRUE(Tamper("flip-signature", "genuine.nup", "flipped.nup"));
  const struct {
    const char* file;
    UPD_ERROR expected;
  } kCases[] = {
      {"genuine.nup", kUpdOk},  {"large.nup", kUpdOk},   {"crc.nup", kUpdOk},
      {"flipped.nup", kUpdOk},  {"far.nup", kUpdBadFile}, {"unsafe.nup", kUpdBadFile},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    std::string ini;
    EXPECT_EQ(Extract(c.file, nullptr, false, &ini), c.expected);
    if (c.expected == kUpdOk) {
      EXPECT_EQ(IniValue(ini, "type"), "em000");
    }
  }
  // The same far header is found when the whole file is read.
  EXPECT_EQ(Extract("far.nup", kPackageCheckOnly, false), kUpdOk);
}

// The INI file holds exactly the header; it stays for a caller that takes
// its path (also on failure) and is gone otherwise.
TEST_F(UpdatePackageTest, IniFile) {
  ASSERT_TRUE(MakeNup("genuine.nup"));
  ASSERT_TRUE(MakeNup("crc.nup", {"--corrupt-payload"}));
  std::string ini;
  ASSERT_EQ(Extract("genuine.nup", Path("out").c_str(), false, &ini), kUpdOk);
  EXPECT_EQ(fs::path(ini).parent_path(), fs::path(Tmp()));
  EXPECT_EQ(fs::path(ini).filename().string().rfind("NSFX.", 0), 0u);
  EXPECT_EQ(ReadFile(ini), "[update_info]\r\nfilesize=5000\r\ncrc=" + Crc(payload_) +
                               "\r\nbuild=1234\r\ntype=em000\r\nplatform=x64\r\nfilename=" +
                               kModuleFile + "\r\n");
  // Dropped from the profile cache: the file's own content is what reads back.
  WriteFile(ini, "[update_info]\nfilename=changed\n");
  EXPECT_EQ(IniValue(ini, "filename"), "changed");

  std::string failed_ini;
  EXPECT_EQ(Extract("crc.nup", Path("out2").c_str(), false, &failed_ini), kUpdBadFile);
  EXPECT_TRUE(fs::exists(failed_ini));
  EXPECT_EQ(TmpEntries(), 2u);

  EXPECT_EQ(Extract("genuine.nup", Path("out3").c_str(), false), kUpdOk);
  EXPECT_EQ(Extract("crc.nup", Path("out4").c_str(), false), kUpdBadFile);
  EXPECT_EQ(Extract("genuine.nup", nullptr, false), kUpdOk);
  EXPECT_EQ(TmpEntries(), 2u) << "an INI file without a caller was left behind";
}

TEST_F(UpdatePackageTest, CheckOnlyWritesNoPayload) {
  ASSERT_TRUE(MakeNup("genuine.nup"));
  ASSERT_TRUE(Tamper("flip-signature", "genuine.nup", "flipped.nup"));
  const auto before = std::distance(fs::directory_iterator(dir_.path()), {});
  EXPECT_EQ(Extract("genuine.nup", kPackageCheckOnly, false), kUpdOk);
  EXPECT_EQ(Extract("flipped.nup", kPackageCheckOnly, false), kUpdSignatureMismatch);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), before);
  EXPECT_EQ(TmpEntries(), 0u);
}

TEST_F(UpdatePackageTest, Errors) {
  ASSERT_TRUE(MakeNup("genuine.nup"));
  WriteFile(Path("empty.nup"), "");
  WriteFile(Path("text.nup"), "[update_info]\r\nfilesize=0\r\n");
  WriteFile(Path("a-file"), "x");
  // Sparse: larger than a 32-bit payload and its framing, never read.
  WriteFile(Path("huge.nup"), "");
  fs::resize_file(Path("huge.nup"), (uint64_t{1} << 32) + (uint64_t{65} << 20));
  const struct {
    const char* name;
    const char* package;
    std::string payload_path;
    UPD_ERROR expected;
    bool ini_made;
  } kCases[] = {
      {"missing package", "none.nup", Path("out"), kUpdMissing, false},
      {"empty package", "empty.nup", Path("out"), kUpdBadFile, false},
      {"header without a marker", "text.nup", Path("out"), kUpdBadFile, false},
      {"larger than any package", "huge.nup", Path("out"), kUpdBadFile, false},
      {"payload under a file", "genuine.nup", Path("a-file/out"), kUpdOpenFailed, true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string ini;
    EXPECT_EQ(Extract(c.package, c.payload_path.c_str(), false, &ini), c.expected);
    EXPECT_EQ(!ini.empty(), c.ini_made);
  }

  // The buffer's size bounds the temporary name; one too small fails.
  char small[8] = "junk";
  EXPECT_EQ(ExtractUpdateInfoPackage(Path("genuine.nup").c_str(), nullptr, small, sizeof(small),
                                     false),
            kUpdTempFileFailed);
  EXPECT_STREQ(small, "");
  EXPECT_EQ(ExtractUpdateInfoPackage(nullptr, nullptr, small, sizeof(small), false), kUpdMissing);
}

}  // namespace
}  // namespace upd::test
