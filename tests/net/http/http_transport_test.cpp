#include "net/http/http_transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http_test_data.h"
#include "platform/util/buffer.h"
#include "platform/util/host_records.h"
#include "platform/util/update_errors.h"
#include "scripted_http_fixture.h"
#include "support/curl_client.h"
#include "support/net_servers.h"
#include "updater/engine/session/host_fetch_config.h"

// The request texts, the send loop and the reading of heads, against the
// scripted server: exact request bytes, every status, broken heads.
namespace {

using upd::test::HttpResponse;
using upd::test::kKeepAlive;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
namespace script = upd::test::script;

class HttpTransportTest : public upd::test::ScriptedHttpTest {
 protected:
  ScriptedPeer& StartPeer(const std::vector<ScriptedConnection>& connections,
                          std::optional<ScriptedConnection> otherwise = std::nullopt,
                          bool ipv6 = false) {
    ScriptedPeer::Options options;
    if (otherwise) options.Otherwise(*otherwise);
    if (ipv6) options.Ipv6();
    ScriptedPeer& peer = ScriptedHttpTest::StartPeer(connections, options);
    host_text_ = peer.HostPort();
    return peer;
  }

  // A GET of /d/f.bin on the peer.
  HttpRequestParams Params() const {
    HttpRequestParams params;
    params.host = host_text_;
    params.path = "/d/";
    params.file = "f.bin";
    params.skip_head = true;
    return params;
  }

  UPD_ERROR Request(const HttpRequestParams& params) {
    keep_alive_ = true;
    return http_.Request(params, FetchConfigOf(host_.settings()), &response_, &keep_alive_);
  }

  bool keep_alive_ = true;
};

TEST_F(HttpTransportTest, SendsTheHeadThenTheGetWithTheirHeadersInOrder) {
  StartPeer({{script::ReadRequest(),
              script::Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n" + kKeepAlive + "\r\n"),
              script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", "hello"))}});
  std::strcpy(host_.settings()->serverUserName, "update-id");
  host_.settings()->spreadControl = 1;
  HttpRequestParams params = Params();
  params.skip_head = false;
  params.spread = true;
  params.domain = "channel";
  params.if_none_match = "\"etag-1\"";
  params.if_modified_since = "Tue, 01 Jan 2030 00:00:00 GMT";
  params.range_start = 1000;

  ASSERT_EQ(Request(params), kUpdOk);
  const std::string common = "User-Agent: \r\nHost: " + host_text_ +
                             "\r\nAccept-Encoding: gzip, deflate\r\nConnection: Keep-Alive\r\n";
  const std::string validators =
      "Wexa-Spread-Control: yes; domain=channel; cdn=yes\r\nX-WEXA-UpdateID: update-id\r\n"
      "If-Modified-Since: Tue, 01 Jan 2030 00:00:00 GMT\r\nIf-None-Match: \"etag-1\"\r\n";
  const std::vector<std::string> expected = {
      "HEAD /d/f.bin HTTP/1.1\r\nAccept: */*\r\n" + common +
          "Pragma: no-cache\r\nCache-Control: no-cache, no-store\r\n" + validators + "\r\n",
      "GET /d/f.bin HTTP/1.1\r\nAccept: */*\r\n" + common + validators +
          "Range: bytes=1000-\r\n\r\n",
  };
  EXPECT_EQ(RawRequests(), expected);
  // Both went over the one connection the HEAD's answer kept.
  EXPECT_EQ(peer_->Requests().at(1).connection, 0);
}

TEST_F(HttpTransportTest, PlainDefaultsSayNoAndOmitEmptyHeaders) {
  StartPeer({{script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", ""))}});
  HttpRequestParams params = Params();
  params.range_start = 0;
  params.range_end = 50;
  keep_alive_ = false;
  ASSERT_EQ(http_.Request(params, FetchConfigOf(host_.settings()), &response_, &keep_alive_),
            kUpdOk);
  EXPECT_EQ(RawRequests().at(0),
            "GET /d/f.bin HTTP/1.1\r\nAccept: */*\r\nUser-Agent: \r\nHost: " + host_text_ +
                "\r\nAccept-Encoding: gzip, deflate\r\nConnection: close\r\n"
                "Wexa-Spread-Control: no; domain=; cdn=no\r\n\r\n");
}

TEST_F(HttpTransportTest, ReachesABracketedIpv6HostOnItsPort) {
  StartPeer(
      {},
      ScriptedConnection{script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", ""))},
      /*ipv6=*/true);
  host_text_ = "[::1]:" + std::to_string(peer_->port());
  ASSERT_EQ(Request(Params()), kUpdOk);
  EXPECT_EQ(http_.server_name(), "[::1]");
  EXPECT_NE(RawRequests().at(0).find("\r\nHost: " + host_text_ + "\r\n"), std::string::npos);
  EXPECT_EQ(OsAddrGetFamily(tcp_.KeptAddresses()), kOsAddrIPv6);
}

TEST_F(HttpTransportTest, TheHeadDecidesWhetherTheGetFollows) {
  struct Case {
    const char* name;
    std::string head_answer;
    UPD_ERROR result;
    size_t requests;
  };
  const Case kCases[] = {
      {"HEAD not allowed", HttpResponse("HTTP/1.1 405 Method Not Allowed", "", kKeepAlive), kUpdOk,
       2},
      {"not found", HttpResponse("HTTP/1.1 404 Not Found", "", kKeepAlive), kUpdNotFound, 1},
      {"not modified", "HTTP/1.1 304 Not Modified\r\n" + kKeepAlive + "\r\n", kUpdNotModified, 1},
      {"redirect", "HTTP/1.1 302 Found\r\nLocation: /x\r\n" + kKeepAlive + "\r\n", kUpdRedirect, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer({{script::ReadRequest(), script::Send(c.head_answer), script::ReadRequest(),
                script::Send(HttpResponse("HTTP/1.1 200 OK", "body"))}});
    HttpRequestParams params = Params();
    params.skip_head = false;
    EXPECT_EQ(Request(params), c.result);
    EXPECT_EQ(peer_->Requests().size(), c.requests);
    http_.CloseConnection();
  }
}

TEST_F(HttpTransportTest, EveryStatusMapsToItsResult) {
  struct Case {
    uint32_t status;
    UPD_ERROR result;
    bool head_read;  // false: the connection closed at the status line
  };
  const Case kCases[] = {
      {100, kUpdSourceUnreadable, false},
      {101, kUpdSourceUnreadable, false},
      {200, kUpdOk, true},
      {201, kUpdOk, true},
      {204, kUpdOk, true},
      {206, kUpdOk, true},
      {299, kUpdOk, true},
      {300, kUpdSourceUnreadable, false},
      {301, kUpdRedirect, true},
      {302, kUpdRedirect, true},
      {303, kUpdSourceUnreadable, false},
      {304, kUpdNotModified, true},
      {305, kUpdSourceUnreadable, false},
      {307, kUpdRedirect, true},
      {308, kUpdRedirect, true},
      {399, kUpdSourceUnreadable, false},
      {400, kUpdSourceUnreadable, false},
      {401, kUpdAccessDenied, true},
      {402, kUpdSourceUnreadable, false},
      {403, kUpdForbidden, true},
      {404, kUpdNotFound, true},
      {405, kUpdMethodNotAllowed, true},
      {406, kUpdSourceUnreadable, false},
      {407, kUpdProxyAuthRequired, true},
      {408, kUpdSourceUnreadable, false},
      {409, kUpdSourceUnreadable, false},
      {410, kUpdNotFound, true},
      {411, kUpdSourceUnreadable, false},
      {415, kUpdSourceUnreadable, false},
      {416, kUpdRangeRefused, true},
      {417, kUpdSourceUnreadable, false},
      {499, kUpdSourceUnreadable, false},
      {500, kUpdServerError, false},
      {502, kUpdServerError, false},
      {503, kUpdServiceUnavailable, false},
      {504, kUpdServerError, false},
      {511, kUpdNetworkAuthRequired, false},
      {599, kUpdServerError, false},
      {600, kUpdServerError, false},
  };
  std::vector<ScriptedConnection> connections;
  for (const Case& c : kCases) {
    connections.push_back(
        {script::ReadRequest(),
         script::Send(
             "HTTP/1.1 " + std::to_string(c.status) +
             " Text\r\nETag: \"t\"\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n")});
  }
  StartPeer(connections);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(Request(Params()), c.result);
    EXPECT_EQ(response_.status, c.status);
    EXPECT_EQ(std::string(response_.etag) == "\"t\"", c.head_read);
    if (!c.head_read) {
      EXPECT_FALSE(tcp_.IsConnected());
    }
  }
}

// A head of one large header is an honest one: a line of 5 KB or 60 KB, of a
// header the client uses or not, leaves the answer as curl reads it.
TEST_F(HttpTransportTest, LongHeaderLinesPassAsCurlReadsThem) {
  const std::string body = upd::test::Text(300);
  struct Case {
    const char* name;
    std::string header;
  };
  const Case kCases[] = {
      {"5 KB cookie", "Set-Cookie: id=" + std::string(5 * 1024, 'c')},
      {"60 KB policy", "Content-Security-Policy: " + std::string(60 * 1024, 'p')},
      {"60 KB among others", "X-Trace: " + std::string(60 * 1024, 't') + "\r\nX-More: " +
                                 std::string(5 * 1024, 'm')},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer({}, ScriptedConnection{script::ReadRequest(),
                                     script::Send(HttpResponse("HTTP/1.1 200 OK", body,
                                                               c.header + "\r\nETag: \"e1\"\r\n"))});
    CBuffer got;
    ASSERT_EQ(http_.DownloadToBuffer(Params(), &got, FetchConfigOf(host_.settings()), &response_, 0,
                                     0, nullptr),
              kUpdOk);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(got.Data()), got.Length()), body);
    EXPECT_STREQ(response_.etag, "\"e1\"");  // the lines after the long one count too
    const upd::test::CurlResult curl = upd::test::Curl("-s http://" + host_text_ + "/d/f.bin");
    EXPECT_EQ(curl.status, 0);
    EXPECT_EQ(curl.out, body);
  }
}

TEST_F(HttpTransportTest, BypassAnswersAreFetchedTenTimesInAll) {
  StartPeer({}, ScriptedConnection{
                    script::ReadRequest(),
                    script::Send(HttpResponse("HTTP/1.1 200 OK", "x", "X-Bypass-Cache: yes\r\n"))});
  // The last answer's body is still there for the caller, though the answer
  // did not keep the connection.
  CBuffer body;
  EXPECT_EQ(http_.DownloadToBuffer(Params(), &body, FetchConfigOf(host_.settings()), &response_, 0,
                                   0, nullptr),
            kUpdOk);
  EXPECT_EQ(response_.bypass_cache, 1u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(body.Data()), body.Length()), "x");
  EXPECT_EQ(peer_->Requests().size(), 10u);
}

TEST_F(HttpTransportTest, ABypassRoundOnAKeptConnectionReadsThePreviousBodyAway) {
  StartPeer({{script::ReadRequest(),
              script::Send(
                  HttpResponse("HTTP/1.1 200 OK", "AAAAA", kKeepAlive + "X-Bypass-Cache: 1\r\n")),
              script::ReadRequest(),
              script::Send(HttpResponse("HTTP/1.1 200 OK", "BBBBB", kKeepAlive))}});
  CBuffer body;
  ASSERT_EQ(http_.DownloadToBuffer(Params(), &body, FetchConfigOf(host_.settings()), &response_, 0,
                                   0, nullptr),
            kUpdOk);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(body.Data()), body.Length()), "BBBBB");
  ASSERT_EQ(peer_->Requests().size(), 2u);
  EXPECT_EQ(peer_->Requests()[1].connection, 0);
}

TEST_F(HttpTransportTest, AnAnswerCutShortIsTriedThreeTimesInAll) {
  StartPeer({}, ScriptedConnection{script::ReadRequest(), script::Close()});
  EXPECT_EQ(Request(Params()), kUpdConnectionClosed);
  EXPECT_TRUE(peer_->WaitForConnections(3));
  EXPECT_EQ(peer_->Connections(), 3);

  // The second attempt may succeed.
  StartPeer({{script::ReadRequest(), script::Close()},
             {script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", "ok"))}});
  EXPECT_EQ(Request(Params()), kUpdOk);
}

// Without credentials a challenge is not answered.
TEST_F(HttpTransportTest, UnansweredChallengesComeBackAsTheirCodes) {
  StartPeer(
      {{script::ReadRequest(),
        script::Send(HttpResponse("HTTP/1.1 401 Unauthorized", "no",
                                  "WWW-Authenticate: Basic realm=\"r\"\r\n"))},
       {script::ReadRequest(),
        script::Send(HttpResponse("HTTP/1.1 407 Proxy Authentication Required", "no",
                                  "Proxy-Authenticate: Digest realm=\"p\", nonce=\"n\"\r\n"))}});
  EXPECT_EQ(Request(Params()), kUpdAccessDenied);
  EXPECT_EQ(response_.auth_scheme, kHttpAuthBasic);
  EXPECT_EQ(Request(Params()), kUpdProxyAuthRequired);
  EXPECT_EQ(response_.auth_scheme, kHttpAuthDigestMd5);
  EXPECT_EQ(response_.challenge, "realm=\"p\", nonce=\"n\"");
}

TEST_F(HttpTransportTest, GetDropsTheAnswerBodyAndKeepsTheConnection) {
  StartPeer({{script::ReadRequest(),
              script::Send(HttpResponse("HTTP/1.1 200 OK", "form answer", kKeepAlive)),
              script::ReadRequest(),
              script::Send(HttpResponse("HTTP/1.1 200 OK", "get answer", kKeepAlive)),
              script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 404 Not Found", "end"))}});
  HttpRequestParams post = Params();
  post.kind = kHttpKindFormPost;
  post.body = "a=1";
  EXPECT_EQ(http_.Get(post, FetchConfigOf(host_.settings()), &response_), kUpdOk);
  HttpRequestParams get = Params();
  get.skip_head = false;  // Get never sends a HEAD
  EXPECT_EQ(http_.Get(get, FetchConfigOf(host_.settings()), &response_), kUpdOk);
  EXPECT_EQ(Request(Params()), kUpdNotFound);

  const std::vector<ScriptedPeer::Request> requests = peer_->Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[2].connection, 0);
  EXPECT_TRUE(requests[0].raw.starts_with("POST /d/f.bin HTTP/1.1\r\n"));
  EXPECT_TRUE(requests[0].raw.ends_with("Connection: Keep-Alive\r\n\r\na=1"));
  EXPECT_TRUE(requests[1].raw.starts_with("GET /d/f.bin HTTP/1.1\r\n"));
}

TEST_F(HttpTransportTest, NothingIsCutToFitTheRequestBuffer) {
  StartPeer({}, ScriptedConnection{script::ReadRequest(),
                                   script::Send(HttpResponse("HTTP/1.1 200 OK", "ok"))});
  // A head that cannot fit fails before any byte leaves.
  const std::string long_path = "/" + std::string(4000, 'p') + "/";
  HttpRequestParams params = Params();
  params.path = long_path;
  EXPECT_EQ(Request(params), kUpdInvalidArgument);
  EXPECT_EQ(peer_->Received(0), "");

  // A large body goes whole, in a second write.
  const std::string body(10000, 'b');
  HttpRequestParams post = Params();
  post.kind = kHttpKindOctetPost;
  post.body = body;
  EXPECT_EQ(http_.Get(post, FetchConfigOf(host_.settings()), &response_), kUpdOk);
  const std::string raw = peer_->Requests().at(0).raw;
  EXPECT_NE(raw.find("Content-Length: 10000\r\n"), std::string::npos);
  EXPECT_TRUE(raw.ends_with("\r\n\r\n" + body));

  // A user name that fills its settings field without a NUL is taken to the
  // field's end, never into the password beside it.
  std::memset(host_.settings()->serverUserName, 'u', sizeof host_.settings()->serverUserName);
  std::strcpy(host_.settings()->serverPassword, "secret");
  EXPECT_EQ(Request(Params()), kUpdOk);
  EXPECT_NE(peer_->Requests().back().raw.find("X-WEXA-UpdateID: " + std::string(64, 'u') + "\r\n"),
            std::string::npos);
}

TEST_F(HttpTransportTest, TheDownloadFormsLoginPageIsScanned) {
  const std::string page_head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<html>\n";
  StartPeer({{script::ReadRequest(),
              script::Send(page_head + "<h3>Error: Password incorrect !</h3>\n</html>\n")},
             {script::ReadRequest(), script::Send(page_head + "<p>something else</p>\n")},
             {script::ReadRequest(),
              script::Send(HttpResponse("HTTP/1.1 200 OK", "data",
                                        "Content-Type: application/x-unknown\r\n"))}});
  std::strcpy(host_.settings()->serverUserName, "user");
  HttpRequestParams login = Params();
  login.kind = kHttpKindLoginPost;
  EXPECT_EQ(http_.Get(login, FetchConfigOf(host_.settings()), &response_), kUpdAccessDenied);
  EXPECT_EQ(response_.status, 490u);
  EXPECT_EQ(http_.Get(login, FetchConfigOf(host_.settings()), &response_), kUpdSourceUnreadable);
  EXPECT_EQ(http_.Get(login, FetchConfigOf(host_.settings()), &response_), kUpdOk);
  EXPECT_NE(peer_->Requests().at(0).raw.find("\r\n\r\nfile=%2Fd%2Ff.bin&dir=%2Fd%2F&username=user"),
            std::string::npos);
}

TEST_F(HttpTransportTest, TheHostSuppliesTheUserAgentOncePerRun) {
  StartPeer({}, ScriptedConnection{script::ReadRequest(),
                                   script::Send(HttpResponse("HTTP/1.1 200 OK", "", kKeepAlive)),
                                   script::ReadRequest(),
                                   script::Send(HttpResponse("HTTP/1.1 200 OK", "", kKeepAlive))});
  std::vector<uint8_t> mirror_flags;
  std::string answer;
  bool through_string = false;
  host_.OnEvent(UPD_EVENT_USER_AGENT, [&](uint32_t, void* data) -> uint32_t {
    auto* record = static_cast<UPD_USER_AGENT_EVENT*>(data);
    mirror_flags.push_back(record->mirrorEnabled);
    if (through_string) {
      // Through the string's own allocator, beyond its inline room.
      EXPECT_TRUE(HostStringAppend(record->userAgent, answer.size(), answer.data()));
    } else {
      std::strcpy(record->text, answer.c_str());
    }
    return 0;
  });
  auto user_agent_line = [&] {
    const std::string raw = peer_->Requests().back().raw;
    const size_t at = raw.find("User-Agent:");
    return raw.substr(at, raw.find("\r\n", at) - at);
  };

  // An empty answer leaves the header empty and is asked again.
  EXPECT_EQ(Request(Params()), kUpdOk);
  EXPECT_EQ(user_agent_line(), "User-Agent: ");
  answer = "Updater/1.0 (text)";
  host_.mirror_settings()->enabled = 1;
  EXPECT_EQ(Request(Params()), kUpdOk);
  EXPECT_EQ(user_agent_line(), "User-Agent: Updater/1.0 (text)");
  EXPECT_EQ(mirror_flags, (std::vector<uint8_t>{0, 1}));
  // Known from now on: not asked again.
  EXPECT_EQ(Request(Params()), kUpdOk);
  EXPECT_EQ(user_agent_line(), "User-Agent: Updater/1.0 (text)");
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_USER_AGENT).size(), 2u);

  // A new run asks again; this host grows the string itself.
  http_.Reset();
  through_string = true;
  answer = "Updater/2.0 with a User-Agent longer than the inline room";
  EXPECT_EQ(Request(Params()), kUpdOk);
  EXPECT_EQ(user_agent_line(), "User-Agent: " + answer);
  EXPECT_EQ(http_.user_agent(), answer);
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_USER_AGENT).size(), 3u);
}

TEST_F(HttpTransportTest, UnknownKindsAreRefusedBeforeConnecting) {
  StartPeer({});
  HttpRequestParams params = Params();
  params.kind = 4;
  EXPECT_EQ(Request(params), kUpdBadRequestKind);
  EXPECT_EQ(peer_->Connections(), 0);
}

}  // namespace
