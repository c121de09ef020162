#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "http_test_data.h"
#include "net/http/http_transport.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "support/curl_client.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"
#include "testhost/event_host.h"
#include "updater/engine/session/host_fetch_config.h"

// Downloads to files and buffers from nginx (curl and zlib as oracles) and
// from the scripted server (framing, encodings and resumption at their edges).
namespace {

using upd::test::AccessLogEntry;
using upd::test::Contents;
using upd::test::Curl;
using upd::test::CurlResult;
using upd::test::Deflate;
using upd::test::HttpResponse;
using upd::test::kKeepAlive;
using upd::test::NginxServer;
using upd::test::RandomBytes;
using upd::test::ReadFile;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::TempDir;
using upd::test::Text;
using upd::test::WriteFile;
using upd::testhost::EventHost;
namespace script = upd::test::script;

std::string Chunked(const std::string& body, size_t piece) {
  std::string out;
  for (size_t at = 0; at < body.size(); at += piece) {
    const std::string part = body.substr(at, piece);
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", part.size());
    out += size + part + "\r\n";
  }
  return out + "0\r\n\r\n";
}

uint64_t FileEventTotal(const EventHost& host) {
  uint64_t total = 0;
  for (const auto& e : host.EventsOf(UPD_EVENT_FILE)) total += e.As<UPD_FILE_EVENT>().value;
  return total;
}

class HttpDownloadTest : public ::testing::Test {
 protected:
  std::string parent() const { return dir_.path().string(); }

  // nginx with gzip on the fly for every type, except below /plain/, where
  // byte ranges work.
  NginxServer& StartNginx() {
    web_ = std::make_unique<NginxServer>(
        parent(), NginxServer::Options().ServerConf("location /plain/ { gzip off; }"));
    EXPECT_TRUE(web_->running());
    host_text_ = web_->HostPort();
    return *web_;
  }

  ScriptedPeer& StartPeer(const std::vector<ScriptedConnection>& connections,
                          std::optional<ScriptedConnection> otherwise = std::nullopt) {
    ScriptedPeer::Options options;
    if (otherwise) options.Otherwise(*otherwise);
    peer_ = std::make_unique<ScriptedPeer>(parent(), connections, options);
    EXPECT_TRUE(peer_->running());
    host_text_ = peer_->HostPort();
    // Scripts answer the GET only.
    skip_head_ = true;
    return *peer_;
  }

  HttpRequestParams Params(const std::string& path, const std::string& file) {
    path_ = path;
    file_ = file;
    HttpRequestParams params;
    params.host = host_text_;
    params.path = path_;
    params.file = file_;
    params.skip_head = skip_head_;
    return params;
  }

  UPD_ERROR ToFile(const HttpRequestParams& params, const std::string& target,
                   const char* partial = nullptr, uint32_t progress_word = 0) {
    response_ = {};
    return http_.DownloadToFile(params, target.c_str(), FetchConfigOf(host_.settings()), &response_,
                                progress_word, 7, partial);
  }

  TempDir dir_;
  std::unique_ptr<NginxServer> web_;
  std::unique_ptr<ScriptedPeer> peer_;
  std::string host_text_;
  std::string path_;
  std::string file_;
  bool skip_head_ = false;
  EventHost host_;
  CTcpProtocol tcp_;
  CHttpTransport http_{tcp_, false};
  _HTTP_RESPONSE_INFO response_{};
};

TEST_F(HttpDownloadTest, FilesMatchCurlWhateverTheirEncoding) {
  StartNginx();
  struct Case {
    std::string name;
    std::string content;
  };
  const std::vector<Case> kCases = {
      {"plain/empty.bin", ""},
      {"plain/one.bin", "x"},
      {"plain/page.bin", RandomBytes(4096, 1)},
      {"plain/large.bin", RandomBytes(3'000'001, 2)},
      // Gzip on the fly: chunked and compressed.
      {"text.txt", Text(60000)},
      {"random.bin", RandomBytes(700'000, 3)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    web_->PutFile(c.name, c.content);
    const std::string target = dir_.file("out/" + c.name);
    const size_t slash = c.name.rfind('/') + 1;
    host_.Clear();
    ASSERT_EQ(ToFile(Params("/" + c.name.substr(0, slash), c.name.substr(slash)), target), kUpdOk);
    const std::string got = ReadFile(target);
    EXPECT_EQ(got.size(), c.content.size());
    EXPECT_TRUE(got == c.content);
    const CurlResult curl = Curl("'" + web_->Url("/" + c.name) + "'");
    EXPECT_EQ(curl.status, 0);
    EXPECT_TRUE(got == curl.out);
    // The file events add up to the body as it travelled.
    const bool zipped = response_.content_encoding == kHttpEncodingGzip;
    EXPECT_EQ(zipped, c.name.find('/') == std::string::npos);
    if (!zipped) {
      EXPECT_EQ(FileEventTotal(host_), c.content.size());
    }
    for (const auto& e : host_.EventsOf(UPD_EVENT_FILE)) {
      EXPECT_EQ(e.As<UPD_FILE_EVENT>().word, 7u);
      EXPECT_STREQ(e.As<UPD_FILE_EVENT>().name, file_.c_str());
    }
  }
}

TEST_F(HttpDownloadTest, GzipOnTheFlyIsChunkedAndDecodedIntoABuffer) {
  StartNginx();
  const std::string text = Text(200000);
  web_->PutFile("big.txt", text);
  CBuffer buffer;
  ASSERT_EQ(buffer.Append("head:", 5), 0u);
  ASSERT_EQ(http_.DownloadToBuffer(Params("/", "big.txt"), &buffer, FetchConfigOf(host_.settings()),
                                   &response_, 0, 0, nullptr),
            kUpdOk);
  EXPECT_EQ(response_.chunked, 1);
  EXPECT_EQ(response_.content_encoding, kHttpEncodingGzip);
  EXPECT_TRUE(Contents(buffer) == "head:" + text);
  // What travelled was much smaller than the text.
  EXPECT_LT(FileEventTotal(host_), text.size() / 3);
}

TEST_F(HttpDownloadTest, GzipStaticIsDecodedAndCountedByItsCompressedLength) {
  StartNginx();
  const std::string text = Text(5000);
  const std::string zipped = Deflate(text);
  web_->PutFile("g.txt", "not this");
  web_->PutFile("g.txt.gz", zipped);
  const std::string target = dir_.file("g.txt");
  ASSERT_EQ(ToFile(Params("/", "g.txt"), target), kUpdOk);
  EXPECT_EQ(response_.chunked, 0);
  EXPECT_EQ(response_.content_length, zipped.size());
  EXPECT_TRUE(ReadFile(target) == text);
  EXPECT_EQ(FileEventTotal(host_), zipped.size());
}

TEST_F(HttpDownloadTest, APartialFileIsResumedWithARange) {
  StartNginx();
  const std::string content = RandomBytes(50000, 4);
  web_->PutFile("plain/r.bin", content);
  const std::string partial = dir_.file("partial.bin");
  WriteFile(partial, content.substr(0, 1000));
  const std::string target = dir_.file("r.bin");

  ASSERT_EQ(ToFile(Params("/plain/", "r.bin"), target, partial.c_str(),
                   CHttpTransport::kProgressStatusBit),
            kUpdOk);
  EXPECT_EQ(response_.status, 206u);
  EXPECT_TRUE(ReadFile(target) == content);
  // Event 2 first (after the User-Agent), then the partial bytes and the
  // blocks: the whole file.
  std::vector<uint32_t> order;
  for (const auto& e : host_.events()) order.push_back(e.event);
  ASSERT_GE(order.size(), 3u);
  EXPECT_EQ(order[0], static_cast<uint32_t>(UPD_EVENT_USER_AGENT));
  EXPECT_EQ(order[1], static_cast<uint32_t>(UPD_EVENT_STATUS));
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_STATUS).at(0).As<UPD_STATUS_EVENT>().word, 7u);
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_FILE).front().As<UPD_FILE_EVENT>().value, 1000u);
  EXPECT_EQ(FileEventTotal(host_), content.size());

  const std::vector<AccessLogEntry> log = web_->AccessLog(2);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].request, "HEAD /plain/r.bin HTTP/1.1");
  EXPECT_EQ(log[0].range, "-");  // the range goes with the GET only
  EXPECT_EQ(log[1].range, "bytes=1000-");
  EXPECT_EQ(log[1].status, 206);
}

TEST_F(HttpDownloadTest, ARefusedRangeFetchesTheWholeFileOnce) {
  StartNginx();
  const std::string content = RandomBytes(3000, 5);
  web_->PutFile("plain/s.bin", content);
  const std::string partial = dir_.file("partial.bin");
  WriteFile(partial, RandomBytes(3000, 6));  // already as long as the file
  CBuffer buffer;
  ASSERT_EQ(
      http_.DownloadToBuffer(Params("/plain/", "s.bin"), &buffer, FetchConfigOf(host_.settings()),
                             &response_, 0, 0, partial.c_str()),
      kUpdOk);
  EXPECT_EQ(response_.status, 200u);
  EXPECT_TRUE(Contents(buffer) == content);
  const std::vector<AccessLogEntry> log = web_->AccessLog(4);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].status, 416);
  EXPECT_EQ(log[3].status, 200);
  EXPECT_EQ(log[3].range, "-");
}

TEST_F(HttpDownloadTest, AnEmptyPartialFileSendsNoRangeAndA200IgnoresThePartialFile) {
  StartNginx();
  const std::string content = Text(3000);
  web_->PutFile("t.txt", content);
  const std::string empty = dir_.file("empty.part");
  WriteFile(empty, "");
  const std::string partial = dir_.file("some.part");
  WriteFile(partial, "PARTIAL");
  const std::string target = dir_.file("t.txt");

  ASSERT_EQ(ToFile(Params("/", "t.txt"), target, empty.c_str()), kUpdOk);
  EXPECT_TRUE(ReadFile(target) == content);
  // gzip on the fly answers a range with the whole body: 200.
  ASSERT_EQ(ToFile(Params("/", "t.txt"), target, partial.c_str()), kUpdOk);
  EXPECT_EQ(response_.status, 200u);
  EXPECT_TRUE(ReadFile(target) == content);
  const std::vector<AccessLogEntry> log = web_->AccessLog(4);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].range, "-");
  EXPECT_EQ(log[3].range, "bytes=7-");
}

TEST_F(HttpDownloadTest, AnEntityTagMakesTheNextRequestNotModified) {
  StartNginx();
  web_->PutFile("plain/e.bin", RandomBytes(100, 7));
  const std::string target = dir_.file("e.bin");
  ASSERT_EQ(ToFile(Params("/plain/", "e.bin"), target), kUpdOk);
  const std::string etag = response_.etag;
  const std::string modified = response_.last_modified;
  ASSERT_FALSE(etag.empty());
  ASSERT_FALSE(modified.empty());
  std::remove(target.c_str());

  for (const bool by_date : {false, true}) {
    HttpRequestParams params = Params("/plain/", "e.bin");
    (by_date ? params.if_modified_since : params.if_none_match) = by_date ? modified : etag;
    EXPECT_EQ(ToFile(params, target), kUpdNotModified);
    // Nothing was written: the target was never created.
    EXPECT_FALSE(std::filesystem::exists(target));
  }
  const std::vector<AccessLogEntry> log = web_->AccessLog(4);
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[2].status, 304);
  EXPECT_EQ(log[2].request, "HEAD /plain/e.bin HTTP/1.1");
  EXPECT_EQ(log[3].status, 304);
}

TEST_F(HttpDownloadTest, TwoDownloadsShareOneKeptConnection) {
  StartNginx();
  web_->PutFile("plain/a.bin", RandomBytes(20000, 8));
  web_->PutFile("b.txt", Text(4000));
  CBuffer first;
  CBuffer second;
  ASSERT_EQ(http_.DownloadToBuffer(Params("/plain/", "a.bin"), &first,
                                   FetchConfigOf(host_.settings()), &response_, 0, 0, nullptr),
            kUpdOk);
  ASSERT_EQ(http_.DownloadToBuffer(Params("/", "b.txt"), &second, FetchConfigOf(host_.settings()),
                                   &response_, 0, 0, nullptr),
            kUpdOk);
  EXPECT_TRUE(tcp_.IsConnected());
  const std::vector<AccessLogEntry> log = web_->AccessLog(4);
  ASSERT_EQ(log.size(), 4u);
  for (const AccessLogEntry& e : log) EXPECT_EQ(e.connection, log[0].connection) << e.request;
}

// Framing at its edges, with the scripted server.

TEST_F(HttpDownloadTest, ChunkedBodies) {
  struct Case {
    const char* name;
    std::string body;  // after the head
    UPD_ERROR result;
    std::string delivered;
  };
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n";
  const Case kCases[] = {
      {"pieces", Chunked("hello chunked world", 4), kUpdOk, "hello chunked world"},
      {"extensions and trailers", "5;ext=1\r\nhello\r\n0\r\nX-Trailer: 1\r\nX-More: 2\r\n\r\n",
       kUpdOk, "hello"},
      {"first chunk empty", "0\r\n\r\n", kUpdOk, ""},
      // A size that is not a number, or a close between chunks, is no end.
      {"size not a number", "5\r\nhello\r\nzz\r\n", kUpdConnectionClosed, "hello"},
      {"closed between chunks", "5\r\nhello\r\n", kUpdConnectionClosed, "hello"},
      {"closed inside a chunk", "a\r\nhello", kUpdConnectionClosed, "hello"},
      {"data longer than its size", "3\r\nhello\r\n0\r\n\r\n", kUpdConnectionClosed, "hel"},
      {"a chunk of 4 GiB", "100000000\r\n", kUpdSourceUnreadable, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer({}, ScriptedConnection{script::ReadRequest(), script::Send(head + "\r\n" + c.body),
                                     script::Close()});
    CBuffer buffer;
    EXPECT_EQ(http_.DownloadToBuffer(Params("/", "c"), &buffer, FetchConfigOf(host_.settings()),
                                     &response_, 0, 0, nullptr),
              c.result);
    EXPECT_EQ(Contents(buffer), c.delivered);
  }
}

TEST_F(HttpDownloadTest, TrailersAreReadAwayFromAKeptConnection) {
  StartPeer({{script::ReadRequest(),
              script::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + kKeepAlive +
                           "\r\n2\r\nab\r\n0\r\nX-Checksum: 1\r\n\r\n"),
              script::ReadRequest(), script::Send(HttpResponse("HTTP/1.1 200 OK", "cd"))}});
  CBuffer buffer;
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(http_.DownloadToBuffer(Params("/", "c"), &buffer, FetchConfigOf(host_.settings()),
                                     &response_, 0, 0, nullptr),
              kUpdOk);
  }
  EXPECT_EQ(Contents(buffer), "abcd");
}

TEST_F(HttpDownloadTest, LengthsAndBodylessAnswers) {
  struct Case {
    const char* name;
    std::string answer;
    UPD_ERROR result;
    std::string delivered;
  };
  const Case kCases[] = {
      // The server keeps the connection (it stalls): the body must end by
      // its framing, not by a 60 s wait.
      {"length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n" + kKeepAlive + "\r\n", kUpdOk, ""},
      {"204 with a length",
       "HTTP/1.1 204 No Content\r\nContent-Length: 9\r\n" + kKeepAlive + "\r\n", kUpdOk, ""},
      {"304 with a length",
       "HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n" + kKeepAlive + "\r\n", kUpdNotModified,
       ""},
      {"chunked wins over a length",
       "HTTP/1.1 200 OK\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n" + kKeepAlive +
           "\r\n" + Chunked("hello", 5),
       kUpdOk, "hello"},
      {"exact length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n" + kKeepAlive + "\r\nhello",
       kUpdOk, "hello"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer({},
              ScriptedConnection{script::ReadRequest(), script::Send(c.answer), script::Stall()});
    CBuffer buffer;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(http_.DownloadToBuffer(Params("/", "l"), &buffer, FetchConfigOf(host_.settings()),
                                     &response_, 0, 0, nullptr),
              c.result);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(Contents(buffer), c.delivered);
    http_.CloseConnection();
  }
}

TEST_F(HttpDownloadTest, ABodyThatEndsWithTheConnection) {
  const std::string content = RandomBytes(100000, 9);
  StartPeer(
      {{script::ReadRequest(), script::Send("HTTP/1.1 200 OK\r\n\r\n" + content), script::Close()},
       {script::ReadRequest(), script::Send("HTTP/1.1 200 OK\r\n"), script::Close()},
       {script::ReadRequest(), script::Send("HTTP/1.1 200 OK\r\n"), script::Close()},
       {script::ReadRequest(), script::Send("HTTP/1.1 200 OK\r\n"), script::Close()}});
  const std::string target = dir_.file("close.bin");
  ASSERT_EQ(ToFile(Params("/", "c"), target), kUpdOk);
  EXPECT_TRUE(ReadFile(target) == content);
  // A head that ended with the connection is no empty body.
  EXPECT_EQ(ToFile(Params("/", "c"), target), kUpdConnectionClosed);
}

TEST_F(HttpDownloadTest, EncodedBodies) {
  const std::string text = Text(3000);
  const std::string gzip = Deflate(text);
  const std::string zlib = Deflate(text, 15);
  const std::string cut = gzip.substr(0, gzip.size() / 2);
  std::string corrupt = gzip;
  corrupt[gzip.size() / 2] ^= 0x55;
  struct Case {
    const char* name;
    std::string answer;
    UPD_ERROR result;
  };
  const Case kCases[] = {
      {"gzip with a length", HttpResponse("HTTP/1.1 200 OK", gzip, "Content-Encoding: gzip\r\n"),
       kUpdOk},
      {"deflate chunked",
       "HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\nTransfer-Encoding: chunked\r\n\r\n" +
           Chunked(zlib, 100),
       kUpdOk},
      {"gzip until close", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + gzip, kUpdOk},
      // A stream cut short is no whole body, however it was framed.
      {"cut gzip with its length",
       HttpResponse("HTTP/1.1 200 OK", cut, "Content-Encoding: gzip\r\n"), kUpdBadCompressedData},
      {"cut gzip until close", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + cut,
       kUpdBadCompressedData},
      {"corrupt gzip", HttpResponse("HTTP/1.1 200 OK", corrupt, "Content-Encoding: gzip\r\n"),
       kUpdBadCompressedData},
      {"deflate without its wrapper",
       HttpResponse("HTTP/1.1 200 OK", gzip, "Content-Encoding: deflate\r\n"),
       kUpdBadCompressedData},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer({},
              ScriptedConnection{script::ReadRequest(), script::Send(c.answer), script::Close()});
    const std::string target = dir_.file("enc.txt");
    host_.Clear();
    EXPECT_EQ(ToFile(Params("/", "e"), target), c.result);
    if (c.result == kUpdOk) {
      EXPECT_TRUE(ReadFile(target) == text);
    }
  }
}

TEST_F(HttpDownloadTest, ARangeAnswerThatDoesNotContinueThePartialFileIsTakenAgainWhole) {
  const std::string content = RandomBytes(5000, 10);
  const std::string whole = HttpResponse("HTTP/1.1 200 OK", content);
  auto partial_answer = [&](const std::string& range, const std::string& extra) {
    return HttpResponse("HTTP/1.1 206 Partial Content", content.substr(1000),
                        "Content-Range: bytes " + range + "\r\n" + extra);
  };
  struct Case {
    const char* name;
    std::string first_answer;
    bool refetched;
  };
  const Case kCases[] = {
      {"continues", partial_answer("1000-4999/5000", ""), false},
      {"unknown whole", partial_answer("1000-4999/*", ""), false},
      {"starts elsewhere", partial_answer("0-3999/5000", ""), true},
      {"ends short", partial_answer("1000-3999/5000", ""), true},
      {"no Content-Range", HttpResponse("HTTP/1.1 206 Partial Content", content.substr(1000)),
       true},
      {"encoded", partial_answer("1000-4999/5000", "Content-Encoding: gzip\r\n"), true},
  };
  const std::string partial = dir_.file("partial.bin");
  WriteFile(partial, content.substr(0, 1000));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer({{script::ReadRequest(), script::Send(c.first_answer), script::Close()},
               {script::ReadRequest(), script::Send(whole), script::Close()}});
    const std::string target = dir_.file("r.bin");
    ASSERT_EQ(ToFile(Params("/", "r"), target, partial.c_str()), kUpdOk);
    EXPECT_TRUE(ReadFile(target) == content);
    const std::vector<ScriptedPeer::Request> requests = peer_->Requests();
    ASSERT_EQ(requests.size(), c.refetched ? 2u : 1u);
    EXPECT_NE(requests[0].raw.find("\r\nRange: bytes=1000-\r\n"), std::string::npos);
    if (c.refetched) {
      EXPECT_EQ(requests[1].raw.find("Range:"), std::string::npos);
    }
  }
}

TEST_F(HttpDownloadTest, BodiesOf4GiBAreRefusedBeforeAnyWrite) {
  StartPeer({}, ScriptedConnection{
                    script::ReadRequest(),
                    script::Send("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\nxxxx"),
                    script::Stall()});
  const std::string target = dir_.file("huge.bin");
  EXPECT_EQ(ToFile(Params("/", "huge"), target), kUpdSourceUnreadable);
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_FALSE(tcp_.IsConnected());
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_FILE).empty());
}

TEST_F(HttpDownloadTest, ANullBufferIsResult2) {
  StartPeer({}, ScriptedConnection{script::ReadRequest(),
                                   script::Send(HttpResponse("HTTP/1.1 200 OK", "abc"))});
  EXPECT_EQ(http_.DownloadToBuffer(Params("/", "n"), nullptr, FetchConfigOf(host_.settings()),
                                   &response_, 0, 0, nullptr),
            kUpdResultTooSmall);
  EXPECT_FALSE(tcp_.IsConnected());
}

}  // namespace
