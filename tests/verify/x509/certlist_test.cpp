#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/ctl_fixture.h"
#include "verify/ctl/ctl_test_env.h"
#include "verify/x509/certificate_list_verify.h"
#include "verify/x509/peer_certificate_list.h"
#include "verify/x509/x509_chain.h"

namespace {

using ctl_test::Env;
using ctl_test::FileBytes;
using upd::test::CtlPki;

constexpr uint32_t kUntouched = 0xDEADBEEF;

std::vector<uint8_t> Item(const std::vector<uint8_t>& bytes, uint32_t length) {
  std::vector<uint8_t> out = {static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                              static_cast<uint8_t>(length >> 16),
                              static_cast<uint8_t>(length >> 24)};
  out.insert(out.end(), bytes.begin(), bytes.end());
  return out;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(CertificateListFormatTest, ErrorsLeaveTheStatusUntouched) {
  Env env;
  const std::vector<uint8_t> leaf = FileBytes(CtlPki::Get().Path("server.der"));
  const std::vector<uint8_t> good = Item(leaf, static_cast<uint32_t>(leaf.size()));
  struct Case {
    const char* name;
    std::vector<uint8_t> list;
    uint64_t length;  // 0 means the list's size
    uint32_t want;
  } cases[] = {
      {"length 0", good, 0xFFFFFFFFFFFFFFFFull, kCertListBadLength},
      {"above 16,777,215", good, 16777216, kCertListBadLength},
      {"one byte", {0x01}, 0, kCertListMalformed},
      {"three bytes", {0x01, 0x00, 0x00}, 0, kCertListMalformed},
      {"one trailing byte", Cat(good, {0x00}), 0, kCertListMalformed},
      {"three trailing bytes", Cat(good, {0x05, 0x00, 0x00}), 0, kCertListMalformed},
      {"item length 0", Cat(good, Item({}, 0)), 0, kCertListMalformed},
      {"item one byte beyond", Item(leaf, static_cast<uint32_t>(leaf.size() + 1)), 0,
       kCertListMalformed},
      {"item that is no certificate", Cat(good, Item({0x30, 0x03, 0x02, 0x01, 0x01}, 5)), 0,
       kCertListMalformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t status = kUntouched;
    uint64_t length = c.length == 0 ? c.list.size() : c.length;
    if (c.length == 0xFFFFFFFFFFFFFFFFull) length = 0;
    std::vector<uint8_t> buffer = c.list;
    if (buffer.size() < length) buffer.resize(length);
    EXPECT_EQ(VerifyCertificateListEx(env.store(), buffer.data(), length, upd::test::kCtlTestTime,
                                      kTlsChainFlags, nullptr, &status, nullptr),
              c.want);
    EXPECT_EQ(status, kUntouched);
  }
  uint32_t status = kUntouched;
  EXPECT_EQ(VerifyCertificateList(nullptr, good.data(), good.size(), 0, 0, &status),
            kCertListBadArgument);
  EXPECT_EQ(VerifyCertificateList(env.store(), nullptr, good.size(), 0, 0, &status),
            kCertListBadArgument);
  EXPECT_EQ(VerifyCertificateList(env.store(), good.data(), good.size(), 0, 0, nullptr),
            kCertListBadArgument);
  EXPECT_EQ(status, kUntouched);
}

// PEM text may carry anything after its END line, which gives one item of
// any size: the largest list is read and judged.
TEST(CertificateListFormatTest, LargestListIsRead) {
  Env env;
  std::string pem = upd::test::ReadFile(CtlPki::Get().Path("server.pem"));
  const uint32_t item = 0xFFFFFF - 4;
  pem.resize(item, ' ');
  const std::vector<uint8_t> list = Item(std::vector<uint8_t>(pem.begin(), pem.end()), item);
  ASSERT_EQ(list.size(), 0xFFFFFFu);
  uint32_t status = kUntouched;
  // No trust list for this leaf: the chain stops at it.
  const uint32_t result = VerifyCertificateList(env.store(), list.data(), list.size(),
                                                upd::test::kCtlTestTime, kTlsChainFlags, &status);
  EXPECT_NE(result, kCertListMalformed);
  EXPECT_NE(result, kCertListBadLength);
  EXPECT_NE(status, kUntouched);
}

class CertificateListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_ = ctl_test::MakeList(env_.temp().file("server.stl"));
    for (const char* leaf : {"server", "plain", "dirname"}) env_.Cache(leaf, list_);
  }
  Env env_;
  std::string list_;
};

TEST_F(CertificateListTest, TrustedThroughTheCachedList) {
  uint32_t status = kUntouched;
  EXPECT_EQ(env_.Verify({"server"}, status), kCertListTrusted);
  EXPECT_EQ(status, 0u);
  // The peer's own copy of its CA changes nothing.
  EXPECT_EQ(env_.Verify({"server", "inter"}, status), kCertListTrusted);
}

TEST_F(CertificateListTest, ChainErrorsGiveTheirCodeAndStatus) {
  uint32_t status = kUntouched;
  // 2036: the server certificate has expired.
  EXPECT_EQ(env_.Verify({"server"}, status, nullptr, nullptr, 2082758400), kChainFailed);
  EXPECT_NE(status & kChainStatusNotTimeValid, 0u);
  // A leaf under root10's server CA, whose trust list is not there: the
  // download fails and ends the check with the client's code.
  status = kUntouched;
  EXPECT_NE(env_.Verify({"other"}, status), kCertListTrusted);
}

TEST_F(CertificateListTest, HostNames) {
  struct Case {
    const char* name;
    const char* leaf;
    const char* host;
    uint32_t want;
  } cases[] = {
      {"DNS name", "server", "server.test", kCertListTrusted},
      {"DNS name in other case", "server", "SERVER.Test", kCertListTrusted},
      {"wildcard one label", "server", "x.wild.test", kCertListTrusted},
      {"wildcard in other case", "server", "X.WILD.test", kCertListTrusted},
      {"wildcard needs a label", "server", "wild.test", kCertListHostMismatch},
      {"wildcard never two labels", "server", "y.x.wild.test", kCertListHostMismatch},
      {"IP address dotted", "server", "127.0.0.1", kCertListTrusted},
      {"IP address other form", "server", "127.000.0.1", kCertListHostMismatch},
      {"other host", "server", "other.test", kCertListHostMismatch},
      {"no subjectAltName", "plain", "plain.test", kCertListHostMismatch},
      {"directoryName entry", "dirname", "server.test", kCertListBadAltName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t status = kUntouched;
    EXPECT_EQ(env_.Verify({c.leaf}, status, nullptr, c.host), c.want);
    EXPECT_EQ(status, 0u);
  }
}

TEST_F(CertificateListTest, SignerRequirementAndHostTogether) {
  const NameRequirement server_entries[] = {{L"CN", L"server.test"}, {L"O", L"Wexa Test PKI"}};
  const NameRequirement other_entries[] = {{L"CN", L"other.test"}};
  const NameRequirementList server_names{2, server_entries};
  const NameRequirementList other_names{1, other_entries};
  const SignerRequirement match{kSignerNamesExact, &server_names};
  const SignerRequirement mismatch{kSignerNamesAtLeast, &other_names};
  const SignerRequirement no_data{kSignerNamesExact, nullptr};
  struct Case {
    const char* name;
    const SignerRequirement* requirement;
    const char* host;
    uint32_t want;
  } cases[] = {
      {"match", &match, nullptr, kCertListTrusted},
      {"mismatch", &mismatch, nullptr, kCertListSignerMismatch},
      {"mismatch, host matches", &mismatch, "server.test", kCertListSignerMismatch},
      {"mismatch, host does not", &mismatch, "nope.test", kCertListHostMismatch},
      {"match, host does not", &match, "nope.test", kCertListHostMismatch},
      {"requirement without data", &no_data, nullptr, kCertListBadLength},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    uint32_t status = kUntouched;
    EXPECT_EQ(env_.Verify({"server"}, status, c.requirement, c.host), c.want);
  }
}

}  // namespace
