#include "platform/os/os_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(OsAppendSlash, AppendsOnlyWhenRoomAndNeeded) {
  struct Case {
    const char* path;
    size_t size;
    const char* expected;
  };
  const Case cases[] = {
      {"dir", 8, "dir/"}, {"dir/", 8, "dir/"}, {"", 8, ""},
      {"dir", 5, "dir/"}, {"dir", 4, "dir"},   {"abcdefg", 8, "abcdefg"},
  };
  for (const auto& c : cases) {
    char b[16] = {};
    std::strcpy(b, c.path);
    OsAppendSlash(b, c.size);
    EXPECT_STREQ(b, c.expected) << c.path << " in " << c.size;
  }
}

TEST(OsAppendSlashUtf16, SameRulesOnUnits) {
  char16_t b[8] = u"dir";
  OsAppendSlashUtf16(b, 5);
  EXPECT_EQ(std::u16string(b), u"dir/");
  OsAppendSlashUtf16(b, 8);
  EXPECT_EQ(std::u16string(b), u"dir/");
  char16_t full[4] = u"abc";
  OsAppendSlashUtf16(full, 4);
  EXPECT_EQ(std::u16string(full), u"abc");
  char16_t empty[2] = u"";
  OsAppendSlashUtf16(empty, 2);
  EXPECT_EQ(empty[0], 0);
}

TEST(OsParseFdPath, RecognisesOnlyDevFdNumbers) {
  struct Case {
    const char* path;
    int expected;
  };
  const Case cases[] = {{"/dev/fd/0", 0}, {"/dev/fd/17", 17}, {"/dev/fd/5x", 5},
                        {"/dev/fd/", -1}, {"/dev/fd/-1", -1}, {"/dev/fdx/1", -1},
                        {"dev/fd/1", -1}, {"/dev/fd/ 1", -1}, {"/dev/fd/99999999999", -1},
                        {"/tmp/file", -1}};
  for (const auto& c : cases) EXPECT_EQ(OsParseFdPath(c.path), c.expected) << c.path;
  EXPECT_EQ(OsParseFdPath(nullptr), -1);
}

// Builds a packed list; records are deliberately left unaligned.
std::vector<unsigned char> List(const std::vector<std::pair<uint32_t, std::string>>& records) {
  std::vector<unsigned char> out;
  auto put32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  for (const auto& [tag, data] : records) {
    put32(tag);
    put32(static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
  }
  put32(0);
  put32(0);
  return out;
}

TEST(OsAttributeList, FindsRecordsAfterUnalignedData) {
  const auto bytes = List({{7, "abc"}, {25, "stream"}, {9, ""}});
  const auto* list = reinterpret_cast<const OS_ATTRIBUTE_LIST*>(bytes.data());
  EXPECT_EQ(OsAttributeListHas(list, 25), 1);
  EXPECT_EQ(OsAttributeListHas(list, 9), 1);
  EXPECT_EQ(OsAttributeListHas(list, 8), 0);
  EXPECT_EQ(OsAttributeListHas(nullptr, 25), 0);
  const void* data = nullptr;
  uint32_t length = 0;
  ASSERT_EQ(OsAttributeListFind(list, 25, &data, &length), 0u);
  EXPECT_EQ(std::string(static_cast<const char*>(data), length), "stream");
  EXPECT_EQ(OsAttributeListFind(list, 8, &data, &length), kOsAttributeAbsent);
  EXPECT_EQ(OsAttributeListFind(nullptr, 25, &data, &length), kOsAttributeBadArgument);
  EXPECT_EQ(OsAttributeListFind(list, 25, nullptr, &length), kOsAttributeBadArgument);
  EXPECT_EQ(OsAttributeListFind(list, 25, &data, nullptr), kOsAttributeBadArgument);
}

}  // namespace
