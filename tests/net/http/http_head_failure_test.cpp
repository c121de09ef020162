#include <gtest/gtest.h>
#include <sys/resource.h>

#include <string>
#include <vector>

#include "http_test_data.h"
#include "net/http/http_head.h"
#include "net/http/http_transport.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "scripted_http_fixture.h"
#include "support/net_servers.h"

// Heads and body lines that a hostile or broken server sends: heads past
// their bound in bytes or lines, lines that are no header line, framing
// values past their limit, and chunk-size and trailer lines without end.
namespace {

using upd::test::HttpResponse;
using upd::test::kKeepAlive;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
namespace script = upd::test::script;

long MaxRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A status line and header lines that fill a head to exactly bytes, the
// empty line included.
std::string HeadOfSize(size_t bytes) {
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Fill: ";
  head += std::string(bytes - head.size() - 4, 'f');
  return head + "\r\n\r\n";
}

class HttpHeadFailureTest : public upd::test::ScriptedHttpTest {
 protected:
  // Every connection plays connection.
  void StartPeer(const ScriptedConnection& connection) {
    ScriptedHttpTest::StartPeer({}, ScriptedPeer::Options().Otherwise(connection));
    host_text_ = peer_->HostPort();
  }

  HttpRequestParams Params() const {
    HttpRequestParams params;
    params.host = host_text_;
    params.path = "/d/";
    params.file = "f.bin";
    params.skip_head = true;
    return params;
  }

  UPD_ERROR Request() {
    bool keep_alive = true;
    return http_.Request(Params(), config_, &response_, &keep_alive);
  }

  UPD_ERROR Download(CBuffer* body) {
    return http_.DownloadToBuffer(Params(), body, config_, &response_, 0, 0, nullptr);
  }
};

TEST_F(HttpHeadFailureTest, BrokenHeadsAreRefused) {
  struct Case {
    const char* name;
    std::string answer;  // then the server closes
    UPD_ERROR result;
    int attempts;
  };
  std::string many_lines = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 101; ++i) many_lines += "X-Line-" + std::to_string(i) + ": v\r\n";
  const Case kCases[] = {
      {"no status number", "HTTP/1.1 \r\n\r\n", kUpdBadResponse, 1},
      {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", kUpdBadResponse, 1},
      // A head cut before its empty line is never a success, whatever it said.
      {"cut after the status", "HTTP/1.1 200 OK\r\n", kUpdConnectionClosed, 3},
      {"cut inside a header", "HTTP/1.1 404 Not Found\r\nContent-Le", kUpdConnectionClosed, 3},
      {"nothing at all", "", kUpdConnectionClosed, 3},
      {"head past its bound", HeadOfSize(kHttpMaxHeadBytes + 1), kUpdBadResponse, 1},
      {"one line past the head's bound",
       "HTTP/1.1 200 OK\r\nX-Long: " + std::string(kHttpMaxHeadBytes, 'a') + "\r\n\r\n",
       kUpdBadResponse, 1},
      {"too many lines", many_lines + "\r\n", kUpdBadResponse, 1},
      {"unreadable length", "HTTP/1.1 200 OK\r\nContent-Length: ten\r\n\r\n", kUpdBadResponse, 1},
      {"folded line", "HTTP/1.1 200 OK\r\nX-A: a\r\n b\r\nContent-Length: 2\r\n\r\nok",
       kUpdBadResponse, 1},
      {"line without colon", "HTTP/1.1 200 OK\r\nJunk line\r\nContent-Length: 2\r\n\r\nok",
       kUpdBadResponse, 1},
      {"blank before the colon", "HTTP/1.1 200 OK\r\nContent-Length : 2\r\n\r\nok",
       kUpdBadResponse, 1},
      {"framing value past its limit",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked" +
           std::string(kHttpMaxFramingValueBytes, ' ') + ";\r\n\r\n",
       kUpdBadResponse, 1},
      {"status line past its limit",
       "HTTP/1.1 200 " + std::string(kHttpMaxStatusLineBytes, 'r') + "\r\n\r\n", kUpdBadResponse,
       1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    StartPeer(ScriptedConnection{script::ReadRequest(), script::Send(c.answer), script::Close()});
    EXPECT_EQ(Request(), c.result);
    EXPECT_FALSE(tcp_.IsConnected());
    EXPECT_TRUE(peer_->WaitForConnections(c.attempts));
    EXPECT_EQ(peer_->Connections(), c.attempts);
  }
  // A head of exactly its bound and the most lines allowed still pass.
  std::string full = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 99; ++i) full += "X-Line: v\r\n";
  full += "X-Fill: ";
  full += std::string(kHttpMaxHeadBytes - full.size() - 4, 'f') + "\r\n\r\n";
  ASSERT_EQ(full.size(), kHttpMaxHeadBytes);
  for (const std::string& head : {full, HeadOfSize(kHttpMaxHeadBytes)}) {
    StartPeer(ScriptedConnection{script::ReadRequest(), script::Send(head + "ok")});
    CBuffer body;
    EXPECT_EQ(Download(&body), kUpdOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(body.Data()), body.Length()), "ok");
  }
}

// A header line without end costs a bounded buffer, not the whole line.
TEST_F(HttpHeadFailureTest, AnEndlessHeaderLineIsRefusedWithoutGrowing) {
  StartPeer(ScriptedConnection{script::ReadRequest(), script::Send("HTTP/1.1 200 OK\r\nX-Huge: "),
                               script::Repeat("a", 100u * 1024 * 1024), script::Send("\r\n\r\n"),
                               script::Close()});
  const long before = MaxRssKiB();
  EXPECT_EQ(Request(), kUpdBadResponse);
  EXPECT_LT(MaxRssKiB() - before, 20 * 1024);  // far below the 100 MiB on offer
  EXPECT_EQ(peer_->Connections(), 1);
}

// Chunk-size lines keep their own limit, extensions included; a trailer
// without end costs the connection, not the body it follows.
TEST_F(HttpHeadFailureTest, ChunkAndTrailerLinesWithoutEnd) {
  const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + kKeepAlive +
                           "\r\n";
  const std::string extension = ";name=\"" + std::string(kHttpMaxChunkLineBytes, 'x') + "\"";
  StartPeer(ScriptedConnection{script::ReadRequest(),
                               script::Send(head + "2" + extension + "\r\nok\r\n0\r\n\r\n"),
                               script::Close()});
  CBuffer body;
  EXPECT_EQ(Download(&body), kUpdConnectionClosed);

  for (const size_t trailer : {size_t{10}, kHttpMaxHeadBytes}) {
    SCOPED_TRACE(trailer);
    StartPeer(ScriptedConnection{
        script::ReadRequest(),
        script::Send(head + "2\r\nok\r\n0\r\nX-Trailer: " + std::string(trailer, 't') +
                     "\r\n\r\n"),
        script::Stall()});
    CBuffer whole;
    EXPECT_EQ(Download(&whole), kUpdOk);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(whole.Data()), whole.Length()), "ok");
    EXPECT_EQ(tcp_.IsConnected(), trailer < kHttpMaxHeadBytes);
    http_.CloseConnection();
  }
}

}  // namespace
