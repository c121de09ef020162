#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "http_test_data.h"
#include "net/http/http_request_text.h"
#include "net/http/http_response_info.h"
#include "net/http/http_transport.h"
#include "platform/util/update_errors.h"
#include "scripted_http_fixture.h"
#include "support/net_servers.h"

// Challenges that cannot or must not be answered again: proxies that keep
// asking, challenges without what an answer needs, servers that refuse the
// answer or drop the connection, and answers that would not fit the request.
namespace {

using upd::test::Count;
using upd::test::HttpResponse;
using upd::test::kKeepAlive;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
namespace script = upd::test::script;

std::string Challenge(const char* status_line, const char* header, const std::string& value) {
  return HttpResponse(status_line, "refused",
                      std::string(header) + ": " + value + "\r\n" + kKeepAlive);
}

std::string ProxyChallenge(const std::string& value) {
  return Challenge("HTTP/1.1 407 Proxy Authentication Required", "Proxy-Authenticate", value);
}

std::string ServerChallenge(const std::string& value) {
  return Challenge("HTTP/1.1 401 Unauthorized", "WWW-Authenticate", value);
}

class HttpAuthFailureTest : public upd::test::ScriptedHttpTest {
 protected:
  using ScriptedHttpTest::StartPeer;

  // One connection: each challenge answers one request, then a 200 for a
  // request nobody should send.
  ScriptedPeer& StartPeer(const std::vector<std::string>& answers) {
    std::vector<std::string> steps;
    for (const std::string& answer : answers) {
      steps.push_back(script::ReadRequest());
      steps.push_back(script::Send(answer));
    }
    steps.push_back(script::ReadRequest());
    steps.push_back(script::Send(HttpResponse("HTTP/1.1 200 OK", "one answer too many")));
    return StartPeer(std::vector<ScriptedConnection>{ScriptedConnection(steps)});
  }

  void SetCredentials(bool proxy) {
    config_.server_user = "server-user";
    config_.server_password = "server pass";
    if (!proxy) return;
    config_.proxy.enabled = true;
    config_.proxy.host = "127.0.0.1";
    config_.proxy.port = peer_->port();
    config_.proxy.user = "proxy-user";
    config_.proxy.password = "proxy pass";
  }

  UPD_ERROR Request(const std::string& path = "/d/") {
    path_ = path;
    host_text_ = config_.proxy.enabled ? "updates.example" : peer_->HostPort();
    HttpRequestParams params;
    params.host = host_text_;
    params.path = path_;
    params.file = "f.bin";
    params.skip_head = true;
    bool keep_alive = true;
    const UPD_ERROR result = http_.Request(params, config_, &response_, &keep_alive);
    http_.CloseConnection();
    return result;
  }

  std::string path_;
};

// A proxy gets at most three answers, never two with the same scheme,
// and none it cannot be given.
TEST_F(HttpAuthFailureTest, AProxyThatKeepsAsking) {
  const std::string basic = "Basic realm=\"proxy\"";
  const std::string md5 = "Digest realm=\"proxy\", nonce=\"n1\", qop=auth";
  const std::string sha256 = "Digest realm=\"proxy\", nonce=\"n2\", algorithm=SHA-256";
  const std::string sha512 = "Digest realm=\"proxy\", nonce=\"n3\", algorithm=SHA-512-256";
  struct Case {
    const char* name;
    std::vector<std::string> challenges;
    // The scheme word of each answer, in order.
    std::vector<std::string> answers;
  };
  const Case kCases[] = {
      {"Basic, Digest, Digest", {basic, md5, md5}, {"Basic", "Digest"}},
      {"Basic twice", {basic, basic}, {"Basic"}},
      {"four schemes", {basic, md5, sha256, sha512}, {"Basic", "Digest", "Digest"}},
      {"Basic again after Digest", {basic, md5, basic}, {"Basic", "Digest"}},
      {"Digest without a nonce", {"Digest realm=\"proxy\""}, {}},
      {"a scheme nobody answers", {"Negotiate"}, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> answers;
    for (const std::string& challenge : c.challenges) answers.push_back(ProxyChallenge(challenge));
    StartPeer(answers);
    SetCredentials(true);
    EXPECT_EQ(Request(), kUpdProxyAuthRequired);
    const std::vector<std::string> raw = RawRequests();
    ASSERT_EQ(raw.size(), c.answers.size() + 1);
    EXPECT_EQ(Count(raw[0], "Authorization:"), 0);
    for (size_t i = 0; i < c.answers.size(); ++i) {
      const std::string& request = raw[i + 1];
      EXPECT_EQ(Count(request, "\r\nProxy-Authorization: "), 1) << request;
      EXPECT_NE(request.find("\r\nProxy-Authorization: " + c.answers[i] + " "), std::string::npos)
          << request;
      EXPECT_EQ(Count(request, "\r\nAuthorization: "), 0) << request;
    }
  }
}

// A server gets one answer at most; without a user, a nonce or an answerable
// scheme it gets none.
TEST_F(HttpAuthFailureTest, AServerThatRefuses) {
  struct Case {
    const char* name;
    std::string challenge;
    bool with_user;
    size_t requests;
  };
  const Case kCases[] = {
      {"wrong password, Basic", "Basic realm=\"srv\"", true, 2},
      {"wrong password, Digest", "Digest realm=\"srv\", nonce=\"abc=\", qop=\"auth\"", true, 2},
      {"no nonce", "Digest realm=\"srv\", qop=\"auth\"", true, 1},
      {"no realm", "Digest nonce=\"abc\"", true, 1},
      {"unknown algorithm", "Digest realm=\"srv\", nonce=\"abc\", algorithm=SHA-1", true, 1},
      {"no user", "Basic realm=\"srv\"", false, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer({ServerChallenge(c.challenge), ServerChallenge(c.challenge)});
    if (c.with_user) SetCredentials(false);
    EXPECT_EQ(Request(), kUpdAccessDenied);
    EXPECT_EQ(RawRequests().size(), c.requests);
    config_.server_user.clear();
  }
}

// An answer whose exchange is lost in passing goes out once more, not more.
TEST_F(HttpAuthFailureTest, AConnectionLostAfterTheAnswer) {
  // Without keep-alive: each exchange has a connection of its own.
  const std::string challenge =
      HttpResponse("HTTP/1.1 401 Unauthorized", "", "WWW-Authenticate: Basic realm=\"srv\"\r\n");
  StartPeer(std::vector<ScriptedConnection>{
      {script::ReadRequest(), script::Send(challenge)},
      {script::ReadRequest(), script::Close()},
      {script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", "ok"))}});
  SetCredentials(false);
  EXPECT_EQ(Request(), kUpdOk);
  std::vector<std::string> raw = RawRequests();
  ASSERT_EQ(raw.size(), 3u);
  EXPECT_EQ(raw[1], raw[2]);

  StartPeer(std::vector<ScriptedConnection>{{script::ReadRequest(), script::Send(challenge)},
                                            {script::ReadRequest(), script::Close()},
                                            {script::ReadRequest(), script::Close()},
                                            {script::ReadRequest(), script::Send("unexpected")}});
  SetCredentials(false);
  EXPECT_EQ(Request(), kUpdConnectionClosed);
  EXPECT_EQ(RawRequests().size(), 3u);
}

// An answer gets room of its own beyond the request's buffer, as much as one
// answer to the longest challenge recorded takes; one that would make the
// head longer is refused before anything is sent: a cut header would be a
// wrong one.
TEST_F(HttpAuthFailureTest, AnAnswerThatDoesNotFitIsNotSent) {
  // A path that leaves the request (with its "X-WEXA-UpdateID" line) a few
  // bytes below its limit.
  StartPeer(std::vector<ScriptedConnection>{
      {script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", ""))}});
  SetCredentials(false);
  EXPECT_EQ(Request("/p/"), kUpdOk);
  const size_t text_without_path = RawRequests().at(0).size() - 2 - 3;
  const std::string long_path = "/" + std::string(4080 - text_without_path - 2, 'p') + "/";
  StartPeer(std::vector<ScriptedConnection>{
      {script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", ""))}});
  EXPECT_EQ(Request(long_path), kUpdOk);
  EXPECT_EQ(RawRequests().at(0).size(), 4080u + 2);
  // The answer repeats the opaque value and the target: past the room of an
  // answered head with the long path, within it with a short one.
  const std::string opaque(kHttpMaxAnsweredRequestBytes - kHttpRequestBufferSize - 3000, 'o');
  ASSERT_LE(opaque.size() + 64, kHttpMaxChallengeBytes);
  struct Case {
    std::string challenge;
    const std::string& path;
    UPD_ERROR result;
    size_t requests;
  };
  const std::string short_path = "/p/";
  const Case kCases[] = {
      {"Basic realm=\"srv\"", long_path, kUpdOk, 2},
      {"Digest realm=\"srv\", nonce=\"abc\", qop=auth", long_path, kUpdOk, 2},
      {"Digest realm=\"srv\", nonce=\"abc\", opaque=\"" + opaque + "\"", short_path, kUpdOk, 2},
      {"Digest realm=\"srv\", nonce=\"abc\", opaque=\"" + opaque + "\"", long_path,
       kUpdAccessDenied, 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.challenge.substr(0, 40) + " " + std::to_string(c.path.size()));
    StartPeer({ServerChallenge(c.challenge)});
    SetCredentials(false);
    EXPECT_EQ(Request(c.path), c.result);
    const std::vector<std::string> raw = RawRequests();
    ASSERT_EQ(raw.size(), c.requests);
    if (c.requests == 2) {
      EXPECT_LE(raw[1].size(), kHttpMaxAnsweredRequestBytes);
      EXPECT_EQ(Count(raw[1], "\r\nAuthorization: "), 1);
    }
  }
}

}  // namespace
