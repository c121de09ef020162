// The OpenSSL loader refusing library sets and processes it cannot use, in
// a child process over fake libraries (see fake_openssl.h and fixtures/).
// Every refusal leaves nothing loaded, and the session layer maps it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fake_openssl.h"

namespace upd::test {
namespace {

FakeOpenSsl OldWithoutAnyMethod() {
  FakeOpenSsl fake = OldApiOpenSsl();
  for (const char* name : {"SSLv23_method", "SSLv2_method", "SSLv3_method", "TLSv1_method",
                           "TLSv1_1_method", "TLSv1_2_method"}) {
    fake.Without(name);
  }
  return fake;
}

TEST(OpenSslLoaderFailure, MissingRequiredNameIsRefusedAndRolledBack) {
  struct Case {
    const char* what;
    FakeOpenSsl fake;
  };
  const Case cases[] = {
      {"later interface without SSL_CTX_new", NewApiOpenSsl().Without("SSL_CTX_new")},
      {"later interface without CRYPTO_set_mem_functions",
       NewApiOpenSsl().Without("CRYPTO_set_mem_functions")},
      {"later interface without TLS_method", NewApiOpenSsl().Without("TLS_method")},
      {"neither peer certificate name", NewApiOpenSsl().Without("SSL_get_peer_certificate")},
      {"1.0 interface without SSL_library_init", OldApiOpenSsl().Without("SSL_library_init")},
      {"1.0 interface without sk_num", OldApiOpenSsl().Without("sk_num")},
      {"1.0 interface without either add-all name",
       OldApiOpenSsl()
           .Without("OPENSSL_add_all_algorithms_noconf")
           .Without("OpenSSL_add_all_algorithms")},
      {"1.0 interface without any method", OldWithoutAnyMethod()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder;
    const std::vector<std::string> lines =
        RunWithFake(folder, c.fake, {"init:0", "loaded", "api:0", "sslinit"});
    EXPECT_EQ(LinesStarting(lines, "init "), std::vector<std::string>{"init 0 7016"});
    EXPECT_EQ(LinesStarting(lines, "loaded"), std::vector<std::string>{"loaded"});
    EXPECT_EQ(LinesStarting(lines, "api "), std::vector<std::string>{"api 0 none"});
    EXPECT_EQ(LinesStarting(lines, "sslinit "), std::vector<std::string>{"sslinit 210"});
  }
}

TEST(OpenSslLoaderFailure, OpenSslRefusingToStartIsAnInitialisationFailure) {
  struct Case {
    const char* what;
    FakeOpenSsl fake;
    std::vector<std::string> steps;
    std::vector<std::string> inits;
    const char* layer;
  };
  const Case cases[] = {
      {"SSL_library_init answers 0",
       OldApiOpenSsl().With("SSL_library_init", "return 0;"),
       {"init:0", "loaded", "sslinit"},
       {"init 0 7013"},
       "sslinit 200"},
      // Without memory functions nothing asks OpenSSL to take them.
      {"memory functions refused",
       NewApiOpenSsl().With("CRYPTO_set_mem_functions", "return 0;"),
       {"init-hooks:0", "loaded", "init:1", "sslinit"},
       {"init 0 7013", "init 1 0"},
       "sslinit 0"},
      // Sessions could not be found by the callbacks without an index.
      {"ex-data index refused",
       NewApiOpenSsl().With("CRYPTO_get_ex_new_index", "return -1;"),
       {"sslinit", "loaded"},
       {},
       "sslinit 200"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir folder;
    const std::vector<std::string> lines = RunWithFake(folder, c.fake, c.steps);
    EXPECT_EQ(LinesStarting(lines, "init "), c.inits);
    EXPECT_EQ(LinesStarting(lines, "loaded"), std::vector<std::string>{"loaded"});
    EXPECT_EQ(LinesStarting(lines, "sslinit "), std::vector<std::string>{c.layer});
  }
}

TEST(OpenSslLoaderFailure, LibsslOfAnotherLibcryptoCountsAsMissing) {
  // Only the fake libcrypto is found first; the search then finds the
  // system's libssl, which brings its own libcrypto.
  TempDir complete;
  ASSERT_TRUE(BuildFakeOpenSsl(complete.path().string(), NewApiOpenSsl()));
  TempDir folder;
  std::filesystem::copy_file(complete.file("libcrypto.so"), folder.file("libcrypto.so"));
  // Each refusal closes the fake libcrypto again.
  EXPECT_EQ(RunProbe(folder.path().string(), {"init:0", "api:0", "sslinit"}),
            (std::vector<std::string>{"unloaded libcrypto", "init 0 7020", "api 0 none",
                                      "unloaded libcrypto", "sslinit 210"}));
}

TEST(OpenSslLoaderFailure, FailedInitialisationCanBeRetried) {
  TempDir complete;
  ASSERT_TRUE(BuildFakeOpenSsl(complete.path().string(), NewApiOpenSsl()));
  TempDir folder;
  const std::vector<std::string> lines = RunWithFake(
      folder, NewApiOpenSsl().Without("SSL_CTX_new"),
      {"init:0", "sslinit", "copy:" + complete.file("libssl.so") + ":" + folder.file("libssl.so"),
       "init:0", "api:0", "sslinit"});
  EXPECT_EQ(LinesStarting(lines, "init "), (std::vector<std::string>{"init 0 7016", "init 0 0"}));
  EXPECT_EQ(LinesStarting(lines, "api "), std::vector<std::string>{"api 0 new"});
  EXPECT_EQ(LinesStarting(lines, "sslinit "),
            (std::vector<std::string>{"sslinit 210", "sslinit 0"}));
}

TEST(OpenSslLoaderFailure, AnotherLoaderBuildInTheProcessIsRefused) {
  // The executable exports a build number of its own, which the process
  // binds before the loader's.
  TempDir folder;
  const std::vector<std::string> lines =
      RunWithFake(folder, NewApiOpenSsl(), {"init:0", "loaded", "sslinit", "loaded"}, true);
  EXPECT_EQ(lines, (std::vector<std::string>{"init 0 5000", "loaded", "sslinit 200", "loaded"}));
}

}  // namespace
}  // namespace upd::test
