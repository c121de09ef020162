#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/store/settings_store.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "session_fixture.h"
#include "support/net_servers.h"
#include "support/test_bytes.h"
#include "updater/api/context.h"
#include "updater/engine/session/mirror_source_path.h"
#include "updater/engine/session/redirect_location.h"
#include "updater/engine/session/ver_validators.h"

// The download session against nginx and the scripted server: URL parsing,
// the host's approval of servers, validators, redirects, FILE sources,
// resumption from the cache and inline catalogue data.
namespace {

using upd::test::Contents;
using upd::test::HttpResponse;
using upd::test::NginxServer;
using upd::test::RandomBytes;
using upd::test::ReadFile;
using upd::test::RunCommand;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::SessionTest;
using upd::test::WriteFile;
namespace script = upd::test::script;
namespace fs = std::filesystem;

// WriteFile into a folder that may not exist yet.
void WriteNew(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, content);
}

// One request and one answer, then the connection closes.
ScriptedConnection Answer(const std::string& response) {
  return ScriptedConnection{script::ReadRequest(), script::Send(response), script::Close()};
}

TEST(DownloadSessionUrl, ParseUrlSplitsSchemeHostPathAndFile) {
  struct Case {
    const char* url;
    bool parsed;
    uint32_t protocol;
    const char* host;
    const char* path;
    const char* file;
    const char* prefix;
  };
  const Case cases[] = {
      {"\\\\server\\share\\dir\\file.nup", true, kProtocolFile, "", "//server/share/dir/",
       "file.nup", "FILE:"},
      {"c:\\mirror\\update.ver", true, kProtocolFile, "", "c:/mirror/", "update.ver", "FILE:"},
      {"//srv/share/f.nup", true, kProtocolFile, "", "//srv/share/", "f.nup", "FILE:"},
      {"file:///etc/passwd", true, kProtocolFile, "", "///etc/", "passwd", "FILE:"},
      {"HTTP://host", true, kProtocolHttp, "host", "", "", "HTTP://"},
      {"http://srv:8080/a/b/update.ver", true, kProtocolHttp, "srv:8080", "/a/b/", "update.ver",
       "HTTP://"},
      {"HtTpS://[::1]:443/x/", true, kProtocolHttps, "[::1]:443", "/x/", "", "HTTPS://"},
      {"ftp://srv/pub/f.nup", true, kProtocolFtp, "srv", "/pub/", "f.nup", "FTP://"},
      {"/srv/mirror/update.ver", false, 0, "", "", "", nullptr},
      {"gopher://srv/x", false, 0, "", "", "", nullptr},
      {"", false, 0, "", "", "", nullptr},
  };
  upd::test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    CDownloadSession session(dir.file("cache"));
    ASSERT_EQ(session.ParseUrl(c.url), c.parsed);
    EXPECT_EQ(session.protocol, c.protocol);
    EXPECT_STREQ(session.host, c.host);
    EXPECT_STREQ(session.path, c.path);
    EXPECT_STREQ(session.fileName, c.file);
    const std::optional<std::string_view> prefix = session.GetSchemePrefix();
    ASSERT_EQ(prefix.has_value(), c.prefix != nullptr);
    if (prefix) {
      EXPECT_EQ(*prefix, c.prefix);
    }
  }
}

TEST(DownloadSessionUrl, AFailedParseKeepsTheLastUrlAndLongPartsAreCut) {
  upd::test::TempDir dir;
  CDownloadSession session(dir.file("cache"));
  ASSERT_TRUE(session.ParseUrl("http://srv/a/f.ver"));
  EXPECT_FALSE(session.ParseUrl("/no/scheme"));
  EXPECT_EQ(session.protocol, kProtocolHttp);
  EXPECT_STREQ(session.host, "srv");
  EXPECT_STREQ(session.fileName, "f.ver");

  const std::string long_host(600, 'h');
  const std::string long_file(600, 'f');
  ASSERT_TRUE(session.ParseUrl(("http://" + long_host + "/d/" + long_file).c_str()));
  EXPECT_EQ(std::string(session.host), long_host.substr(0, 255));
  EXPECT_EQ(std::string(session.fileName), long_file.substr(0, 255));
  EXPECT_STREQ(session.path, "/d/");
}

TEST(DownloadSessionUrl, RedirectLocationsResolveAgainstTheUrlRead) {
  struct Case {
    const char* location;
    const char* expected;
  };
  const Case cases[] = {
      {"next/f.ver", "HTTP://srv:8080/a/b/next/f.ver"},
      {"/root/f.ver", "HTTP://srv:8080/root/f.ver"},
      {"//other/x/f.ver", "HTTP://other/x/f.ver"},
      {"https://mirror/y/f.ver", "https://mirror/y/f.ver"},
      {"\\\\srv\\share\\f", "//srv/share/f"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.location);
    EXPECT_EQ(ResolveRedirectLocation("HTTP://", "srv:8080", "/a/b/", c.location), c.expected);
  }
  // A server without a path still gets its '/'; a long Location is cut.
  EXPECT_EQ(ResolveRedirectLocation("HTTP://", "srv", "", "f"), "HTTP://srv/f");
  const std::string long_location = "/" + std::string(3000, 'x');
  EXPECT_EQ(ResolveRedirectLocation("HTTP://", "srv", "/", long_location).size(),
            kRedirectLocationSize - 1);
}

using DownloadSessionTest = SessionTest;

TEST_F(DownloadSessionTest, ARefusedServerGets0x2101AndSeesNoConnection) {
  ScriptedPeer peer(dir_.path().string(), {Answer(HttpResponse("HTTP/1.1 200 OK", "x"))});
  ASSERT_TRUE(peer.running());
  host_.Answer(UPD_EVENT_SERVER_ALLOWED, 1);
  const std::string url = peer.Url("/a/f.bin");
  EXPECT_EQ(session().DownloadFile(ToFile(url, dir_.file("out"))), kUpdServerUnreachable);
  const auto asked = host_.EventsOf(UPD_EVENT_SERVER_ALLOWED);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(std::string(asked[0].As<UPD_SERVER_ADDRESS_EVENT>().url), url);
  EXPECT_EQ(peer.Connections(), 0);
  EXPECT_FALSE(fs::exists(dir_.file("out")));
}

TEST_F(DownloadSessionTest, TheHostIsAskedOncePerServerUntilReset) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("a/one.bin", "first");
  web.PutFile("b/two.bin", "second");
  const auto download = [&](const char* path) {
    return session().DownloadFile(ToFile(web.Url(path), dir_.file("out")));
  };
  EXPECT_EQ(download("/a/one.bin"), kUpdOk);
  EXPECT_EQ(download("/b/two.bin"), kUpdOk);
  EXPECT_EQ(ReadFile(dir_.file("out")), "second");
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_SERVER_ALLOWED).size(), 1u);

  session().Reset();
  host_.Answer(UPD_EVENT_SERVER_ALLOWED, 1);
  EXPECT_EQ(download("/a/one.bin"), kUpdServerUnreachable);
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_SERVER_ALLOWED).size(), 2u);
  // The refusal is kept as well: no second question, no request.
  EXPECT_EQ(download("/b/two.bin"), kUpdServerUnreachable);
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_SERVER_ALLOWED).size(), 2u);
  EXPECT_EQ(web.AccessLog(4).size(), 4u);  // HEAD and GET of each allowed download
}

TEST_F(DownloadSessionTest, AnUnresolvableServerIsAskedEveryTimeWithoutAddresses) {
  const auto download = [&] {
    return session().DownloadFile(ToFile("http://no-such-host.invalid/f", dir_.file("out")));
  };
  host_.Answer(UPD_EVENT_SERVER_ALLOWED, 1);
  EXPECT_EQ(download(), kUpdServerUnreachable);
  EXPECT_EQ(download(), kUpdServerUnreachable);
  const auto asked = host_.EventsOf(UPD_EVENT_SERVER_ALLOWED);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[1].As<UPD_SERVER_ADDRESS_EVENT>().addresses, nullptr);
}

TEST_F(DownloadSessionTest, ValidatorsAreKeptInTheStoreAndSentBack) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("cat/update.ver", "[SETUP]\nx=1\n");
  const std::string url = web.Url("/cat/update.ver");
  char kept[UPD_PATH_SIZE] = {};
  const std::string folder = UpdateFolder();
  DownloadFileArgs args = ToFile(url, dir_.file("body"));
  args.useValidators = true;
  args.localFolder = folder.c_str();
  args.localPathOut = kept;
  args.localPathOutSize = sizeof kept;

  ASSERT_EQ(session().DownloadFile(args), kUpdOk);
  EXPECT_EQ(std::string(kept), folder + "/127.0.0.1_" + std::to_string(web.port()) +
                                   "/cat/update.ver");
  const std::string host = web.HostPort();
  std::string etag;
  std::string modified;
  LoadVerFileValidators(host.c_str(), "/cat/", "update.ver", host_.settings(), &etag, &modified);
  ASSERT_FALSE(etag.empty());
  ASSERT_FALSE(modified.empty());
  const SettingsStorePtr store(SettingsStoreOpen(host_.settings()->settingsStore, 1, nullptr));
  char stored[128] = {};
  ASSERT_TRUE(SettingsStoreGetString(
      store.get(), ("VerFileETAG_" + host + "/cat/update.ver").c_str(), stored, sizeof stored));
  EXPECT_EQ(stored, etag);

  // Without the kept copy nothing is sent; with it the server answers 304.
  ASSERT_EQ(session().DownloadFile(args), kUpdOk);
  WriteNew(kept, ReadFile(dir_.file("body")));
  EXPECT_EQ(session().DownloadFile(args), kUpdNotModified);
  const auto log = web.AccessLog(5);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log.back().status, 304);
}

TEST_F(DownloadSessionTest, ValidatorsGoOutAsConditionalHeaders) {
  const std::string headers = "ETag: \"v2\"\r\nLast-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n";
  ScriptedPeer peer(dir_.path().string(),
                    {Answer(HttpResponse("HTTP/1.1 200 OK", "catalogue", headers)),
                     Answer("HTTP/1.1 304 Not Modified\r\n\r\n")});
  ASSERT_TRUE(peer.running());
  const std::string url = peer.Url("/c/update.ver");
  const std::string folder = UpdateFolder();
  char kept[UPD_PATH_SIZE] = {};
  DownloadFileArgs args = ToFile(url, dir_.file("body"));
  args.useValidators = true;
  args.localFolder = folder.c_str();
  args.localPathOut = kept;
  args.localPathOutSize = sizeof kept;
  args.extraFlag = 1;  // no HEAD
  ASSERT_EQ(session().DownloadFile(args), kUpdOk);
  WriteNew(kept, "catalogue");
  EXPECT_EQ(session().DownloadFile(args), kUpdNotModified);
  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].raw.find("If-None-Match"), std::string::npos);
  EXPECT_NE(requests[1].raw.find("\r\nIf-None-Match: \"v2\"\r\n"), std::string::npos);
  EXPECT_NE(requests[1].raw.find("\r\nIf-Modified-Since: Tue, 01 Dec 2026 10:00:00 GMT\r\n"),
            std::string::npos);
}

TEST_F(DownloadSessionTest, AStoredValidatorTooLongForARequestIsNotSent) {
  ScriptedPeer peer(dir_.path().string(), {Answer(HttpResponse("HTTP/1.1 200 OK", "fresh"))});
  ASSERT_TRUE(peer.running());
  const std::string host = peer.HostPort();
  ASSERT_TRUE(SaveVerFileValidators(host.c_str(), "/c/", "update.ver", host_.settings(),
                                    "\"" + std::string(100, 'e') + "\"", "Tue, 01 Dec 2026"));
  const std::string folder = UpdateFolder();
  char kept[UPD_PATH_SIZE] = {};
  DownloadFileArgs args = ToFile(peer.Url("/c/update.ver"), dir_.file("body"));
  args.useValidators = true;
  args.localFolder = folder.c_str();
  args.localPathOut = kept;
  args.localPathOutSize = sizeof kept;
  args.extraFlag = 1;
  ASSERT_TRUE(session().ParseUrl(args.url));
  ASSERT_TRUE(MakeMirrorSourcePath(folder.c_str(), args.url, "", kept, sizeof kept));
  WriteNew(kept, "old");
  EXPECT_EQ(session().DownloadFile(args), kUpdOk);
  EXPECT_EQ(ReadFile(dir_.file("body")), "fresh");
  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw.find("If-None-Match"), std::string::npos);
  EXPECT_NE(requests[0].raw.find("\r\nIf-Modified-Since: Tue, 01 Dec 2026\r\n"),
            std::string::npos);
}

TEST_F(DownloadSessionTest, NotModifiedToARequestWithoutValidators) {
  // A server that claims "not modified" to a request that carried nothing
  // to compare with has no copy to offer: with validators wanted that is an
  // unreadable source, not a reason to keep an old file.
  for (const bool use_validators : {true, false}) {
    SCOPED_TRACE(use_validators);
    ScriptedPeer peer(dir_.path().string(), {Answer("HTTP/1.1 304 Not Modified\r\n\r\n")});
    ASSERT_TRUE(peer.running());
    const std::string folder = UpdateFolder();
    DownloadFileArgs args = ToFile(peer.Url("/c/update.ver"), dir_.file("body"));
    args.useValidators = use_validators;
    args.localFolder = folder.c_str();
    args.extraFlag = 1;
    EXPECT_EQ(session().DownloadFile(args),
              use_validators ? kUpdSourceUnreadable : kUpdNotModified);
  }
}

TEST_F(DownloadSessionTest, RedirectsAreFollowedToTheFinalBody) {
  NginxServer web(dir_.path().string(),
                  NginxServer::Options().ServerConf(
                      "location = /r1 { return 302 /r2; }\n"
                      "location = /r2 { return 301 $scheme://$http_host/final/f.bin; }\n"));
  ASSERT_TRUE(web.running());
  const std::string body = RandomBytes(70000, 7);
  web.PutFile("final/f.bin", body);
  CBuffer buffer;
  DownloadFileArgs args = ToFile(web.Url("/r1"), "");
  args.target = nullptr;
  args.buffer = &buffer;
  ASSERT_EQ(session().DownloadFile(args), kUpdOk);
  EXPECT_EQ(Contents(buffer), body);
  // The session's URL fields describe the URL finally read.
  EXPECT_STREQ(session().path, "/final/");
  EXPECT_STREQ(session().fileName, "f.bin");
}

TEST_F(DownloadSessionTest, ARedirectLoopEndsAtTheBound) {
  ScriptedPeer peer(dir_.path().string(), {},
                    ScriptedPeer::Options().Otherwise(Answer(
                        "HTTP/1.1 302 Found\r\nLocation: /loop\r\nContent-Length: 0\r\n"
                        "Connection: close\r\n\r\n")));
  ASSERT_TRUE(peer.running());
  DownloadFileArgs args = ToFile(peer.Url("/start"), dir_.file("out"));
  args.extraFlag = 1;
  EXPECT_EQ(session().DownloadFile(args), kUpdRedirect);
  EXPECT_EQ(peer.Requests().size(), static_cast<size_t>(CDownloadSession::kMaxRedirects + 1));
}

TEST_F(DownloadSessionTest, TheHostIsAskedAboutTheServerARedirectLeadsTo) {
  ScriptedPeer other(dir_.path().string(), {Answer(HttpResponse("HTTP/1.1 200 OK", "elsewhere"))},
                     ScriptedPeer::Options().Ipv6());
  ASSERT_TRUE(other.running());
  const std::string target_url = other.Url6("/x/f.bin");
  ScriptedPeer first(dir_.path().string(),
                     {Answer("HTTP/1.1 302 Found\r\nLocation: " + target_url +
                             "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")});
  ASSERT_TRUE(first.running());
  host_.OnEvent(UPD_EVENT_SERVER_ALLOWED, [](uint32_t, void* data) -> uint32_t {
    const auto* record = static_cast<const UPD_SERVER_ADDRESS_EVENT*>(data);
    return std::string_view(record->url).find("[::1]") != std::string_view::npos ? 1 : 0;
  });
  DownloadFileArgs args = ToFile(first.Url("/a/f.bin"), dir_.file("out"));
  args.extraFlag = 1;
  EXPECT_EQ(session().DownloadFile(args), kUpdServerUnreachable);
  const auto asked = host_.EventsOf(UPD_EVENT_SERVER_ALLOWED);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(std::string(asked[1].As<UPD_SERVER_ADDRESS_EVENT>().url), target_url);
  EXPECT_EQ(other.Connections(), 0);
  EXPECT_FALSE(fs::exists(dir_.file("out")));
}

TEST_F(DownloadSessionTest, ALocationNeverLeadsToLocalFilesOrOutOfTheUpdateFolder) {
  const std::string secret = dir_.file("secret.txt");
  WriteFile(secret, "local secret");
  struct Case {
    const char* name;
    std::string location;
  };
  const Case cases[] = {
      {"file URL", "file://" + secret},
      {"drive path", "c:\\windows\\win.ini"},
      {"share path", "\\\\srv\\share\\x"},
      {"dot-dot path", "/a/../../../../outside/update.ver"},
      {"ftp", "ftp://127.0.0.1/x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer(dir_.path().string(),
                      {Answer("HTTP/1.1 302 Found\r\nLocation: " + c.location +
                              "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")});
    ASSERT_TRUE(peer.running());
    const std::string folder = UpdateFolder();
    DownloadFileArgs args = ToFile(peer.Url("/c/update.ver"), dir_.file("out"));
    args.localFolder = folder.c_str();
    args.useValidators = true;
    args.extraFlag = 1;
    EXPECT_EQ(session().DownloadFile(args), kUpdUnsupportedScheme);
    EXPECT_FALSE(fs::exists(dir_.file("out")));
    EXPECT_EQ(peer.Requests().size(), 1u);
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "outside"));
}

TEST_F(DownloadSessionTest, AUrlWithDotSegmentsIsRefusedBeforeAnyRequest) {
  ScriptedPeer peer(dir_.path().string(), {Answer(HttpResponse("HTTP/1.1 200 OK", "x"))});
  ASSERT_TRUE(peer.running());
  const std::string folder = UpdateFolder();
  for (const char* path : {"/a/../../../outside/update.ver", "/a/./update.ver", "/..\\x/f"}) {
    SCOPED_TRACE(path);
    DownloadFileArgs args = ToFile(peer.Url(path), dir_.file("out"));
    args.localFolder = folder.c_str();
    EXPECT_EQ(session().DownloadFile(args), kUpdUnsupportedScheme);
  }
  EXPECT_EQ(peer.Connections(), 0);
  EXPECT_FALSE(fs::exists(dir_.path() / "outside"));
  EXPECT_FALSE(fs::exists(dir_.file("out")));
}

TEST_F(DownloadSessionTest, ARequestKindSendsItsBodyAndWritesNoTarget) {
  ScriptedPeer peer(dir_.path().string(),
                    {Answer(HttpResponse("HTTP/1.1 200 OK", "answer nobody reads"))});
  ASSERT_TRUE(peer.running());
  const std::string body = "{\"query\":1}";
  DownloadFileArgs args = ToFile(peer.Url("/api/q"), dir_.file("out"));
  args.requestKind = kHttpKindOctetPost;
  args.body = body;
  EXPECT_EQ(session().DownloadFile(args), kUpdOk);
  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].raw.rfind("POST /api/q HTTP/1.1\r\n", 0), 0u) << requests[0].raw;
  EXPECT_EQ(requests[0].raw.substr(requests[0].raw.size() - body.size()), body);
  EXPECT_FALSE(fs::exists(dir_.file("out")));
}

TEST_F(DownloadSessionTest, FtpAndUnknownSchemesAreRefused) {
  EXPECT_EQ(session().DownloadFile(ToFile("ftp://127.0.0.1/pub/f", dir_.file("out"))),
            kUpdUnsupportedScheme);
  EXPECT_EQ(session().DownloadFile(ToFile("/plain/path", dir_.file("out"))),
            kUpdUnsupportedScheme);
}

// FILE sources: from the host, or from a listing that was itself read from
// a FILE source; never because an HTTP listing named one.
TEST_F(DownloadSessionTest, FileSourcesFollowTheListingThatNamedThem) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("update.ver", "[SETUP]\n");
  const std::string local = dir_.file("local.nup");
  WriteFile(local, "local package");
  const std::string local_listing = dir_.file("update.ver");
  WriteFile(local_listing, "[SETUP]\n");

  const auto listing = [&](const std::string& url) {
    session().sessionWord |= CDownloadSession::kListingBit;
    const UPD_ERROR result = session().DownloadFile(ToFile(url, dir_.file("listing")));
    session().sessionWord &= ~CDownloadSession::kListingBit;
    return result;
  };
  const auto package = [&] {
    return session().DownloadFile(ToFile("FILE:" + local, dir_.file("pkg")));
  };

  // Before any listing the URL can only be the host's.
  EXPECT_EQ(package(), kUpdOk);
  EXPECT_EQ(ReadFile(dir_.file("pkg")), "local package");

  ASSERT_EQ(listing(web.Url("/update.ver")), kUpdOk);
  EXPECT_EQ(package(), kUpdUnsupportedScheme);
  // A second listing of the same call named by the first (a redirect of
  // the catalogue) cannot be local either.
  EXPECT_EQ(listing("FILE:" + local_listing), kUpdUnsupportedScheme);

  // The next call's first listing is the host's server again.
  session().Reset();
  EXPECT_EQ(package(), kUpdUnsupportedScheme);
  ASSERT_EQ(listing("FILE:" + local_listing), kUpdOk);
  EXPECT_EQ(package(), kUpdOk);
}

TEST_F(DownloadSessionTest, ShareTransportReadsFileUrlsIntoABuffer) {
  const std::string body = RandomBytes(5000, 3);
  WriteNew(dir_.file("dir/f.bin"), body);
  CBuffer buffer;
  ASSERT_NE(buffer.Append("stale", 5), CBuffer::kFailed);
  DownloadFileArgs args = ToFile("FILE:" + dir_.file("dir/f.bin"), "");
  args.target = nullptr;
  args.buffer = &buffer;
  ASSERT_EQ(session().DownloadFile(args), kUpdOk);
  EXPECT_EQ(Contents(buffer), body);
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_SERVER_ALLOWED).empty());
}

// A body of 3000 bytes cut by the peer: each connection plays one answer.
struct CutDownload {
  const char* name;
  // Body bytes each connection delivers (from where the last one stopped,
  // when the session resumes from its cache).
  std::vector<size_t> pieces;
  bool cache;
  UPD_ERROR result;
  size_t requests;
};

// With resume, each connection answers the range after the bytes delivered
// so far; without, each starts the whole body again.
std::vector<ScriptedConnection> CutScripts(const std::string& body,
                                           const std::vector<size_t>& pieces, bool resume) {
  std::vector<ScriptedConnection> connections;
  size_t offset = 0;
  for (const size_t piece : pieces) {
    const std::string rest = body.substr(offset);
    const std::string head =
        offset == 0 ? "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\n\r\n"
                    : "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " +
                          std::to_string(offset) + "-" + std::to_string(body.size() - 1) + "/" +
                          std::to_string(body.size()) +
                          "\r\nContent-Length: " + std::to_string(rest.size()) + "\r\n\r\n";
    ScriptedConnection connection{script::ReadRequest(), script::Send(head + rest)};
    if (offset + piece < body.size()) connection.CutAfter(head.size() + piece);
    connections.push_back(connection);
    if (resume) offset += piece;
  }
  return connections;
}

TEST_F(DownloadSessionTest, ABrokenDownloadIsRetriedWhileItGrowsAndResumedFromTheCache) {
  const std::string body = RandomBytes(3000, 11);
  const CutDownload cases[] = {
      {"cut twice, then complete", {1000, 1000, 1000}, true, kUpdOk, 3},
      {"third attempt brings nothing", {1000, 1000, 0, 1000}, true, kUpdConnectionClosed, 3},
      {"second attempt brings nothing", {1000, 0, 1000}, true, kUpdConnectionClosed, 2},
      {"without a cache: two attempts", {1000, 1000, 1000}, false, kUpdConnectionClosed, 2},
  };
  for (const CutDownload& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer(dir_.path().string(), CutScripts(body, c.pieces, c.cache));
    ASSERT_TRUE(peer.running());
    const std::string url = peer.Url("/p/zel1.nup");
    const std::string target = dir_.file("target.nup");
    FetchFileArgs args;
    args.url = url.c_str();
    args.target = target.c_str();
    args.settings = host_.settings();
    args.cacheKey = c.cache ? "zel1.nup" : nullptr;
    args.extraFlag = 1;
    EXPECT_EQ(session().FetchFile(args), c.result);
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), c.requests);
    EXPECT_EQ(requests[0].raw.find("Range:"), std::string::npos);
    if (c.cache) {
      size_t offset = c.pieces[0];
      for (size_t i = 1; i < requests.size(); ++i) {
        EXPECT_NE(requests[i].raw.find("\r\nRange: bytes=" + std::to_string(offset) + "-\r\n"),
                  std::string::npos)
            << requests[i].raw;
        offset += c.pieces[i];
      }
    } else {
      EXPECT_EQ(requests[1].raw.find("Range:"), std::string::npos);
    }
    if (c.result == kUpdOk) {
      EXPECT_EQ(ReadFile(target), body);
      // A finished download leaves nothing in the cache.
      char cached[UPD_PATH_SIZE];
      CDownloadCache cache(dir_.file("cache"));
      EXPECT_EQ(cache.Lookup("zel1.nup", cached, sizeof cached), kUpdReadFailed);
    }
    session().Reset();
    fs::remove_all(dir_.file("cache"));
  }
}

TEST_F(DownloadSessionTest, InlineCatalogueDataIsTakenWithoutTheNetwork) {
  const std::string bytes = RandomBytes(300, 5);
  WriteFile(dir_.file("bytes"), bytes);
  std::string lines;
  ASSERT_EQ(RunCommand("base64 -w 76 " + dir_.file("bytes"), &lines), 0);
  std::string section = "[data0000]\n";
  size_t line = 0;
  for (size_t start = 0; start < lines.size(); ++line) {
    const size_t end = lines.find('\n', start);
    char key[16];
    std::snprintf(key, sizeof key, "data%04zu", line);
    section += std::string(key) + "=" + lines.substr(start, end - start) + "\n";
    start = end + 1;
  }
  ASSERT_GT(line, 2u);
  const std::string catalogue = dir_.file("upd.ver");
  WriteFile(catalogue, "[SETUP]\nx=1\n" + section);
  const std::string target = dir_.file("pkg.nup");
  FetchFileArgs args;
  args.url = "data0000";
  args.target = target.c_str();
  args.settings = host_.settings();
  args.verPath = catalogue.c_str();
  args.cacheKey = "data0000";
  ASSERT_EQ(session().FetchFile(args), kUpdOk);
  EXPECT_EQ(ReadFile(target), bytes);
  EXPECT_TRUE(host_.events().empty());

  // Without the catalogue the text is no URL at all.
  args.verPath = nullptr;
  EXPECT_EQ(session().FetchFile(args), kUpdUnsupportedScheme);
}

// A self-signed HTTPS server: taken as long as the host names no
// certificate cache folder, refused once it does.
TEST_F(DownloadSessionTest, HttpsGoesThroughTheTlsConnectionAndItsCheckWhenConfigured) {
  const std::string key = dir_.file("server.key");
  const std::string cert = dir_.file("server.pem");
  ASSERT_EQ(RunCommand("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                       "-keyout " + key + " -out " + cert + " 2>/dev/null"),
            0);
  NginxServer web(dir_.path().string(),
                  NginxServer::Options().ListenOptions("ssl").ServerConf(
                      "ssl_certificate " + cert + ";\nssl_certificate_key " + key + ";\n"));
  ASSERT_TRUE(web.running());
  const std::string body = RandomBytes(100000, 17);
  web.PutFile("s/f.bin", body);
  const std::string url = web.Url("/s/f.bin");
  ASSERT_EQ(url.rfind("https://", 0), 0u);

  fs::create_directories(dir_.file("modules"));
  const std::string certificates = dir_.file("certificates");
  for (const bool checked : {false, true}) {
    SCOPED_TRACE(checked);
    const std::string data = dir_.file(checked ? "data-checked" : "data");
    UPDATER_INIT_PARAMS params{};
    params.cbSize = sizeof params;
    const std::string modules = dir_.file("modules");
    params.modulesFolder = modules.c_str();
    params.engineFolder = modules.c_str();
    params.dataFolder = data.c_str();
    params.certificateFolder = checked ? certificates.c_str() : "";
    UPDATER_CONTEXT* context = UpdInitialize4(&params);
    ASSERT_NE(context, nullptr);
    CDownloadSession& session = *context->session;
    session.Reset();
    const std::string target = dir_.file("out");
    fs::remove(target);
    EXPECT_EQ(session.DownloadFile(ToFile(url, target)),
              checked ? kUpdServerUnreachable : kUpdOk);
    if (!checked) {
      EXPECT_EQ(ReadFile(target), body);
      EXPECT_EQ(session.protocol, kProtocolHttps);
      EXPECT_EQ(*session.GetSchemePrefix(), "HTTPS://");
    }
    UpdUninitialize(context);
  }
}

}  // namespace
