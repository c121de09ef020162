#include "verify/certhttp/download_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "verify/certhttp/scripted_server.h"

namespace {

using namespace certhttp_test;

struct Result {
  uint32_t code = 0;
  std::string body;
};

Result Download(Authenticode::HttpClient& client, const std::string& url, uint64_t limit,
                uint32_t timeout = 10) {
  ByteArray output;
  Result r;
  r.code = client.Download(output, url.c_str(), url.size(), timeout, limit);
  r.body.assign(reinterpret_cast<const char*>(output.GetData()),
                static_cast<size_t>(output.GetLength()));
  return r;
}

std::string UrlOf(const ScriptedServer& server, const std::string& path) {
  return "http://" + server.address() + path;
}

struct BodyCase {
  const char* name;
  std::vector<Exchange> exchanges;
  uint64_t limit;
  uint32_t code;
  std::string body;  // checked for code 0
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }

class DownloadTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(DownloadTest, OverPort80) {
  const BodyCase& c = GetParam();
  ScriptedServer server(c.exchanges, /*port80=*/true);
  ASSERT_TRUE(server.running());
  Authenticode::HttpClient client;
  const Result r = Download(client, UrlOf(server, "/ctl/0123abcd.stl"), c.limit);
  EXPECT_EQ(r.code, c.code);
  if (c.code == 0) {
    EXPECT_EQ(r.body, c.body);
  }
  const auto requests = server.Requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests[0].raw, "GET /ctl/0123abcd.stl HTTP/1.1\r\nHost: " + server.address() +
                                 ":80\r\nConnection: Keep-Alive\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadTest,
    ::testing::Values(
        BodyCase{"ok", {Reply(Response("HTTP/1.1 200 OK", "trust list"))}, 100, 0, "trust list"},
        BodyCase{"exactly_the_limit", {Reply(Response("HTTP/1.1 200 OK", "12345"))}, 5, 0, "12345"},
        BodyCase{"not_found", {Reply(Response("HTTP/1.1 404 Not Found", "gone"))}, 100, 38, ""},
        BodyCase{"gone", {Reply(Response("HTTP/1.1 410 Gone", ""))}, 100, 38, ""},
        BodyCase{"server_error", {Reply(Response("HTTP/1.1 500 Oops", ""))}, 100, 37, ""},
        BodyCase{"redirect_followed",
                 {Reply(Response("HTTP/1.1 302 Found", "", "Location: http://{SELF}/final\r\n")),
                  Reply(Response("HTTP/1.1 200 OK", "final body"))},
                 100,
                 0,
                 "final body"},
        BodyCase{
            "chunked_then_close",
            {Reply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n0\r\n\r\n",
                   "close")},
            100,
            0,
            "abcd"},
        BodyCase{"unknown_length_then_close",
                 {Reply("HTTP/1.0 200 OK\r\n\r\nto the end", "close")},
                 100,
                 0,
                 "to the end"},
        BodyCase{"closed_before_content_length",
                 {Reply("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nshort", "close")},
                 100,
                 37,
                 ""},
        BodyCase{"unknown_length_past_the_limit",
                 {Exchange{{Send("HTTP/1.0 200 OK\r\n\r\n"), Repeat("z", 5000)}, "close"}},
                 1000,
                 12,
                 ""}),
    [](const ::testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.name); });

TEST(DownloadLimits, ContentLengthOverTheLimitIsRefusedBeforeTheBody) {
  // The body would arrive only after five seconds.
  ScriptedServer server({Exchange{{Send("HTTP/1.1 200 OK\r\nContent-Length: 101\r\n\r\n"), Sleep(5),
                                   Send(std::string(101, 'b'))},
                                  "close"}},
                        true);
  ASSERT_TRUE(server.running());
  Authenticode::HttpClient client;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Download(client, UrlOf(server, "/big"), 100).code, 12u);
  EXPECT_LT(ElapsedMs(start), 4000);
}

TEST(DownloadUrls, RefusedBeforeAnyConnection) {
  ScriptedServer server({Reply(Response("HTTP/1.1 200 OK", "x"))}, true);
  ASSERT_TRUE(server.running());
  const std::string host = server.address();
  struct Case {
    const char* name;
    std::string url;
    uint32_t code;
  };
  const Case cases[] = {
      {"https", "https://" + host + "/x", 36},
      {"upper-case scheme", "HTTP://" + host + "/x", 36},
      {"other scheme", "ftp://" + host + "/x", 36},
      {"one slash", "http:/" + host + "/x", 36},
      {"no scheme", host + "/x", 36},
      {"no path", "http://" + host, 12},
  };
  Authenticode::HttpClient client;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Download(client, c.url, 100).code, c.code);
  }
  ByteArray output;
  EXPECT_EQ(client.Download(output, nullptr, 5, 10, 100), 18u);
  EXPECT_EQ(client.Download(output, "http://x/", 0, 10, 100), 18u);
  EXPECT_TRUE(server.Requests().empty());
}

TEST(DownloadProxy, TinyproxyWithProxyAndServerCredentials) {
  ScriptedServer origin({Reply(Response("HTTP/1.1 401 Unauthorized", "",
                                        "WWW-Authenticate: Basic realm=\"pki\"\r\n")),
                         Reply(Response("HTTP/1.1 200 OK", "behind both"))},
                        true);
  RealProxy proxy("bob", "pr0xy");
  ASSERT_TRUE(origin.running());
  ASSERT_TRUE(proxy.running());
  NetworkCredential proxy_credential;
  ASSERT_TRUE(proxy_credential.Set("bob", "pr0xy"));
  HttpProxySettings settings;
  ASSERT_TRUE(settings.SetAddress("127.0.0.1", proxy.port()));
  ASSERT_TRUE(settings.SetCredential(&proxy_credential));
  NetworkCredential server_credential;
  ASSERT_TRUE(server_credential.Set("alice", "s3cret"));
  Authenticode::HttpClient client;
  ASSERT_TRUE(client.SetProxy(&settings));
  ASSERT_TRUE(client.SetCredential(&server_credential));
  EXPECT_FALSE(client.SetProxy(nullptr));
  EXPECT_FALSE(client.SetCredential(nullptr));

  const Result r = Download(client, UrlOf(origin, "/ctl/a.stl"), 1000);
  EXPECT_EQ(r.code, 0u);
  EXPECT_EQ(r.body, "behind both");
  const auto requests = origin.Requests();
  ASSERT_EQ(requests.size(), 2u);
  // base64 of "alice:s3cret"
  EXPECT_NE(requests[1].raw.find("\r\nAuthorization: Basic YWxpY2U6czNjcmV0\r\n"),
            std::string::npos)
      << requests[1].raw;
}

TEST(DownloadProxy, UnreachableProxyFallsBackOnlyWithTheFlag) {
  ScriptedServer origin({Reply(Response("HTTP/1.1 200 OK", "direct"))}, true);
  ASSERT_TRUE(origin.running());
  HttpProxySettings settings;
  ASSERT_TRUE(
      settings.SetAddress("127.0.0.1", static_cast<uint32_t>(upd::test::FreeLoopbackPort())));
  Authenticode::HttpClient client;
  ASSERT_TRUE(client.SetProxy(&settings));
  EXPECT_EQ(Download(client, UrlOf(origin, "/a"), 100).code, 37u);
  EXPECT_TRUE(origin.Requests().empty());
  settings.SetFlag(1);
  const Result r = Download(client, UrlOf(origin, "/a"), 100);
  EXPECT_EQ(r.code, 0u);
  EXPECT_EQ(r.body, "direct");
}

TEST(DownloadDeadline, TricklingServerIsStopped) {
  ScriptedServer server({Exchange{{Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n"),
                                   Trickle(std::string(100, 't'), 0.1)},
                                  "close"}},
                        true);
  ASSERT_TRUE(server.running());
  Authenticode::HttpClient client;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Download(client, UrlOf(server, "/slow"), 1000, 2).code, 37u);
  EXPECT_LT(ElapsedMs(start), 8000);
}

// Whether the writable memory of this process holds the text. The needle is
// kept masked so that the search itself leaves no copy of it.
bool MemoryHolds(const std::string& masked, uint8_t mask) {
  // Regions larger than this are the sanitizers' shadow and reserve maps.
  constexpr uint64_t kMaxRegion = uint64_t{256} << 20;
  std::ifstream maps("/proc/self/maps");
  const int mem = open("/proc/self/mem", O_RDONLY | O_CLOEXEC);
  if (mem < 0) return true;
  std::vector<uint8_t> chunk(1 << 20);
  std::string line;
  bool found = false;
  while (!found && std::getline(maps, line)) {
    std::istringstream fields(line);
    std::string range;
    std::string perms;
    fields >> range >> perms;
    if (perms.size() < 2 || perms[0] != 'r' || perms[1] != 'w') continue;
    const uint64_t begin = std::stoull(range.substr(0, range.find('-')), nullptr, 16);
    const uint64_t end = std::stoull(range.substr(range.find('-') + 1), nullptr, 16);
    if (end - begin > kMaxRegion) continue;
    for (uint64_t at = begin; at < end && !found; at += chunk.size() - masked.size()) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), end - at));
      const ssize_t got = pread(mem, chunk.data(), want, static_cast<off_t>(at));
      if (got <= 0) break;
      const uint8_t first = static_cast<uint8_t>(masked[0] ^ mask);
      const uint8_t* p = chunk.data();
      const uint8_t* last = chunk.data() + got - masked.size();
      while (!found && p <= last) {
        p = static_cast<const uint8_t*>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
        if (p == nullptr) break;
        size_t j = 1;
        while (j < masked.size() && (p[j] ^ mask) == static_cast<uint8_t>(masked[j])) ++j;
        found = j == masked.size();
        ++p;
      }
      if (static_cast<size_t>(got) < want) break;
    }
  }
  close(mem);
  // The chunk may have read a copy; it must not become one.
  WipeBytes(chunk.data(), chunk.size());
  return found;
}

TEST(DownloadSecrets, PlainPasswordsDoNotOutliveTheRequest) {
  constexpr uint8_t kMask = 0x5A;
  // Built from pieces at run time so that it exists in plain only where the
  // client puts it.
  std::string masked;
  for (const char* piece :
       {"Zq", "7#vK", "pl", "9_Wd", "xR", "m2Qe", "Lb0", "tY", "k4s", "Hu8", "Gw"}) {
    for (const char* c = piece; *c != '\0'; ++c) masked += static_cast<char>(*c ^ kMask);
  }
  // The allocator keeps its own data in the first bytes of a freed block, so
  // only the tail of the password is searched for.
  const std::string tail = masked.substr(16);
  ScriptedServer origin(
      {Reply(Response("HTTP/1.1 401 Unauthorized", "", "WWW-Authenticate: Basic\r\n")),
       Reply(Response("HTTP/1.1 200 OK", "ok"))},
      true);
  // Without authentication, so that no copy of the password goes into its
  // command line; the client still makes its plain copy of the proxy password.
  RealProxy proxy("", "");
  ASSERT_TRUE(origin.running());
  ASSERT_TRUE(proxy.running());
  NetworkCredential server_credential;
  NetworkCredential proxy_credential;
  {
    std::string plain = masked;
    for (char& c : plain) c = static_cast<char>(c ^ kMask);
    ASSERT_TRUE(server_credential.Set("alice", plain.c_str()));
    ASSERT_TRUE(proxy_credential.Set("proxyuser", plain.c_str()));
    WipeBytes(plain.data(), plain.size());
  }
  ASSERT_FALSE(MemoryHolds(tail, kMask)) << "the test itself left a copy";
  HttpProxySettings settings;
  ASSERT_TRUE(settings.SetAddress("127.0.0.1", proxy.port()));
  ASSERT_TRUE(settings.SetCredential(&proxy_credential));
  Authenticode::HttpClient client;
  ASSERT_TRUE(client.SetCredential(&server_credential));
  ASSERT_TRUE(client.SetProxy(&settings));
  const Result r = Download(client, UrlOf(origin, "/ctl/s.stl"), 100);
  EXPECT_EQ(r.code, 0u);
  EXPECT_EQ(origin.Requests().size(), 2u);  // the password was used
  EXPECT_FALSE(MemoryHolds(tail, kMask));
  // The stored passwords stay scrambled.
  SecureString check;
  ASSERT_TRUE(SecureString::CopyPlain(server_credential.GetPassword(), check));
  EXPECT_TRUE(MemoryHolds(tail, kMask));  // the search does find a plain copy
  check.Free();
  EXPECT_FALSE(MemoryHolds(tail, kMask));
}

}  // namespace
