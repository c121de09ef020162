// The OpenSSL loader with the system's OpenSSL 3.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fake_openssl.h"
#include "net/tls/openssl_build_id.h"
#include "net/tls/openssl_initializer.h"
#include "net/tls/ssl_layer.h"

namespace upd::test {
namespace {

using Shared::Library::OpenSSL::Initializer;
using Shared::Library::OpenSSL::kLoaderOk;

// The address in the table entry named field.
const void* Entry(const OpenSslFunctionTable& table, const std::string& field) {
  const auto* slot = reinterpret_cast<const unsigned char*>(&table);
  for (const OpenSslEntry& entry : OpenSslEntries()) {
    if (field == entry.field) {
      const void* address = nullptr;
      std::memcpy(&address, slot, sizeof address);
      return address;
    }
    slot += sizeof(void*);
  }
  ADD_FAILURE() << "no entry " << field;
  return nullptr;
}

std::string SymbolOf(const void* address) {
  Dl_info info{};
  if (address == nullptr) return "-";
  return dladdr(address, &info) != 0 && info.dli_sname != nullptr ? info.dli_sname : "?";
}

TEST(OpenSslLoader, LoadsTheSystemLibrariesWithTheLaterInterface) {
  Initializer handle;
  ASSERT_EQ(handle.Initialize(), kLoaderOk);
  EXPECT_TRUE(handle.UsesNewApi());
  EXPECT_NE(handle.SslLibrary(), nullptr);
  EXPECT_NE(handle.CryptoLibrary(), nullptr);
  const OpenSslFunctionTable& table = *handle.Functions();
  // Every name the loader asks of the later interface is spelled as OpenSSL 3 spells it.
  for (const OpenSslEntry& entry : OpenSslEntries()) {
    if (entry.need == OpenSslNeed::kBoth || entry.need == OpenSslNeed::kNewOnly ||
        entry.need == OpenSslNeed::kGenericMethod) {
      EXPECT_NE(Entry(table, entry.field), nullptr) << entry.field;
    }
  }
  struct Case {
    const char* field;
    const char* symbol;
  };
  const Case cases[] = {
      // OpenSSL 3 has only the get1 name of the peer certificate.
      {"peer_certificate", "SSL_get1_peer_certificate"},
      {"generic_method", "TLS_method"},
      {"version_number", "OpenSSL_version_num"},
      {"stack_push", "OPENSSL_sk_push"},
      {"OPENSSL_thread_stop", "OPENSSL_thread_stop"},
      // What the system chain check needs of its own.
      {"X509_STORE_CTX_set_purpose", "X509_STORE_CTX_set_purpose"},
      {"X509_STORE_CTX_get0_param", "X509_STORE_CTX_get0_param"},
      {"X509_VERIFY_PARAM_set_auth_level", "X509_VERIFY_PARAM_set_auth_level"},
      // The 1.0 interface's entries stay empty.
      {"SSL_library_init", "-"},
      {"SSL_state", "-"},
      {"CRYPTO_num_locks", "-"},
      {"add_all_algorithms", "-"},
      {"SSL_get_ex_new_index", "-"},
      {"TLSv1_2_method", "-"},
      {"CRYPTO_THREADID_current", "-"},
  };
  for (const Case& c : cases) EXPECT_EQ(SymbolOf(Entry(table, c.field)), c.symbol) << c.field;
  auto version = reinterpret_cast<unsigned long (*)()>(table.version_number);
  EXPECT_GE(version(), 0x30000000ul);
}

TEST(OpenSslLoader, HandlesShareOneLoad) {
  Initializer first;
  Initializer second;
  ASSERT_EQ(first.Initialize(), kLoaderOk);
  ASSERT_EQ(second.Initialize(), kLoaderOk);
  EXPECT_EQ(first.SslLibrary(), second.SslLibrary());
  EXPECT_EQ(first.CryptoLibrary(), second.CryptoLibrary());
  EXPECT_EQ(first.Functions(), second.Functions());
  first.Release();
  EXPECT_FALSE(first.IsInitialized());
  EXPECT_EQ(first.Functions(), nullptr);
  ASSERT_NE(second.Functions(), nullptr);
  EXPECT_NE(second.Functions()->SSL_CTX_new, nullptr);
}

TEST(OpenSslLoader, BuildNumberIsAnsweredThroughTheExportedSymbol) {
  EXPECT_EQ(OpenSSLSharedBuildId(), 65050631u);
  EXPECT_EQ(BoundOpenSslSharedBuildId(), 65050631u);
}

TEST(OpenSslLoader, SessionLayerKeepsOneHandle) {
  ASSERT_EQ(OsSslInitialize(), kOsSslOk);
  ASSERT_EQ(OsSslInitialize(), kOsSslOk);
  EXPECT_TRUE(OsSslIsInitialized());
  EXPECT_EQ(SslFunctions(), SslInitializer().Functions());
  EXPECT_GE(SslSessionIndex(), 0);
}

// The probe runs with the system's OpenSSL: an empty folder first in the
// library search.
TEST(OpenSslLoader, HostMemoryFunctionsServeOpenSsl) {
  TempDir empty;
  const std::vector<std::string> hooked =
      RunProbe(empty.path().string(), {"init-hooks:0", "sslinit", "session", "hooks"});
  ASSERT_EQ(hooked.size(), 4u) << ::testing::PrintToString(hooked);
  EXPECT_EQ(hooked[0], "init 0 0");
  EXPECT_EQ(hooked[1], "sslinit 0");
  EXPECT_EQ(hooked[2], "session 0");
  EXPECT_NE(hooked[3], "hooks 0");

  const std::vector<std::string> plain =
      RunProbe(empty.path().string(), {"init:0", "sslinit", "session", "hooks"});
  EXPECT_EQ(plain, (std::vector<std::string>{"init 0 0", "sslinit 0", "session 0", "hooks 0"}));
}

TEST(OpenSslLoader, SessionLayerRefusesWorkBeforeItsInitialisation) {
  TempDir empty;
  EXPECT_EQ(
      RunProbe(empty.path().string(), {"chaincheck", "session", "sslinit", "session"}),
      (std::vector<std::string>{"chaincheck -1 20", "session 210", "sslinit 0", "session 0"}));
}

}  // namespace
}  // namespace upd::test
