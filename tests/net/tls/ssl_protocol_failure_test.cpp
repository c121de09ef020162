// The TLS connection when OpenSSL is not usable: updprobe fetch in a child
// process whose loader finds broken fake libraries (fake_openssl.h) first.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "fake_openssl.h"
#include "support/net_servers.h"

namespace upd::test {
namespace {

TEST(SslProtocolFailure, WithoutATlsLayerHttpsIs0x2110AndPlainHttpStillWorks) {
  TempDir folder;
  ASSERT_TRUE(BuildFakeOpenSsl(folder.path().string(), NewApiOpenSsl().Without("SSL_CTX_new")));
  NginxServer web(folder.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("f.txt", "plain");
  const std::string probe = std::string("LD_LIBRARY_PATH=") + folder.path().string() + " " +
                            getenv("UPDPROBE") + " fetch ";
  std::string out;
  EXPECT_EQ(RunCommand(probe + "https://" + web.HostPort() + "/f.txt " + folder.file("s.out"),
                       &out),
            1)
      << out;
  // The fakes say when they are unloaded: the loader gave them up.
  EXPECT_TRUE(out.ends_with("unloaded libcrypto\nresult 0x2110\nbytes 0\n")) << out;
  EXPECT_EQ(RunCommand(probe + web.Url("/f.txt") + " " + folder.file("p.out"), &out), 0) << out;
  EXPECT_EQ(ReadFile(folder.file("p.out")), "plain");
}

}  // namespace
}  // namespace upd::test
