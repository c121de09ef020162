#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "updater/engine/common/engine_paths.h"
#include "updater/engine/common/locale_name.h"
#include "updater/engine/common/platform_identity.h"
#include "updater/engine/common/version_numbers.h"

namespace {

TEST(EngineHelpers, PlatformIdentityOfThisBuild) {
  EXPECT_STREQ(GetPlatformName(), "linux");
  EXPECT_STREQ(GetArchName(), "x64");
  EXPECT_EQ(GetPlatformIdOfBuild(), 1u);
}

TEST(EngineHelpers, DottedVersionsAsNumbers) {
  const struct {
    const char* text;
    uint64_t four;
    uint64_t three;
  } cases[] = {
      {"1.2", 0x0001000200000000, 0x0001000200000000},
      {"1.2.3", 0x0001000200030000, 0x0001000200000003},
      {"1.2.3.4", 0x0001000200030004, 0x0001000200000003},
      {"1.2.3.4.5", 0x0001000200030004, 0x0001000200000003},
      {"x", 0, 0},
      {"", 0, 0},
      {"7", 0x0007000000000000, 0x0007000000000000},
      {"1.x.3", 0x0001000000000000, 0x0001000000000000},
      {"1..3", 0x0001000000000000, 0x0001000000000000},
      {"1.2-rc1.3", 0x0001000200000000, 0x0001000200000000},
      {"65535.65536.1", 0xFFFF000000010000, 0xFFFF000000000001},  // parts kept to 16 bits
      {"12.0.1234.0", 0x000C000004D20000, 0x000C0000000004D2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseVersion4(c.text), c.four) << c.text;
    EXPECT_EQ(ParseVersion3(c.text), c.three) << c.text;
  }
  EXPECT_EQ(ParseVersion4(nullptr), 0u);
}

TEST(EngineHelpers, LocaleNamesTakeTheRepositoryForm) {
  const struct {
    const char* text;
    size_t length;
    const char* expected;
  } cases[] = {
      {"en-us", 5, "en_US"},
      {"en-us", 8, "en_US"},
      {"de", 2, "de"},
      {"zh-hant-tw", 32, "zh_HANT-TW"},
      {"en-us", 4, "en_Us"},
      {"en-us", 2, "en-us"},
      {"sr-latn", 32, "sr_LATN"},
      {"-x", 2, "_X"},
  };
  for (const auto& c : cases) {
    char text[32];
    std::snprintf(text, sizeof text, "%s", c.text);
    NormalizeLocaleName(text, c.length);
    EXPECT_STREQ(text, c.expected) << c.text << " within " << c.length;
  }
}

TEST(EngineHelpers, PathHelpers) {
  EXPECT_TRUE(PathEqualsNoCase("/Data/UPD", "/data/upd"));
  EXPECT_FALSE(PathEqualsNoCase("/data\\upd", "/data/upd"));
  EXPECT_EQ(PathWithSlash("/a"), "/a/");
  EXPECT_EQ(PathWithSlash("/a/"), "/a/");
  EXPECT_EQ(PathWithSlash(""), "");
  EXPECT_EQ(StripLastPathPart("/a/b/"), "/a");
  EXPECT_EQ(StripLastPathPart("/a/b"), "/a");
  char text[4] = "ab";
  AppendSlash(text, sizeof text);
  EXPECT_STREQ(text, "ab/");
  AppendSlash(text, sizeof text);
  EXPECT_STREQ(text, "ab/");
  char full[3] = "ab";
  AppendSlash(full, sizeof full);
  EXPECT_STREQ(full, "ab");
}

}  // namespace
