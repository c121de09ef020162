#include "updater/engine/catalogue/signed_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/sign_kit.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

std::vector<uint8_t> Load(const std::string& path) {
  const std::string text = ReadFile(path);
  return {text.begin(), text.end()};
}

class SignedBufferTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.file(name); }
  TempDir dir_;
};

// Catalogues and repository documents as the servers sign them, checked
// under both signers: only the signer named in the key block, certified by
// the update key, over untouched bytes, is valid.
TEST_F(SignedBufferTest, SignersAndDamage) {
  std::string content = "[HOSTS]\r\nOther=200@http://update.example/\r\n";
  for (int i = 0; i < 200; ++i) content += "[ENGINE" + std::to_string(i) + "]\r\nbuild=1\r\n";
  WriteFile(Path("update.ver"), content);
  const std::string update(kUpdateSigner);
  const std::string repository(kRepositorySigner);
  ASSERT_TRUE(SignKit({"sign", update, Path("update.ver"), Path("update.signed")}));
  ASSERT_TRUE(SignKit({"sign", repository, Path("update.ver"), Path("repo.signed")}));
  ASSERT_TRUE(SignKit({"sign", update, Path("update.ver"), Path("foreign.signed"), "--foreign"}));
  ASSERT_TRUE(SignKit({"sign", "Wexa Update Signing Certificat", Path("update.ver"),
                       Path("short-id.signed")}));
  ASSERT_TRUE(SignKit({"tamper", "flip-signature", Path("update.signed"), Path("flip-sig")}));
  ASSERT_TRUE(SignKit({"tamper", "flip-payload", Path("update.signed"), Path("flip-payload")}));
  ASSERT_TRUE(SignKit({"tamper", "truncate", Path("update.signed"), Path("cut-end")}));
  ASSERT_TRUE(SignKit({"tamper", "truncate", Path("update.signed"), Path("cut-half"), "1500"}));
  ASSERT_TRUE(SignKit({"tamper", "truncate", Path("repo.signed"), Path("repo-cut-end")}));

  const struct {
    const char* file;
    const std::string& signer;
    bool valid;
  } kCases[] = {
      {"update.signed", update, true},
      {"update.signed", repository, false},
      {"repo.signed", repository, true},
      {"repo.signed", update, false},
      {"foreign.signed", update, false},
      {"short-id.signed", update, false},
      {"flip-sig", update, false},
      {"flip-payload", update, false},
      {"cut-end", update, false},
      {"cut-half", update, false},
      {"repo-cut-end", repository, false},
      {"update.ver", update, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " as " + c.signer);
    const std::vector<uint8_t> data = Load(Path(c.file));
    ASSERT_FALSE(data.empty());
    uint64_t offset = 0xDEAD;
    uint64_t length = 0xBEEF;
    EXPECT_EQ(CheckSignedBuffer(data.data(), data.size(), &offset, &length, c.signer), c.valid);
    if (!c.valid) {
      // A refusal leaves the caller's values alone.
      EXPECT_EQ(offset, 0xDEADu);
      EXPECT_EQ(length, 0xBEEFu);
      continue;
    }
    ASSERT_LE(offset, data.size());
    ASSERT_LE(length, data.size() - offset);
    EXPECT_EQ(std::string(data.begin() + static_cast<std::ptrdiff_t>(offset),
                          data.begin() + static_cast<std::ptrdiff_t>(offset + length)),
              content);
  }
}

TEST_F(SignedBufferTest, NoDataIsNeverValid) {
  const uint8_t byte = 0xC6;
  uint64_t offset = 0;
  uint64_t length = 0;
  EXPECT_FALSE(CheckSignedBuffer(nullptr, 10, &offset, &length, kUpdateSigner));
  EXPECT_FALSE(CheckSignedBuffer(&byte, 0, &offset, &length, kUpdateSigner));
  EXPECT_FALSE(CheckSignedBuffer(&byte, 1, &offset, &length, kUpdateSigner));
}

}  // namespace
}  // namespace upd::test
