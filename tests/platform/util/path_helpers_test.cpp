#include "platform/util/path_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(PathParent, DropsOneTrailingSlashThenTheLastPart) {
  const struct {
    const char* path;
    const char* parent;
  } kCases[] = {
      {"/x/y/", "/x"},  {"/x/y", "/x"},    {"a/b/c", "a/b"}, {"/a", ""},   {"/", ""},
      {"name", "name"}, {"name/", "name"}, {"", ""},         {"a//", "a"},
  };
  for (const auto& c : kCases) EXPECT_EQ(PathParent(c.path), c.parent) << c.path;
}

// Both joins put exactly one '/' between two non-empty parts.
const struct {
  const char* first;
  const char* second;
  const char* joined;
} kJoinCases[] = {
    {"a/", "/b", "a/b"},
    {"a", "b", "a/b"},
    {"a/", "b", "a/b"},
    {"a", "/b", "a/b"},
    {"", "b", "b"},
    {"", "/b", "/b"},
    {"a", "", "a"},
    {"a/", "", "a/"},
    {"/", "/x", "/x"},
    {"a/", "//b", "a//b"},
    {"/srv/d", "f.nup", "/srv/d/f.nup"},
};

TEST(PathAppend, JoinsWithExactlyOneSlash) {
  for (const auto& c : kJoinCases) {
    char buffer[64];
    std::strcpy(buffer, c.first);
    EXPECT_STREQ(PathAppend(buffer, sizeof buffer, c.second), c.joined)
        << c.first << " + " << c.second;
  }
}

TEST(PathJoinString, JoinsWithExactlyOneSlash) {
  for (const auto& c : kJoinCases) {
    EXPECT_EQ(PathJoinString(c.first, c.second), c.joined) << c.first << " + " << c.second;
  }
}

TEST(PathAppend, CutsAtTheBufferAndNeverOverruns) {
  // The buffer lives in a larger array so that a write past it would be seen.
  char storage[16];
  std::memset(storage, 'Z', sizeof storage);
  char* buffer = storage;
  std::strcpy(buffer, "abc");
  PathAppend(buffer, 8, "defghijk");
  EXPECT_STREQ(buffer, "abc/def");
  EXPECT_EQ(storage[8], 'Z');

  std::strcpy(buffer, "abcdefg");  // already fills 8 bytes
  PathAppend(buffer, 8, "x");
  EXPECT_STREQ(buffer, "abcdefg");
}

}  // namespace
