#include "verify/certhttp/http_response.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "verify/certhttp/http_send.h"
#include "verify/certhttp/scripted_server.h"

namespace {

using namespace certhttp_test;

TEST(HttpStatus, MapsToResultCodes) {
  struct Case {
    uint32_t status;
    uint32_t code;
  };
  const Case cases[] = {
      {0, http::kNotFound},      {100, http::kNotFound},
      {199, http::kNotFound},    {200, http::kOk},
      {201, http::kRedirect},    {202, http::kClientError},
      {203, http::kOk},          {204, http::kOk},
      {206, http::kOk},          {207, http::kClientError},
      {299, http::kClientError}, {300, http::kNotFound},
      {301, http::kRedirect},    {302, http::kRedirect},
      {303, http::kNotFound},    {304, http::kNotModified},
      {305, http::kUseProxy},    {306, http::kNotFound},
      {307, http::kRedirect},    {308, http::kRedirect},
      {309, http::kNotFound},    {399, http::kNotFound},
      {400, http::kClientError}, {401, http::kUnauthorized},
      {402, http::kClientError}, {403, http::kForbidden},
      {404, http::kNotFound},    {405, http::kMethodNotAllowed},
      {406, http::kClientError}, {407, http::kProxyAuthRequired},
      {408, http::kClientError}, {409, http::kClientError},
      {410, http::kNotFound},    {411, http::kClientError},
      {499, http::kClientError}, {500, http::kServerError},
      {501, http::kServerError}, {502, http::kBadGateway},
      {503, http::kUnavailable}, {504, http::kServerError},
      {510, http::kServerError}, {511, http::kNetworkAuthRequired},
      {512, http::kServerError}, {600, http::kServerError},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(http::HttpStatusToError(c.status), c.code) << c.status;
  }
}

TEST(HttpStatus, ErrorInfoCarriesRetryAfterOnlyFor503) {
  for (const uint32_t status : {503u, 500u}) {
    SCOPED_TRACE(status);
    ScriptedServer server({Reply(Response("HTTP/1.1 " + std::to_string(status) + " X", "",
                                          "Retry-After: 120\r\nETag: \"v1\"\r\n"
                                          "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n"))});
    ASSERT_TRUE(server.running());
    http::CHTTPErrorInfo info;
    const Fetch f = Get(Direct(server, "/"), nullptr, nullptr, 10, &info);
    EXPECT_EQ(f.open, http::HttpStatusToError(status));
    EXPECT_EQ(info.status, status);
    EXPECT_EQ(info.retry_after, status == 503 ? 120u : 0u);
    EXPECT_STREQ(info.etag.Text(), "\"v1\"");
    EXPECT_STREQ(info.last_modified.Text(), "Tue, 01 Dec 2026 10:00:00 GMT");
  }
}

struct BodyCase {
  const char* name;
  std::vector<Exchange> exchanges;
  uint32_t open;
  uint32_t read;  // the code that ended the body
  std::string body;
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }

class HttpBodyTest : public ::testing::TestWithParam<BodyCase> {};

TEST_P(HttpBodyTest, ReadsAsTheServerFramesIt) {
  const BodyCase& c = GetParam();
  ScriptedServer server(c.exchanges);
  ASSERT_TRUE(server.running());
  const Fetch f = Get(Direct(server, "/body"));
  EXPECT_EQ(f.open, c.open);
  if (c.open != http::kOk) return;
  EXPECT_EQ(f.read, c.read);
  EXPECT_EQ(f.body, c.body);
}

const std::string kChunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, HttpBodyTest,
    ::testing::Values(
        BodyCase{"content_length_with_leading_zero",
                 {Reply("HTTP/1.1 200 OK\r\nContent-Length: 010\r\n\r\n0123456789tail")},
                 http::kOk,
                 http::kEnd,
                 "0123456789"},
        BodyCase{"chunked_one_chunk",
                 {Reply(kChunked + "5\r\nhello\r\n0\r\n\r\n")},
                 http::kOk,
                 http::kEnd,
                 "hello"},
        BodyCase{"chunked_pieces_extension_and_trailer",
                 {Reply("HTTP/1.1 200 OK\r\ntransfer-encoding: CHUNKED\r\n\r\n"
                        "3;name=v\r\nabc\r\n1A\r\n" +
                        std::string(26, 'z') + "\r\n0\r\nX-Trailer: 1\r\n\r\n")},
                 http::kOk,
                 http::kEnd,
                 "abc" + std::string(26, 'z')},
        BodyCase{"bad_chunk_size",
                 {Reply(kChunked + "zz\r\nhello\r\n0\r\n\r\n")},
                 http::kOk,
                 http::kMalformed,
                 ""},
        BodyCase{"chunk_extensions_with_blanks_and_quotes",
                 {Reply(kChunked + "3 ; name = \"a;b\" ;x\r\nabc\r\n0 ;last\r\n\r\n")},
                 http::kOk,
                 http::kEnd,
                 "abc"},
        BodyCase{"garbage_after_the_chunk_size",
                 {Reply(kChunked + "3 zz\r\nabc\r\n0\r\n\r\n")},
                 http::kOk,
                 http::kMalformed,
                 ""},
        BodyCase{"blank_before_the_chunk_size",
                 {Reply(kChunked + " 3\r\nabc\r\n0\r\n\r\n")},
                 http::kOk,
                 http::kMalformed,
                 ""},
        BodyCase{"chunk_size_past_32_bits",
                 {Reply(kChunked + "100000000\r\nabc\r\n0\r\n\r\n")},
                 http::kOk,
                 http::kMalformed,
                 ""},
        BodyCase{"folded_header_line",
                 {Reply("HTTP/1.1 200 OK\r\nX-A: a\r\n b\r\nContent-Length: 2\r\n\r\nok")},
                 http::kMalformed,
                 0,
                 ""},
        BodyCase{"header_line_without_colon",
                 {Reply("HTTP/1.1 200 OK\r\nJunk\r\nContent-Length: 2\r\n\r\nok")},
                 http::kMalformed,
                 0,
                 ""},
        BodyCase{"differing_content_lengths",
                 {Reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nokk")},
                 http::kMalformed,
                 0,
                 ""},
        BodyCase{"lines_ended_by_lf_alone",
                 {Reply("HTTP/1.1 200 OK\nContent-Length: 2\n\nok")},
                 http::kOk,
                 http::kEnd,
                 "ok"},
        BodyCase{"chunk_without_its_line_end",
                 {Reply(kChunked + "2\r\nabX\r\n0\r\n\r\n")},
                 http::kOk,
                 http::kMalformed,
                 "ab"},
        BodyCase{"close_mid_chunk",
                 {Reply(kChunked + "a\r\nabc", "close")},
                 http::kOk,
                 http::kCutShort,
                 "abc"},
        BodyCase{"body_cut_short",
                 {Reply("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc", "close")},
                 http::kOk,
                 http::kCutShort,
                 "abc"},
        BodyCase{"unknown_length_ends_at_close",
                 {Reply("HTTP/1.0 200 OK\r\n\r\nuntil the end", "close")},
                 http::kOk,
                 http::kEnd,
                 "until the end"},
        BodyCase{"no_content_has_no_body",
                 {Reply("HTTP/1.1 204 No Content\r\nContent-Length: 5\r\n\r\n")},
                 http::kOk,
                 http::kEnd,
                 ""},
        BodyCase{"continue_then_ok",
                 {Reply("HTTP/1.1 100 Continue\r\n\r\n" + Response("HTTP/1.1 200 OK", "after"))},
                 http::kOk,
                 http::kEnd,
                 "after"},
        BodyCase{"first_line_not_a_status_line",
                 {Reply("Hello there\r\nContent-Length: 0\r\n\r\n")},
                 http::kNotFound,
                 0,
                 ""},
        BodyCase{"status_line_ends_after_version",
                 {Reply("HTTP/1.1\r\nContent-Length: 0\r\n\r\n")},
                 http::kMalformed,
                 0,
                 ""},
        BodyCase{"status_not_a_number", {Reply("HTTP/1.1 OK\r\n\r\n")}, http::kMalformed, 0, ""},
        BodyCase{"content_length_not_a_number",
                 {Reply("HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\nabc")},
                 http::kMalformed,
                 0,
                 ""},
        BodyCase{"headers_cut_short",
                 {Reply("HTTP/1.1 200 OK\r\nContent-Le", "close")},
                 http::kCutShort,
                 0,
                 ""},
        BodyCase{"too_many_header_lines",
                 {Reply("HTTP/1.1 200 OK\r\n" +
                        [] {
                          std::string lines;
                          for (int i = 0; i < 100; ++i)
                            lines += "X-Filler: " + std::to_string(i) + "\r\n";
                          return lines;
                        }() +
                        "\r\n")},
                 http::kMalformed,
                 0,
                 ""},
        BodyCase{
            "header_line_at_the_bound",
            {Reply(Response("HTTP/1.1 200 OK", "ok",
                            "X-Long: " + std::string(http::kMaxHeaderLine - 10, 'a') + "\r\n"))},
            http::kOk,
            http::kEnd,
            "ok"},
        BodyCase{
            "header_line_past_the_bound",
            {Reply(Response("HTTP/1.1 200 OK", "ok",
                            "X-Long: " + std::string(http::kMaxHeaderLine - 9, 'a') + "\r\n"))},
            http::kMalformed,
            0,
            ""},
        BodyCase{"many_header_lines_within_the_bound",
                 {Reply(Response("HTTP/1.1 200 OK", "ok",
                                 [] {
                                   std::string lines;
                                   for (int i = 0; i < 97; ++i)
                                     lines += "X-Filler: " + std::to_string(i) + "\r\n";
                                   return lines;
                                 }()))},
                 http::kOk,
                 http::kEnd,
                 "ok"}),
    [](const ::testing::TestParamInfo<BodyCase>& info) { return std::string(info.param.name); });

TEST(HttpHeaders, FirstKnownConnectionValueWinsInAnyCase) {
  // "Close" after an unknown value decides; the later Keep-Alive does not.
  ScriptedServer server({Reply(Response("HTTP/1.1 200 OK", "one",
                                        "Connection: upgrade\r\nCONNECTION: cLoSe\r\n"
                                        "Connection: Keep-Alive\r\n")),
                         Reply(Response("HTTP/1.1 200 OK", "two"))});
  ASSERT_TRUE(server.running());
  http::CHTTPRequest r = Direct(server, "/");
  http::CHTTPSession* session = nullptr;
  ASSERT_EQ(
      http::HttpSessionOpen(http::kMethodGet, &r, nullptr, nullptr, &session, nullptr, 10, nullptr),
      http::kOk);
  EXPECT_EQ(session->response->connection, http::kConnectionClose);
  char piece[16];
  uint64_t received = 0;
  EXPECT_EQ(http::HttpSessionRead(session, piece, sizeof(piece), &received, 1, nullptr), http::kOk);
  EXPECT_EQ(http::HttpSessionRead(session, piece, sizeof(piece), &received, 1, nullptr),
            http::kEnd);
  EXPECT_FALSE(session->transport->IsConnected());  // closed as the server asked
  EXPECT_EQ(session->state, http::kStateComplete);
  EXPECT_EQ(http::HttpSessionRead(session, piece, sizeof(piece), &received, 1, nullptr),
            http::kBadRequest);
  EXPECT_EQ(session->state, http::kStateFailed);
  EXPECT_EQ(http::HttpSessionClose(session), http::kOk);
  EXPECT_EQ(http::HttpSessionClose(nullptr), http::kBadRequest);
}

long MaxRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST(HttpHostile, HugeHeaderLineIsRefusedWithoutGrowing) {
  ScriptedServer server({Exchange{
      {Send("HTTP/1.1 200 OK\r\nX-Huge: "), Repeat("a", 100u * 1024 * 1024), Send("\r\n\r\n")},
      "close"}});
  ASSERT_TRUE(server.running());
  const long before = MaxRssKiB();
  const auto start = std::chrono::steady_clock::now();
  const Fetch f = Get(Direct(server, "/"));
  EXPECT_EQ(f.open, http::kMalformed);
  EXPECT_LT(MaxRssKiB() - before, 20 * 1024);  // far below the 100 MiB on offer
  EXPECT_LT(ElapsedMs(start), 10000);
}

TEST(HttpHostile, TricklingServerIsStoppedByTheDeadline) {
  // One byte every 100 ms would take about 20 s; the whole call may take 2 s.
  ScriptedServer server({Exchange{
      {Send("HTTP/1.1 200 OK\r\nContent-Length: 200\r\n\r\n"), Trickle(std::string(200, 'x'), 0.1)},
      "close"}});
  ASSERT_TRUE(server.running());
  const auto start = std::chrono::steady_clock::now();
  const Fetch f = Get(Direct(server, "/"), nullptr, nullptr, 2);
  EXPECT_EQ(f.open, http::kOk);
  EXPECT_EQ(f.read, http::kSocketError);
  EXPECT_LT(f.body.size(), 200u);
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 1500);
  EXPECT_LT(elapsed, 8000);
}

TEST(HttpHostile, TricklingHeadersAreStoppedByTheDeadline) {
  ScriptedServer server(
      {Exchange{{Trickle("HTTP/1.1 200 OK\r\n" + std::string(400, 'X'), 0.02)}, "close"}});
  ASSERT_TRUE(server.running());
  const auto start = std::chrono::steady_clock::now();
  const Fetch f = Get(Direct(server, "/"), nullptr, nullptr, 1);
  EXPECT_EQ(f.open, http::kCutShort);
  EXPECT_LT(ElapsedMs(start), 6000);
}

TEST(HttpHeaders, ReadWithoutWaitingKeepsAHalfLine) {
  ScriptedServer server({Exchange{
      {Send("HTTP/1.1 200 OK\r\nContent-Len"), Sleep(0.5), Send("gth: 3\r\n\r\nabc")}, "keep"}});
  ASSERT_TRUE(server.running());
  http::CTransportSSL transport;
  ASSERT_EQ(transport.Connect(server.address().c_str(), server.port(), 0, 10), http::kOk);
  const char request[] = "GET / HTTP/1.1\r\nHost: x:1\r\n\r\n";
  ASSERT_EQ(transport.Send(request, sizeof(request) - 1), sizeof(request) - 1);

  http::CHTTPResponse response;
  CBuffer partial;
  uint32_t code = http::kNoData;
  // Wait until the first half has arrived and been taken.
  for (int i = 0; i < 100 && partial.Length() < 11; ++i) {
    code = http::HttpReadResponseHeaders(&transport, &response, 0, &partial);
    ASSERT_EQ(code, http::kNoData);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(partial.Data()), partial.Length()),
            "Content-Len");
  EXPECT_EQ(response.status, 200u);  // the complete first line is kept
  for (int i = 0; i < 200 && code == http::kNoData; ++i) {
    code = http::HttpReadResponseHeaders(&transport, &response, 0, &partial);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(code, http::kOk);
  EXPECT_EQ(response.status, 200u);
  EXPECT_EQ(response.content_length, 3u);
  EXPECT_EQ(http::HttpReadResponseHeaders(&transport, &response, 0, nullptr), http::kBadRequest);
}

}  // namespace
