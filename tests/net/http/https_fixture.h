#pragma once

// The HTTPS tests' setting: certificates made by openssl at test time
// (net/tls/tls_pki.h), OpenSSL's system trust paths pointed at their root
// only, and a TLS transport over a CSslProtocol.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "net/http/http_transport.h"
#include "net/tls/ssl_protocol.h"
#include "net/tls/tls_pki.h"
#include "platform/util/buffer.h"
#include "support/loopback_listener.h"
#include "support/net_servers.h"
#include "support/openssl_server.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"
#include "testhost/event_host.h"

namespace upd::test {

class HttpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pki_.ok());
    std::filesystem::create_directories(dir_.file("no-certs"));
    // Read once per process, at the first check: every test case runs in a
    // process of its own.
    setenv("SSL_CERT_FILE", pki_.Pem("root").c_str(), 1);
    setenv("SSL_CERT_DIR", dir_.file("no-certs").c_str(), 1);
  }

  std::string parent() const { return dir_.path().string(); }

  // A PEM file of the named certificates in order (a server's chain).
  std::string ChainFile(std::initializer_list<std::string> names) {
    std::string text;
    std::string file = "chain";
    for (const std::string& name : names) {
      text += ReadFile(pki_.Pem(name));
      file += "-" + name;
    }
    WriteFile(dir_.file(file + ".pem"), text);
    return dir_.file(file + ".pem");
  }

  // nginx speaking TLS 1.2 with AES-GCM, presenting leaf and inter.
  NginxServer& StartNginx(const std::string& leaf = "server", const std::string& more_conf = "") {
    const std::string conf = "ssl_certificate " + ChainFile({leaf, "inter"}) +
                             ";\nssl_certificate_key " + pki_.Key(leaf) +
                             ";\nssl_protocols TLSv1.2;\nssl_ciphers AESGCM;\n" + more_conf;
    nginx_ = std::make_unique<NginxServer>(
        parent(), NginxServer::Options().ListenOptions("ssl").ServerConf(conf));
    EXPECT_TRUE(nginx_->running());
    return *nginx_;
  }

  // `openssl s_server -WWW` in its own folder, which it serves.
  OpenSslServer& StartWww(OpenSslServerOptions options) {
    options.arguments.push_back("-WWW");
    www_ = std::make_unique<OpenSslServer>(options);
    EXPECT_TRUE(www_->running());
    return *www_;
  }
  // The same with the certificates of pki_: leaf, then the chain it sends.
  OpenSslServer& StartWww(const std::string& leaf, std::initializer_list<std::string> chain = {}) {
    OpenSslServerOptions options;
    options.certificate = pki_.Pem(leaf);
    options.key = pki_.Key(leaf);
    if (chain.size() != 0) options.chain = ChainFile(chain);
    return StartWww(options);
  }

  HttpRequestParams Params(const std::string& host, const std::string& path,
                           const std::string& file) {
    host_text_ = host;
    path_ = path;
    file_ = file;
    HttpRequestParams params;
    params.host = host_text_;
    params.path = path_;
    params.file = file_;
    return params;
  }

  UPD_ERROR Fetch(const std::string& host, const std::string& path, const std::string& file,
                  CBuffer* body) {
    return https_.DownloadToBuffer(Params(host, path, file), body, config_, &response_, 0, 0,
                                   nullptr);
  }

  TempDir dir_;
  TlsPki pki_;
  std::unique_ptr<NginxServer> nginx_;
  std::unique_ptr<OpenSslServer> www_;
  FetchConfig config_;
  CSslProtocol ssl_;
  CHttpTransport https_{ssl_, true};
  _HTTP_RESPONSE_INFO response_{};

 private:
  std::string host_text_;
  std::string path_;
  std::string file_;
};

}  // namespace upd::test
