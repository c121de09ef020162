#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "http_test_data.h"
#include "https_fixture.h"
#include "platform/util/update_errors.h"
#include "support/curl_client.h"

// Downloads over TLS through the HTTP transport, with nginx and
// `openssl s_server` as peers and curl as the oracle.
namespace upd::test {
namespace {

class HttpsTransportTest : public HttpsTest {
 protected:
  // curl's copy of a URL, trusting the tests' root.
  std::string CurlCopy(const std::string& url) {
    const upd::test::CurlResult copy =
        upd::test::Curl("--compressed --cacert '" + pki_.Pem("root") + "' '" + url + "'");
    EXPECT_EQ(copy.status, 0);
    return copy.out;
  }
};

TEST_F(HttpsTransportTest, BodiesEqualCurlsToMemoryAndToFile) {
  NginxServer& web = StartNginx();
  web.PutFile("d/r.bin", RandomBytes(1 << 20, 1));
  // Served gzip on the fly: the transport inflates it.
  const std::string text = Text(50000);
  web.PutFile("d/t.txt", text);
  for (const std::string file : {"r.bin", "t.txt"}) {
    SCOPED_TRACE(file);
    const std::string expected = CurlCopy(web.Url("/d/" + file));
    CBuffer body;
    ASSERT_EQ(Fetch(web.HostPort(), "/d/", file, &body), kUpdOk);
    EXPECT_EQ(Contents(body), expected);
    const std::string target = dir_.file("copy-" + file);
    ASSERT_EQ(https_.DownloadToFile(Params(web.HostPort(), "/d/", file), target.c_str(), config_,
                                    &response_, 0, 0, nullptr),
              kUpdOk);
    EXPECT_EQ(ReadFile(target), expected);
  }
  EXPECT_EQ(CurlCopy(web.Url("/d/t.txt")), text);
  bool compressed = false;
  for (const AccessLogEntry& entry : web.AccessLog()) {
    if (entry.request == "GET /d/t.txt HTTP/1.1" && !entry.user_agent.starts_with("curl") &&
        entry.bytes < text.size() / 2) {
      compressed = true;
    }
  }
  EXPECT_TRUE(compressed) << "nginx sent the text uncompressed";
}

TEST_F(HttpsTransportTest, APartialDownloadIsResumedWithARange) {
  // nginx answers a range of a body it compresses on the fly with all of it.
  NginxServer& web = StartNginx("server", "location /d/ { gzip off; }");
  const std::string content = RandomBytes(300000, 2);
  web.PutFile("d/r.bin", content);
  const std::string partial = dir_.file("partial");
  WriteFile(partial, content.substr(0, 1000));
  const std::string target = dir_.file("resumed.bin");
  ASSERT_EQ(https_.DownloadToFile(Params(web.HostPort(), "/d/", "r.bin"), target.c_str(), config_,
                                  &response_, 0, 0, partial.c_str()),
            kUpdOk);
  EXPECT_EQ(ReadFile(target), content);
  bool ranged = false;
  for (const AccessLogEntry& entry : web.AccessLog(2)) {
    if (entry.status == 206 && entry.range == "bytes=1000-" && entry.bytes == 299000) ranged = true;
  }
  EXPECT_TRUE(ranged);
}

TEST_F(HttpsTransportTest, KeptAliveDownloadsShareOneConnectionAndHandshake) {
  NginxServer& web = StartNginx();
  web.PutFile("d/a.txt", "first");
  web.PutFile("d/b.txt", "second");
  CBuffer a;
  CBuffer b;
  ASSERT_EQ(Fetch(web.HostPort(), "/d/", "a.txt", &a), kUpdOk);
  ASSERT_EQ(Fetch(web.HostPort(), "/d/", "b.txt", &b), kUpdOk);
  EXPECT_EQ(Contents(a), "first");
  EXPECT_EQ(Contents(b), "second");
  std::set<std::string> connections;
  const std::vector<AccessLogEntry> log = web.AccessLog(4);
  for (const AccessLogEntry& entry : log) connections.insert(entry.connection);
  EXPECT_EQ(log.size(), 4u);  // HEAD and GET of each
  // One TCP connection: one handshake.
  EXPECT_EQ(connections.size(), 1u);
}

// s_server -WWW ends every answer with close_notify and closes: the body
// ends there, connection after connection.
TEST_F(HttpsTransportTest, FiftyCloseDelimitedDownloadsInARow) {
  OpenSslServer& server = StartWww("server", {"inter"});
  const std::string content = Text(3000);
  WriteFile(server.folder().file("w.txt"), content);
  const std::string host = "127.0.0.1:" + std::to_string(server.port());
  for (int i = 0; i < 50; ++i) {
    CBuffer body;
    HttpRequestParams params = Params(host, "/", "w.txt");
    params.skip_head = true;
    ASSERT_EQ(https_.DownloadToBuffer(params, &body, config_, &response_, 0, 0, nullptr), kUpdOk)
        << "download " << i;
    ASSERT_EQ(Contents(body), content) << "download " << i;
  }
}

TEST_F(HttpsTransportTest, AnIpv6ServerIsReached) {
  const std::string conf = "ssl_certificate " + ChainFile({"server", "inter"}) +
                           ";\nssl_certificate_key " + pki_.Key("server") + ";\n";
  NginxServer web(parent(), NginxServer::Options().Ipv6().ListenOptions("ssl").ServerConf(conf));
  ASSERT_TRUE(web.running());
  web.PutFile("d/six.txt", "over six");
  CBuffer body;
  ASSERT_EQ(Fetch("[::1]:" + std::to_string(web.port()), "/d/", "six.txt", &body), kUpdOk);
  EXPECT_EQ(Contents(body), "over six");
}

}  // namespace
}  // namespace upd::test
