#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <string>

#include "http_test_data.h"
#include "net/http/http_transport.h"
#include "net/http/transfer_bound.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "scripted_http_fixture.h"
#include "support/file_size_limit.h"
#include "support/hostile_bodies.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"

// Hostile servers against the transport's size bound: gzip bombs, endless
// bodies and lengths past the bound stop at the bound, with the bound's own
// code, and leave neither a file nor a full buffer behind.
namespace {

namespace fs = std::filesystem;
using upd::test::Contents;
using upd::test::Deflate;
using upd::test::FileSizeLimit;
using upd::test::HttpResponse;
using upd::test::RandomBytes;
using upd::test::ReadFile;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::WriteFile;
namespace script = upd::test::script;

constexpr uint64_t kBound = uint64_t{1} << 20;
// A code no body limit of the transport gives by itself: seeing it shows that
// the bound's own result came back.
constexpr TransferBound kTestBound{kBound, kUpdBadFile};

class HttpSizeBoundFailureTest : public upd::test::ScriptedHttpTest {
 protected:
  HttpRequestParams Params(const TransferBound& bound = kTestBound) {
    host_text_ = peer_->HostPort();
    HttpRequestParams params;
    params.host = host_text_;
    params.path = "/";
    params.file = "f.bin";
    params.skip_head = true;
    params.size_bound = bound;
    return params;
  }

  ScriptedPeer& Serve(const ScriptedConnection& every) {
    return StartPeer({}, ScriptedPeer::Options().Otherwise(every));
  }

  UPD_ERROR ToFile(const std::string& target, const TransferBound& bound = kTestBound,
                   const char* partial = nullptr) {
    return http_.DownloadToFile(Params(bound), target.c_str(), config_, &response_, 0, 0, partial);
  }
  UPD_ERROR ToBuffer(CBuffer* buffer, const TransferBound& bound = kTestBound) {
    return http_.DownloadToBuffer(Params(bound), buffer, config_, &response_, 0, 0, nullptr);
  }
};

TEST_F(HttpSizeBoundFailureTest, AHostileBodyStopsAtTheBoundAndLeavesNothing) {
  struct Case {
    const char* name;
    ScriptedConnection answer;
  };
  // 10 MB of bomb decode to 10 GB.
  const Case kCases[] = {
      {"gzip bomb", upd::test::GzipBomb(10'000'000)},
      {"chunked gzip bomb", upd::test::GzipBomb(10'000'000, /*chunked=*/true)},
      {"endless body", upd::test::EndlessBody()},
      {"endless chunked body", upd::test::EndlessBody(/*chunked=*/true)},
      {"gzip stream with an endless tail", upd::test::GzipWithEndlessTail(Deflate("small"))},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Serve(c.answer);
    const std::string target = dir_.file("out.bin");
    {
      // A write past the bound would fail with 0x1017 instead.
      const FileSizeLimit cap(kBound);
      ASSERT_TRUE(cap.active());
      EXPECT_EQ(ToFile(target), kUpdBadFile);
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(tcp_.IsConnected());

    CBuffer buffer;
    EXPECT_EQ(ToBuffer(&buffer), kUpdBadFile);
    EXPECT_EQ(buffer.Length(), 0u);
    // The buffer grows by half its size; the block that would pass the bound
    // never goes in.
    EXPECT_LE(buffer.Capacity(), kBound + kBound / 2);
    EXPECT_FALSE(tcp_.IsConnected());
  }
}

TEST_F(HttpSizeBoundFailureTest, WithoutABoundOfItsOwnTheTransferEndsWith0x1204) {
  Serve(upd::test::GzipBomb(10'000'000));
  const std::string target = dir_.file("out.bin");
  EXPECT_EQ(ToFile(target, TransferBound{kBound}), kUpdSourceUnreadable);
  EXPECT_FALSE(fs::exists(target));
}

TEST_F(HttpSizeBoundFailureTest, ALengthPastTheBoundIsRefusedBeforeAnyByteIsWritten) {
  struct Case {
    const char* name;
    ScriptedConnection answer;
  };
  const Case kCases[] = {
      {"plain, one byte over", upd::test::Announcing(kBound + 1)},
      {"plain, far over", upd::test::Announcing(200 * kBound)},
      {"encoded, past what the bound decodes from",
       upd::test::Announcing(EncodedBodyLimit(kBound) + 1, "Content-Encoding: gzip\r\n")},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Serve(c.answer);
    const std::string absent = dir_.file("absent.bin");
    EXPECT_EQ(ToFile(absent), kUpdBadFile);
    EXPECT_FALSE(fs::exists(absent));
    // A target that exists keeps its bytes: it is not even opened.
    const std::string kept = dir_.file("kept.bin");
    WriteFile(kept, "earlier file");
    EXPECT_EQ(ToFile(kept), kUpdBadFile);
    EXPECT_EQ(ReadFile(kept), "earlier file");
    CBuffer buffer;
    EXPECT_EQ(ToBuffer(&buffer), kUpdBadFile);
    EXPECT_EQ(buffer.Capacity(), 0u);
    EXPECT_FALSE(tcp_.IsConnected());
  }
}

TEST_F(HttpSizeBoundFailureTest, ABodyOfExactlyTheBoundPassesAndOneByteMoreDoesNot) {
  const std::string body = RandomBytes(kBound, 3);
  struct Case {
    const char* name;
    std::string answer;  // then the peer closes
    UPD_ERROR result;
  };
  const Case kCases[] = {
      {"announced", HttpResponse("HTTP/1.1 200 OK", body), kUpdOk},
      {"ended by the close", "HTTP/1.1 200 OK\r\n\r\n" + body, kUpdOk},
      {"announced, one more", HttpResponse("HTTP/1.1 200 OK", body + "+"), kUpdBadFile},
      {"ended by the close, one more", "HTTP/1.1 200 OK\r\n\r\n" + body + "+", kUpdBadFile},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Serve({script::ReadRequest(), script::Send(c.answer)});
    const std::string target = dir_.file("out.bin");
    fs::remove(target);
    EXPECT_EQ(ToFile(target), c.result);
    EXPECT_EQ(fs::exists(target), c.result == kUpdOk);
    if (c.result == kUpdOk) {
      EXPECT_EQ(ReadFile(target), body);
    }
  }
}

TEST_F(HttpSizeBoundFailureTest, AnEncodedBodyIsBoundedByWhatItDecodesTo) {
  // Incompressible bytes come out a little larger encoded than decoded.
  const std::string body = RandomBytes(100000, 5);
  const std::string encoded = Deflate(body);
  ASSERT_GT(encoded.size(), body.size());
  Serve({script::ReadRequest(),
         script::Send(HttpResponse("HTTP/1.1 200 OK", encoded, "Content-Encoding: gzip\r\n"))});
  const std::string target = dir_.file("out.bin");
  EXPECT_EQ(ToFile(target, {body.size(), kUpdBadFile}), kUpdOk);
  EXPECT_EQ(ReadFile(target), body);
  EXPECT_EQ(ToFile(target, {body.size() - 1, kUpdBadFile}), kUpdBadFile);
  EXPECT_FALSE(fs::exists(target));
}

// The body of an answer nobody reads (an error page, a redirect) is read
// away on a kept connection only while small.
TEST_F(HttpSizeBoundFailureTest, ALargeBodyNobodyReadsClosesTheConnection) {
  const std::string head = "HTTP/1.1 404 Not Found\r\nConnection: keep-alive\r\n";
  const std::string block(0x10000, 'p');
  struct Case {
    const char* name;
    ScriptedConnection answer;
    bool kept;
  };
  const Case kCases[] = {
      {"small page",
       {script::ReadRequest(), script::Send(head + "Content-Length: 65536\r\n\r\n" + block),
        script::Stall()},
       true},
      {"endless chunked page",
       {script::ReadRequest(), script::Send(head + "Transfer-Encoding: chunked\r\n\r\n"),
        script::Repeat("10000\r\n" + block + "\r\n", uint64_t{1} << 24)},
       false},
      {"200 MiB page",
       {script::ReadRequest(), script::Send(head + "Content-Length: 209715200\r\n\r\n"),
        script::Repeat(block, 3200)},
       false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Serve(c.answer);
    EXPECT_EQ(ToFile(dir_.file("out.bin")), kUpdNotFound);
    EXPECT_EQ(tcp_.IsConnected(), c.kept);
    http_.CloseConnection();
  }
}

// The partial bytes of a resumed download count: the whole file is bounded.
TEST_F(HttpSizeBoundFailureTest, AResumedDownloadIsBoundedAsAWholeFile) {
  const std::string whole = RandomBytes(1100, 9);
  const std::string partial = dir_.file("partial.bin");
  WriteFile(partial, whole.substr(0, 600));
  const TransferBound bound{1000, kUpdBadFile};

  Serve({script::ReadRequest(),
         script::Send(HttpResponse("HTTP/1.1 206 Partial Content", whole.substr(600),
                                   "Content-Range: bytes 600-1099/1100\r\n"))});
  const std::string target = dir_.file("out.bin");
  EXPECT_EQ(ToFile(target, bound, partial.c_str()), kUpdBadFile);
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(ReadFile(partial), whole.substr(0, 600));

  Serve({script::ReadRequest(),
         script::Send(HttpResponse("HTTP/1.1 206 Partial Content", whole.substr(600, 400),
                                   "Content-Range: bytes 600-999/1000\r\n"))});
  EXPECT_EQ(ToFile(target, bound, partial.c_str()), kUpdOk);
  EXPECT_EQ(ReadFile(target), whole.substr(0, 1000));

  // A partial file already past the bound is no place to resume from.
  WriteFile(partial, whole);
  Serve({script::ReadRequest(),
         script::Send(HttpResponse("HTTP/1.1 200 OK", whole.substr(0, 1000)))});
  EXPECT_EQ(ToFile(target, bound, partial.c_str()), kUpdOk);
  EXPECT_EQ(ReadFile(target), whole.substr(0, 1000));
  ASSERT_EQ(RawRequests().size(), 1u);
  EXPECT_EQ(RawRequests()[0].find("Range:"), std::string::npos) << RawRequests()[0];
}

}  // namespace
