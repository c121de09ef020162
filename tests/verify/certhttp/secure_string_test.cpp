#include "verify/certhttp/secure_string.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/util/scrambler.h"
#include "verify/certhttp/network_credential.h"
#include "verify/certhttp/proxy_settings.h"

namespace {

std::string Storage(const SecureString& s) {
  return std::string(reinterpret_cast<const char*>(s.storage()), s.capacity());
}

TEST(SecureStringTest, AssignKindsAndLengths) {
  struct Case {
    const char* name;
    const char* text;
    uint32_t kind;
    bool ok;
    uint32_t stored_kind;
  };
  const Case cases[] = {
      {"plain", "alice", SecureString::kPlain, true, SecureString::kPlain},
      {"scrambled", "s3cret", SecureString::kScrambled, true, SecureString::kScrambled},
      {"empty text", "", SecureString::kPlain, true, SecureString::kPlain},
      {"kind 0 refused", "x", SecureString::kEmpty, false, SecureString::kEmpty},
      {"unknown kind counts as empty", "abc", 3, false, SecureString::kEmpty},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SecureString s;
    EXPECT_EQ(s.Assign(std::strlen(c.text), c.text, c.kind), c.ok);
    EXPECT_EQ(s.kind(), c.stored_kind);
    EXPECT_EQ(s.IsSet(), c.stored_kind != SecureString::kEmpty);
    if (c.kind == SecureString::kEmpty) {
      EXPECT_EQ(s.storage(), nullptr);
      continue;
    }
    EXPECT_EQ(s.length(), std::strlen(c.text) + 1);
    EXPECT_EQ(s.width(), SecureString::kNarrow);
    std::string expected(c.text, std::strlen(c.text) + 1);
    if (c.kind == SecureString::kScrambled) ScrambleBytes(expected.data(), 0, expected.size());
    EXPECT_EQ(Storage(s), expected);
  }
}

TEST(SecureStringTest, ShorterTextKeepsStorageAndLeavesNoTrace) {
  SecureString s;
  ASSERT_TRUE(s.Assign(12, "longpassword", SecureString::kPlain));
  const uint8_t* storage = s.storage();
  ASSERT_TRUE(s.Assign(3, "abc", SecureString::kPlain));
  EXPECT_EQ(s.storage(), storage);
  EXPECT_EQ(s.capacity(), 13u);
  EXPECT_EQ(Storage(s), std::string("abc") + std::string(10, '\0'));

  ASSERT_TRUE(s.Assign(20, "a much longer secret", SecureString::kScrambled));
  EXPECT_EQ(s.capacity(), 21u);
  SecureString plain;
  ASSERT_TRUE(SecureString::CopyPlain(s, plain));
  EXPECT_STREQ(plain.text(), "a much longer secret");
  EXPECT_EQ(plain.length(), 22u);  // the source's units and terminator, plus one zero
  EXPECT_EQ(plain.kind(), SecureString::kPlain);
}

TEST(SecureStringTest, FreeEmptiesAndIsRepeatable) {
  SecureString s;
  ASSERT_TRUE(s.Assign(4, "pass", SecureString::kScrambled));
  s.Free();
  EXPECT_FALSE(s.IsSet());
  EXPECT_EQ(s.storage(), nullptr);
  EXPECT_EQ(s.capacity(), 0u);
  s.Free();
  SecureString target;
  EXPECT_FALSE(SecureString::CopyPlain(s, target));
}

TEST(SecureStringTest, WideTextAndWidthRules) {
  const wchar_t wide[] = L"k\u00e9y";
  SecureString s;
  ASSERT_TRUE(s.AssignBuffer(wide, 3, 4, SecureString::kScrambled));
  EXPECT_EQ(s.width(), SecureString::kWide);
  EXPECT_EQ(s.length(), 16u);
  SecureString plain;
  ASSERT_TRUE(SecureString::CopyPlain(s, plain));
  EXPECT_EQ(plain.length(), 20u);
  EXPECT_EQ(std::memcmp(plain.storage(), wide, sizeof(wide)), 0);
  EXPECT_FALSE(s.AssignBuffer(wide, 3, 2, SecureString::kPlain));
}

TEST(NetworkCredentialTest, UserPlainPasswordScrambled) {
  NetworkCredential credential;
  ASSERT_TRUE(credential.Set("alice", "s3cret"));
  EXPECT_STREQ(credential.GetUserName().text(), "alice");
  EXPECT_EQ(credential.GetPassword().kind(), SecureString::kScrambled);
  EXPECT_EQ(Storage(credential.GetPassword()).find("s3cret"), std::string::npos);
  SecureString plain;
  ASSERT_TRUE(SecureString::CopyPlain(credential.GetPassword(), plain));
  EXPECT_STREQ(plain.text(), "s3cret");
  EXPECT_FALSE(credential.Set(nullptr, "x"));
}

TEST(HttpProxySettingsTest, NullHostKeepsTheEarlierAddress) {
  HttpProxySettings proxy;
  EXPECT_EQ(proxy.GetHost(), nullptr);
  ASSERT_TRUE(proxy.SetAddress("proxy.local", 3128));
  EXPECT_FALSE(proxy.SetAddress(nullptr, 8080));
  EXPECT_STREQ(proxy.GetHost(), "proxy.local");
  EXPECT_EQ(proxy.GetPort(), 3128u);
  EXPECT_FALSE(proxy.SetCredential(nullptr));
  NetworkCredential credential;
  EXPECT_TRUE(proxy.SetCredential(&credential));
  EXPECT_EQ(proxy.GetCredential(), &credential);
  proxy.SetFlag(0x100);  // only the low byte counts
  EXPECT_EQ(proxy.GetFlag(), 0);
  proxy.SetFlag(0x101);
  EXPECT_EQ(proxy.GetFlag(), 1);
}

}  // namespace
