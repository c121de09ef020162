#include "updater/engine/mirror/mirror_markers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/util/update_errors.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

class MirrorMarkerTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name = "zel0000ABCD.nup.inf") const { return dir_.file(name); }

  // A marker holding text as a writer with the same scrambling would leave it.
  void WriteRaw(const std::string& path, std::string text) const {
    ScrambleMarkerBytes(text.data(), text.size());
    WriteFile(path, text);
  }

  TempDir dir_;
};

// The number never reads the wrong way, whatever the generator gave;
// random values 0 and 1 once made an "agreed" 0 that reads as not agreed.
TEST_F(MirrorMarkerTest, TheStoredNumberCarriesTheAgreementForEveryRandomValue) {
  for (const unsigned long random : {0ul, 1ul, 2ul, 3ul, 0x7FFFFFFEul, 0x7FFFFFFFul}) {
    const unsigned long agreed = MarkerNumber(random, true);
    EXPECT_NE(agreed, 0u) << random;
    EXPECT_EQ(agreed % 2, 0u) << random;
    EXPECT_EQ(MarkerNumber(random, false) % 2, 1u) << random;
  }
}

TEST_F(MirrorMarkerTest, WrittenMarkersReadBackWithTheirStateAndName) {
  for (const bool agreed : {true, false}) {
    for (int round = 0; round < 50; ++round) {
      ASSERT_EQ(WriteMarkerFile(Path().c_str(), "zel0000ABCD.nup", agreed), kUpdOk);
      char name[64] = {};
      EXPECT_EQ(ReadMarkerFile(Path().c_str(), "zel0000ABCD.nup", name, sizeof name), agreed);
      EXPECT_STREQ(name, "zel0000ABCD.nup");
    }
  }
  // Not plain text on disk, and no line end.
  const std::string raw = ReadFile(Path());
  EXPECT_EQ(raw.find("zel"), std::string::npos);
  std::string text = raw;
  UnscrambleMarkerBytes(text.data(), text.size());
  EXPECT_TRUE(text.starts_with("zel0000ABCD.nup=")) << text;
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos);
}

TEST_F(MirrorMarkerTest, ScramblingIsUndoneForEveryByteValue) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  std::string scrambled = bytes;
  EXPECT_EQ(ScrambleMarkerBytes(scrambled.data(), scrambled.size()), 256u);
  EXPECT_NE(scrambled, bytes);
  EXPECT_EQ(UnscrambleMarkerBytes(scrambled.data(), scrambled.size()), 256u);
  EXPECT_EQ(scrambled, bytes);
}

TEST_F(MirrorMarkerTest, MarkersReadAsAgreedOnlyWhenWholeAndEven) {
  const struct {
    const char* label;
    std::string text;
    const char* asked;
    bool agreed;
  } cases[] = {
      {"even", "zel1.nup=1A2B3C4E", "zel1.nup", true},
      {"name in other case", "ZEL1.NUP=4", "zel1.nup", true},
      {"any name", "zel1.nup=4", nullptr, true},
      {"zero", "zel1.nup=0", "zel1.nup", false},
      {"odd", "zel1.nup=1A2B3C4D", "zel1.nup", false},
      {"other name", "zel2.nup=4", "zel1.nup", false},
      {"no equals sign", "zel1.nup", "zel1.nup", false},
      {"empty", "", "zel1.nup", false},
  };
  for (const auto& each : cases) {
    WriteRaw(Path(), each.text);
    EXPECT_EQ(ReadMarkerFile(Path().c_str(), each.asked, nullptr, 0), each.agreed) << each.label;
  }
  EXPECT_FALSE(ReadMarkerFile(Path("missing.inf").c_str(), nullptr, nullptr, 0));
  EXPECT_FALSE(ReadMarkerFile("", nullptr, nullptr, 0));
}

TEST_F(MirrorMarkerTest, TheStoredNameIsHandedOutWithItsLength) {
  WriteRaw(Path(), "zel1.nup=3");
  const struct {
    const char* label;
    uint64_t room;
    bool with_buffer;
    UPD_ERROR code;
  } cases[] = {
      {"fits", 64, true, kUpdOk},
      {"one short", 8, true, kUpdResultTooSmall},
      {"no buffer", 64, false, kUpdInvalidArgument},
  };
  for (const auto& each : cases) {
    char name[64] = {};
    uint64_t size = each.room;
    EXPECT_EQ(ReadMarkerName(Path().c_str(), each.with_buffer ? name : nullptr, &size), each.code)
        << each.label;
    EXPECT_EQ(size, 8u) << each.label;
    if (each.code == kUpdOk) {
      EXPECT_STREQ(name, "zel1.nup");
    }
  }
  uint64_t size = 64;
  char name[64] = {};
  EXPECT_EQ(ReadMarkerName(Path().c_str(), name, nullptr), kUpdInvalidArgument);
  EXPECT_EQ(ReadMarkerName(Path("missing.inf").c_str(), name, &size), kUpdMissing);
  WriteRaw(Path(), "no name part");
  EXPECT_EQ(ReadMarkerName(Path().c_str(), name, &size), kUpdBadFile);
}

TEST_F(MirrorMarkerTest, AMarkerThatCannotBeWrittenIsReported) {
  EXPECT_EQ(WriteMarkerFile("", "zel1.nup", true), kUpdMissing);
  std::filesystem::create_directories(Path("folder.inf"));
  EXPECT_EQ(WriteMarkerFile(Path("folder.inf").c_str(), "zel1.nup", true), kUpdMissing);
  EXPECT_EQ(MarkerFileName("/m/zel1.nup"), "/m/zel1.nup.inf");
}

}  // namespace
}  // namespace upd::test
