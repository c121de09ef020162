// The OpenSSL loader over fake libraries of both interface generations, in
// a child process (see fake_openssl.h and fixtures/).

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fake_openssl.h"

namespace upd::test {
namespace {

std::map<std::string, std::string> Entries(const std::vector<std::string>& lines) {
  std::map<std::string, std::string> entries;
  for (const std::string& line : LinesStarting(lines, "entry ")) {
    const size_t space = line.find(' ', 6);
    entries[line.substr(6, space - 6)] = line.substr(space + 1);
  }
  return entries;
}

long Count(const std::vector<std::string>& lines, const std::string& line) {
  return std::count(lines.begin(), lines.end(), line);
}

TEST(OpenSslFakeLibrary, InterfaceVariantsLoad) {
  struct Case {
    const char* what;
    FakeOpenSsl fake;
    const char* api;
    std::vector<std::pair<const char*, const char*>> entries;
  };
  FakeOpenSsl old_without_generic = OldApiOpenSsl();
  for (const char* name :
       {"SSLv23_method", "SSLv2_method", "SSLv3_method", "TLSv1_method", "TLSv1_1_method"}) {
    old_without_generic.Without(name);
  }
  const Case cases[] = {
      {"later interface",
       NewApiOpenSsl(),
       "new",
       {{"peer_certificate", "SSL_get_peer_certificate"},
        {"generic_method", "TLS_method"},
        {"version_number", "OpenSSL_version_num"},
        {"stack_num", "OPENSSL_sk_num"},
        {"SSL_library_init", "-"},
        {"TLSv1_2_method", "-"}}},
      {"later interface with only the get1 peer name",
       NewApiOpenSsl().Without("SSL_get_peer_certificate").With("SSL_get1_peer_certificate"),
       "new",
       {{"peer_certificate", "SSL_get1_peer_certificate"}}},
      {"1.0 interface",
       OldApiOpenSsl(),
       "old",
       {{"generic_method", "SSLv23_method"},
        {"version_number", "SSLeay"},
        {"stack_num", "sk_num"},
        {"add_all_algorithms", "OPENSSL_add_all_algorithms_noconf"},
        {"SSLv2_method", "SSLv2_method"},
        {"CRYPTO_THREADID_current", "CRYPTO_THREADID_current"},
        {"SSL_get_state", "-"},
        {"CRYPTO_set_mem_functions", "-"},
        {"X509_STORE_CTX_get0_untrusted", "-"}}},
      {"1.0 interface with the other add-all name",
       OldApiOpenSsl()
           .Without("OPENSSL_add_all_algorithms_noconf")
           .With("OpenSSL_add_all_algorithms"),
       "old",
       {{"add_all_algorithms", "OpenSSL_add_all_algorithms"}}},
      {"1.0 interface with one version method instead of the generic one",
       old_without_generic,
       "old",
       {{"generic_method", "-"}, {"TLSv1_2_method", "TLSv1_2_method"}, {"SSLv3_method", "-"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder;
    const std::vector<std::string> lines =
        RunWithFake(folder, c.fake, {"init:0", "api:0", "entries:0"});
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(LinesStarting(lines, "init "), std::vector<std::string>{"init 0 0"});
    EXPECT_EQ(LinesStarting(lines, "api "),
              std::vector<std::string>{std::string("api 0 ") + c.api});
    const std::map<std::string, std::string> entries = Entries(lines);
    EXPECT_EQ(entries.size(), OpenSslEntries().size());
    for (const auto& [field, symbol] : c.entries) EXPECT_EQ(entries.at(field), symbol) << field;
  }
}

TEST(OpenSslFakeLibrary, HandlesCountAndTheLastReleaseUnloads) {
  TempDir folder;
  const std::vector<std::string> lines =
      RunWithFake(folder, NewApiOpenSsl(),
                  {"init:0", "init:1", "loaded", "release:0", "loaded", "release:1", "loaded"});
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "init 0 0", "init 1 0", "loaded libcrypto.so libssl.so", "release 0",
                       "loaded libcrypto.so libssl.so",
                       // libssl closes before libcrypto.
                       "unloaded libssl", "unloaded libcrypto", "release 1", "loaded"}));
}

TEST(OpenSslFakeLibrary, InitialisingAHandleAgainReleasesItFirst) {
  TempDir folder;
  const std::vector<std::string> lines =
      RunWithFake(folder, NewApiOpenSsl(), {"init:0", "init:0", "release:0", "loaded"});
  EXPECT_EQ(lines, (std::vector<std::string>{"init 0 0", "unloaded libssl", "unloaded libcrypto",
                                             "init 0 0", "unloaded libssl", "unloaded libcrypto",
                                             "release 0", "loaded"}));
}

TEST(OpenSslFakeLibrary, OldInterfaceGetsItsCallbacksOnce) {
  TempDir folder;
  const std::vector<std::string> lines =
      RunWithFake(folder, OldApiOpenSsl(), {"init:0", "init:1", "release:1", "release:0"});
  // The fake's locking callback setter takes and releases one lock at once.
  EXPECT_EQ(lines, (std::vector<std::string>{"id callback matches", "locking callback used",
                                             "init 0 0", "init 1 0", "release 1", "unloaded libssl",
                                             "unloaded libcrypto", "release 0"}));
}

TEST(OpenSslFakeLibrary, IdleThreadsLoseTheirErrorStateAfter74Seconds) {
  TempDir folder;
  const std::vector<std::string> lines = RunWithFake(
      folder, OldApiOpenSsl(),
      {"init:0",       "clock:1000",   "touch:0",      "clock:1050",     "touch-thread:0",
       "clock:1073",   "purge:0",      "mark:at 1073", "clock:1074",     "purge:0",
       "mark:at 1074", "clock:1123",   "purge:0",      "mark:at 1123",   "clock:1124",
       "purge:0",      "mark:at 1124", "touch:0",      "touch-thread:0", "mark:releasing",
       "release:0"});
  const auto at = [&lines](const std::string& mark) {
    return std::find(lines.begin(), lines.end(), mark) - lines.begin();
  };
  const std::string removed = "removed thread state";
  const auto removals = [&](long from, long to) {
    return std::count(lines.begin() + from, lines.begin() + to, removed);
  };
  ASSERT_LT(at("releasing"), static_cast<long>(lines.size())) << ::testing::PrintToString(lines);
  EXPECT_EQ(removals(0, at("at 1073")), 0);
  EXPECT_EQ(removals(at("at 1073"), at("at 1074")), 1);  // touched at 1000
  EXPECT_EQ(removals(at("at 1074"), at("at 1123")), 0);
  EXPECT_EQ(removals(at("at 1123"), at("at 1124")), 1);  // touched at 1050
  // The last release purges every recorded thread, idle or not.
  EXPECT_EQ(removals(at("at 1124"), static_cast<long>(lines.size())), 2);
  EXPECT_EQ(lines.back(), "release 0");
}

TEST(OpenSslFakeLibrary, LaterInterfaceTracksNoThreads) {
  TempDir folder;
  const std::vector<std::string> lines =
      RunWithFake(folder, NewApiOpenSsl(),
                  {"init:0", "clock:1000", "touch:0", "clock:2000", "purge:0", "release:0"});
  EXPECT_EQ(Count(lines, "removed thread state"), 0);
}

TEST(OpenSslFakeLibrary, ProtocolFlagsChooseTheMethod) {
  struct Case {
    const char* what;
    FakeOpenSsl fake;
    const char* flags;
    const char* method;
  };
  const Case cases[] = {
      {"SSL 2.0 alone", OldApiOpenSsl(), "1", "method SSLv2_method 0"},
      {"TLS 1.0 to 1.2", OldApiOpenSsl(), "0x11C", "method SSLv23_method 23000000"},
      {"SSL 2.0 alone without its method", OldApiOpenSsl().Without("SSLv2_method"), "1",
       "method SSLv23_method 3e000000"},
      {"later interface", NewApiOpenSsl(), "0x11C", "method TLS_method 23000000"},
  };
  for (const Case& c : cases) {
    TempDir folder;
    const std::vector<std::string> lines =
        RunWithFake(folder, c.fake, {"sslinit", std::string("method:") + c.flags});
    EXPECT_EQ(LinesStarting(lines, "sslinit "), std::vector<std::string>{"sslinit 0"}) << c.what;
    EXPECT_EQ(LinesStarting(lines, "method "), std::vector<std::string>{c.method}) << c.what;
  }
}

// The system chain check applies the TLS-server purpose and a security level
// or refuses: a library that lacks either keeps its TLS (the library loads
// and makes sessions) but that check accepts nothing. The fake's X509
// functions accept whatever they are given.
TEST(OpenSslFakeLibrary, SystemChainCheckRefusesWhatItCannotHoldToItsPolicy) {
  struct Case {
    const char* what;
    FakeOpenSsl fake;
    const char* verdict;
  };
  const Case cases[] = {
      {"later interface", NewApiOpenSsl(), "chaincheck 0 0"},
      {"1.0 interface given every name", OldApiOpenSsl(), "chaincheck 0 0"},
      // As every 1.0 library is.
      {"1.0 interface without a security level",
       OldApiOpenSsl().Without("X509_VERIFY_PARAM_set_auth_level"), "chaincheck -1 20"},
      {"no purpose setter", NewApiOpenSsl().Without("X509_STORE_CTX_set_purpose"),
       "chaincheck -1 20"},
      {"no parameters of a store context", NewApiOpenSsl().Without("X509_STORE_CTX_get0_param"),
       "chaincheck -1 20"},
      {"a purpose that does not take",
       NewApiOpenSsl().With("X509_STORE_CTX_set_purpose", "return 0;"), "chaincheck 24 400"},
      {"a store context without parameters",
       NewApiOpenSsl().With("X509_STORE_CTX_get0_param", "return 0;"), "chaincheck 24 400"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder;
    const std::vector<std::string> lines =
        RunWithFake(folder, c.fake, {"sslinit", "session", "chaincheck-one"});
    EXPECT_EQ(LinesStarting(lines, "sslinit "), std::vector<std::string>{"sslinit 0"});
    EXPECT_EQ(LinesStarting(lines, "session "), std::vector<std::string>{"session 0"});
    EXPECT_EQ(LinesStarting(lines, "chaincheck "), std::vector<std::string>{c.verdict});
  }
}

TEST(OpenSslFakeLibrary, ConcurrentFirstInitialisationRegistersOneIndex) {
  for (const FakeOpenSsl& fake : {NewApiOpenSsl(), OldApiOpenSsl()}) {
    TempDir folder;
    const std::vector<std::string> lines =
        RunWithFake(folder, fake, {"sslinit-threads:8", "sslinit"});
    EXPECT_EQ(LinesStarting(lines, "sslinit"),
              (std::vector<std::string>{"sslinit-threads 0 0 0 0 0 0 0 0", "sslinit 0"}));
    EXPECT_EQ(Count(lines, "ex index registered"), 1) << ::testing::PrintToString(lines);
  }
}

}  // namespace
}  // namespace upd::test
