#include "platform/util/hex_digests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/temp_dir.h"

namespace {

using upd::test::TempDir;
using upd::test::WriteFile;

using BufferHex = bool (*)(const void*, size_t, char*, size_t);

TEST(HexDigests, BuffersGiveLowerCaseDigits) {
  const struct {
    const char* name;
    BufferHex digest;
    size_t size;  // digits and NUL
    const char* input;
    const char* expected;
  } cases[] = {
      {"md5 empty", BufferMd5Hex, 33, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {"md5", BufferMd5Hex, 33, "Mufasa:http-auth@example.org:Circle of Life",
       "3d78807defe7de2157e2b0b6573a855f"},
      {"sha256", BufferSha256Hex, 65, "abc",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"sha512/256", BufferSha512_256Hex, 65, "abc",
       "53048e2681941ef99b2e29b76b4c7dabe4c2d0c634fc6d46e0e2f13107e7af23"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string input = c.input;
    char out[80];
    std::memset(out, 'x', sizeof out);
    ASSERT_TRUE(c.digest(input.data(), input.size(), out, c.size));
    EXPECT_EQ(std::string(out), c.expected);
    std::memset(out, 'x', sizeof out);
    EXPECT_FALSE(c.digest(input.data(), input.size(), out, c.size - 1));
    EXPECT_EQ(out[0], 'x') << "nothing written into too small an output";
  }
  char out[65];
  EXPECT_TRUE(BufferSha256Hex(nullptr, 0, out, sizeof out)) << "an empty buffer may be null";
  EXPECT_EQ(std::string(out), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_FALSE(BufferSha256Hex(nullptr, 1, out, sizeof out));
}

TEST(HexDigests, FileSha1GivesUpperCaseDigits) {
  TempDir dir;
  WriteFile(dir.file("empty"), "");
  // More than one read block.
  WriteFile(dir.file("big"), std::string(10000, 'a'));
  char out[41];
  ASSERT_TRUE(FileSha1Hex(dir.file("empty").c_str(), out, sizeof out));
  EXPECT_EQ(std::string(out), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
  ASSERT_TRUE(FileSha1Hex(dir.file("big").c_str(), out, sizeof out));
  EXPECT_EQ(std::string(out), "A080CBDA64850ABB7B7F67EE875BA068074FF6FE");

  EXPECT_FALSE(FileSha1Hex(dir.file("missing").c_str(), out, sizeof out));
  EXPECT_FALSE(FileSha1Hex(dir.path().c_str(), out, sizeof out)) << "a folder cannot be read";
  EXPECT_FALSE(FileSha1Hex(dir.file("empty").c_str(), out, 40));
  EXPECT_TRUE(FileSha1Hex(dir.file("empty").c_str(), nullptr, 0));
}

}  // namespace
