#include "updater/engine/package/opened_package.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "updater/engine/package/update_package.h"
#include "platform/util/update_errors.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "updater/engine/catalogue/signed_buffer.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr char kModuleFile[] = "em000_64.dat";

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

using Header = std::optional<PackageInfo>;

std::string HeaderValue(const Header& info, const char* key) {
  if (!info) return "<no header>";
  if (!info->Value(key)) return "<none>";
  return info->Text(key, 300);
}

// Every package of a test is made by the signing kit in the test's own
// folder; its temporary folder is the test's own too, so that a file left
// there is seen.
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

  // Opens the package once as its callers do; with PackageRead::kPayload the
  // payload is then written to out. info receives the header on success.
  UPD_ERROR Extract(const std::string& package, PackageRead read, bool skip,
                    const std::string& out = "", Header* info = nullptr) {
    Result<OpenedPackage> opened = OpenedPackage::Open(Path(package).c_str(), read, skip);
    if (!opened) return opened.code();
    if (read == PackageRead::kPayload) {
      const UpdError rc = opened->WritePayload(out.c_str());
      if (rc != kUpdOk) return rc;
    }
    if (info) *info = std::move(opened.value()).TakeInfo();
    return kUpdOk;
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
    Header info;
    EXPECT_EQ(Extract(package, PackageRead::kPayload, c.skip, out, &info), c.expected);
    if (c.expected != kUpdOk) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    EXPECT_EQ(ReadFile(out), c.empty_out ? "" : payload_);
    EXPECT_EQ(HeaderValue(info, "filename"), c.filename.value_or("<none>"));
    EXPECT_EQ(HeaderValue(info, "build"), "1234");
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
    Header info;
    EXPECT_EQ(Extract(package, check_only ? PackageRead::kChecked : PackageRead::kPayload, false,
                      out, &info),
              c.expected);
    if (c.expected != kUpdOk) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    EXPECT_EQ(HeaderValue(info, "filename"), kModuleFile);
    if (check_only) {
      EXPECT_FALSE(fs::exists(out));
      continue;
    }
    EXPECT_TRUE(ReadFile(out) == payload_);
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
    PackageRead read;
    bool skip;
  } kModes[] = {
      {"checked", PackageRead::kPayload, false},
      {"not checked", PackageRead::kPayload, true},
      {"checked, payload not kept", PackageRead::kChecked, false},
      {"header only", PackageRead::kHeader, false},
  };
  for (const auto& mode : kModes) {
    SCOPED_TRACE(mode.name);
    const std::string out = Path(std::string("out-") + mode.name);
    Header info;
    ASSERT_EQ(Extract("injected.nup", mode.read, mode.skip, out, &info), kUpdOk);
    EXPECT_EQ(HeaderValue(info, "filename"), kModuleFile);
    EXPECT_EQ(HeaderValue(info, "build"), "1234");
    if (mode.read == PackageRead::kPayload) {
      EXPECT_EQ(ReadFile(out), payload_);
    }
  }
}

// A header-only opening reads the first 64 KiB and checks only the header.
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
    Header info;
    EXPECT_EQ(Extract(c.file, PackageRead::kHeader, false, "", &info), c.expected);
    if (c.expected == kUpdOk) {
      EXPECT_EQ(HeaderValue(info, "type"), "em000");
    }
  }
  // The same far header is found when the whole file is read.
  EXPECT_EQ(Extract("far.nup", PackageRead::kChecked, false), kUpdOk);
}

// One opening answers everything a caller asks: the header, the payload's
// extent, the signature verdict; what was not read is not claimed.
TEST_F(UpdatePackageTest, OpenedOnceAndAsked) {
  ASSERT_TRUE(MakeNup("genuine.nup"));
  ASSERT_TRUE(MakeNup("foreign.nup", {"--foreign"}));
  ASSERT_TRUE(Tamper("flip-signature", "genuine.nup", "flipped.nup"));
  ASSERT_TRUE(Tamper("truncate", "genuine.nup", "cut.nup", "2000"));
  // A header longer than the first 64 KiB that a header-only opening reads.
  ASSERT_TRUE(MakeNup("long-info.nup", {"note=" + std::string(100000, 'n')}));
  const uint32_t crc = static_cast<uint32_t>(std::stoul(Crc(payload_)));
  const struct {
    const char* name;
    const char* file;
    PackageRead read;
    bool skip;
    UpdError expected;
    SignatureVerdict verdict = SignatureVerdict::kVerified;
  } kCases[] = {
      {"valid", "genuine.nup", PackageRead::kChecked, false, kUpdOk},
      {"valid, kept", "genuine.nup", PackageRead::kPayload, false, kUpdOk},
      {"valid, not checked", "genuine.nup", PackageRead::kChecked, true, kUpdOk,
       SignatureVerdict::kSkipped},
      {"valid, header", "genuine.nup", PackageRead::kHeader, false, kUpdOk,
       SignatureVerdict::kNotRead},
      {"forged signature", "flipped.nup", PackageRead::kChecked, false, kUpdSignatureMismatch},
      {"forged, header", "flipped.nup", PackageRead::kHeader, false, kUpdOk,
       SignatureVerdict::kNotRead},
      {"foreign signer", "foreign.nup", PackageRead::kPayload, false, kUpdSignatureMismatch},
      {"truncated in the payload", "cut.nup", PackageRead::kChecked, false, kUpdBadFile},
      {"truncated, not checked", "cut.nup", PackageRead::kChecked, true, kUpdBadFile},
      {"truncated, header", "cut.nup", PackageRead::kHeader, false, kUpdOk,
       SignatureVerdict::kNotRead},
      {"oversize info", "long-info.nup", PackageRead::kChecked, false, kUpdOk},
      {"oversize info, header", "long-info.nup", PackageRead::kHeader, false, kUpdBadFile},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const Result<OpenedPackage> opened = OpenedPackage::Open(Path(c.file).c_str(), c.read, c.skip);
    ASSERT_EQ(opened.code(), c.expected);
    if (!opened) continue;
    EXPECT_EQ(opened->signature(), c.verdict);
    EXPECT_EQ(opened->info().Int("build", 0), 1234);
    EXPECT_EQ(opened->info().Text("filename", 300), kModuleFile);
    EXPECT_EQ(opened->info().Value("absent"), std::nullopt);
    if (c.read == PackageRead::kHeader) {
      EXPECT_FALSE(opened->payload().has_value());
    } else {
      ASSERT_TRUE(opened->payload().has_value());
      EXPECT_EQ(opened->payload()->size, payload_.size());
      EXPECT_EQ(opened->payload()->crc, crc);
      const std::string package = ReadFile(Path(c.file));
      EXPECT_EQ(package.substr(opened->payload()->offset, payload_.size()), payload_);
    }
    const std::string out = Path(std::string("out-") + c.name);
    if (c.read == PackageRead::kPayload) {
      EXPECT_EQ(opened->WritePayload(out.c_str()), kUpdOk);
      EXPECT_EQ(ReadFile(out), payload_);
    } else {
      EXPECT_EQ(opened->WritePayload(out.c_str()), kUpdInvalidArgument);
      EXPECT_FALSE(fs::exists(out));
    }
  }
  EXPECT_EQ(TmpEntries(), 0u) << "an opening left a file in the temporary folder";
}

// The header is kept exactly as the package holds it, and values read as an
// INI reader gives them: quotes dropped, numbers kept to 32 bits, long text cut.
TEST_F(UpdatePackageTest, HeaderAsParsed) {
  ASSERT_TRUE(MakeNup("genuine.nup", {"quoted=\"a b\"", "big=4294967295", "long=abcdef"}));
  Header info;
  ASSERT_EQ(Extract("genuine.nup", PackageRead::kPayload, false, Path("out"), &info), kUpdOk);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->bytes(), "[update_info]\r\nfilesize=5000\r\ncrc=" + Crc(payload_) +
                               "\r\nbuild=1234\r\ntype=em000\r\nplatform=x64\r\nfilename=" +
                               kModuleFile + "\r\nquoted=\"a b\"\r\nbig=4294967295\r\n" +
                               "long=abcdef\r\n");
  EXPECT_EQ(info->Text("quoted", 300), "a b");
  EXPECT_EQ(info->Value("quoted"), "\"a b\"");
  EXPECT_EQ(info->Int("big", 0), -1);
  EXPECT_EQ(info->Int("type", 7), 0);
  EXPECT_EQ(info->Int("absent", 7), 7);
  EXPECT_EQ(info->Text("long", 4), "ab");
  EXPECT_EQ(info->Text("long", 2), "a");
  EXPECT_EQ(info->Text("absent", 300), "");
  EXPECT_EQ(TmpEntries(), 0u);
}

TEST_F(UpdatePackageTest, CheckOnlyWritesNoPayload) {
  ASSERT_TRUE(MakeNup("genuine.nup"));
  ASSERT_TRUE(Tamper("flip-signature", "genuine.nup", "flipped.nup"));
  const auto before = std::distance(fs::directory_iterator(dir_.path()), {});
  EXPECT_EQ(Extract("genuine.nup", PackageRead::kChecked, false), kUpdOk);
  EXPECT_EQ(Extract("flipped.nup", PackageRead::kChecked, false), kUpdSignatureMismatch);
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
  } kCases[] = {
      {"missing package", "none.nup", Path("out"), kUpdMissing},
      {"empty package", "empty.nup", Path("out"), kUpdBadFile},
      {"header without a marker", "text.nup", Path("out"), kUpdBadFile},
      {"larger than any package", "huge.nup", Path("out"), kUpdBadFile},
      {"payload under a file", "genuine.nup", Path("a-file/out"), kUpdOpenFailed},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Extract(c.package, PackageRead::kPayload, false, c.payload_path), c.expected);
    EXPECT_FALSE(fs::exists(c.payload_path));
  }
  EXPECT_EQ(OpenedPackage::Open(nullptr, PackageRead::kHeader, false).code(), kUpdMissing);
  EXPECT_EQ(TmpEntries(), 0u);
}

}  // namespace
}  // namespace upd::test
