#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net/http/fetch_config.h"
#include "net/http/http_transport.h"
#include "net/http/smb_transport.h"
#include "platform/util/buffer.h"
#include "platform/util/host_records.h"
#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"

// A transport configured with an event sink of the test's own: the events a
// host would see, in their order and with their values, against nginx.
namespace {

using upd::test::NginxServer;
using upd::test::RandomBytes;
using upd::test::ReadFile;
using upd::test::TempDir;
using upd::test::WriteFile;

struct Seen {
  std::string what;  // "status", "file" or "agent"
  uint32_t word = 0;
  uint32_t kind = 0;
  uint64_t value = 0;
  std::string name;

  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
  return out << seen.what << " word=" << seen.word << " kind=" << seen.kind
             << " value=" << seen.value << " name=" << seen.name;
}

class RecordingEvents final : public IFetchEvents {
 public:
  explicit RecordingEvents(std::string agent) : agent_(std::move(agent)) {}

  void Status(uint32_t word, uint32_t kind, uint64_t value) const override {
    seen_.push_back({"status", word, kind, value, ""});
  }
  void File(uint32_t word, uint32_t kind, uint64_t value, const char* name) const override {
    seen_.push_back({"file", word, kind, value, name != nullptr ? name : ""});
  }
  void AskUserAgent(HOST_STRING* agent) const override {
    seen_.push_back({"agent", 0, 0, agent->length, ""});
    (void)HostStringAppend(agent, agent_.size(), agent_.data());
  }
  bool RefusesServer(UPD_SERVER_ADDRESS_EVENT* /*event*/) const override {
    seen_.push_back({"server", 0, 0, 0, ""});
    return false;
  }

  std::vector<Seen>& seen() const { return seen_; }

 private:
  std::string agent_;
  mutable std::vector<Seen> seen_;
};

constexpr uint32_t kCallerWord = 9;
// The transport's receive block: each file event reports at most this much.
constexpr uint64_t kBlock = 256 * 1024;

class FetchEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    web_ = std::make_unique<NginxServer>(
        dir_.path().string(), NginxServer::Options().ServerConf("location /plain/ { gzip off; }"));
    ASSERT_TRUE(web_->running());
    host_text_ = web_->HostPort();
  }

  FetchConfig Config(const std::string& agent) {
    events_ = std::make_shared<RecordingEvents>(agent);
    FetchConfig config;
    config.events = events_;
    return config;
  }

  HttpRequestParams Params(const std::string& file) {
    file_ = file;
    HttpRequestParams params;
    params.host = host_text_;
    params.path = "/plain/";
    params.file = file_;
    return params;
  }

  std::vector<Seen>& seen() { return events_->seen(); }

  // The file events after the first `skip` records: each names the file and
  // carries the caller's word; their values add up to the body.
  uint64_t CheckFileEvents(size_t skip, const std::string& name) {
    uint64_t total = 0;
    for (size_t i = skip; i < seen().size(); ++i) {
      const Seen& e = seen()[i];
      EXPECT_EQ(e.what, "file") << i;
      EXPECT_EQ(e.word, kCallerWord);
      EXPECT_EQ(e.kind, 1u);
      EXPECT_EQ(e.name, name);
      EXPECT_GT(e.value, 0u);
      EXPECT_LE(e.value, kBlock);
      total += e.value;
    }
    return total;
  }

  TempDir dir_;
  std::unique_ptr<NginxServer> web_;
  std::string host_text_;
  std::string file_;
  std::shared_ptr<RecordingEvents> events_;
  CTcpProtocol tcp_;
  CHttpTransport http_{tcp_, false};
  _HTTP_RESPONSE_INFO response_{};
};

TEST_F(FetchEventsTest, ADownloadAsksTheAgentThenReportsItsStartAndEveryBlock) {
  const std::string body = RandomBytes(3 * kBlock + 1000, 5);
  web_->PutFile("plain/big.bin", body);
  const std::string target = dir_.file("big.bin");
  const FetchConfig config = Config("probe-agent/1");

  ASSERT_EQ(http_.DownloadToFile(Params("big.bin"), target.c_str(), config, &response_,
                                 CHttpTransport::kProgressStatusBit, kCallerWord, nullptr),
            kUpdOk);
  EXPECT_TRUE(ReadFile(target) == body);
  ASSERT_GE(seen().size(), 3u);
  // The agent goes out with the first request; the status opens the body.
  EXPECT_EQ(seen()[0], (Seen{"agent", 0, 0, 0, ""}));
  EXPECT_EQ(seen()[1], (Seen{"status", kCallerWord, 1, 0, ""}));
  EXPECT_EQ(CheckFileEvents(2, "big.bin"), body.size());
  // nginx saw the sink's agent on both the HEAD and the GET.
  const auto log = web_->AccessLog(2);
  ASSERT_EQ(log.size(), 2u);
  for (const auto& entry : log) EXPECT_EQ(entry.user_agent, "probe-agent/1");
}

TEST_F(FetchEventsTest, AResumedDownloadReportsThePartialBytesFirst) {
  const std::string body = RandomBytes(kBlock + 5000, 6);
  web_->PutFile("plain/part.bin", body);
  const std::string partial = dir_.file("part.partial");
  WriteFile(partial, body.substr(0, 3000));
  const std::string target = dir_.file("part.bin");
  const FetchConfig config = Config("probe-agent/2");

  ASSERT_EQ(http_.DownloadToFile(Params("part.bin"), target.c_str(), config, &response_,
                                 CHttpTransport::kProgressStatusBit, kCallerWord, partial.c_str()),
            kUpdOk);
  EXPECT_TRUE(ReadFile(target) == body);
  ASSERT_GE(seen().size(), 4u);
  EXPECT_EQ(seen()[0].what, "agent");
  EXPECT_EQ(seen()[1], (Seen{"status", kCallerWord, 1, 0, ""}));
  EXPECT_EQ(seen()[2], (Seen{"file", kCallerWord, 1, 3000, "part.bin"}));
  EXPECT_EQ(CheckFileEvents(3, "part.bin"), body.size() - 3000);
}

TEST_F(FetchEventsTest, WithoutTheStatusBitOnlyFileEventsFollowTheAgent) {
  const std::string body = RandomBytes(1000, 7);
  web_->PutFile("plain/small.bin", body);
  CBuffer buffer;
  const FetchConfig config = Config("probe-agent/3");

  ASSERT_EQ(http_.DownloadToBuffer(Params("small.bin"), &buffer, config, &response_, 0, kCallerWord,
                                   nullptr),
            kUpdOk);
  EXPECT_EQ(seen(), (std::vector<Seen>{{"agent", 0, 0, 0, ""},
                                       {"file", kCallerWord, 1, 1000, "small.bin"}}));
}

TEST_F(FetchEventsTest, TheAgentIsAskedOncePerRunAndAgainWhileTheSinkHasNone) {
  web_->PutFile("plain/a.bin", "a");
  struct Case {
    std::string agent;
    size_t asks_in_two_downloads;
  };
  for (const Case& c : {Case{"kept-agent", 1}, Case{"", 2}}) {
    SCOPED_TRACE(c.agent);
    http_.Reset();
    const FetchConfig config = Config(c.agent);
    for (int i = 0; i < 2; ++i) {
      CBuffer buffer;
      ASSERT_EQ(http_.DownloadToBuffer(Params("a.bin"), &buffer, config, &response_, 0, 0, nullptr),
                kUpdOk);
    }
    size_t asks = 0;
    for (const Seen& e : seen()) asks += e.what == "agent" ? 1 : 0;
    EXPECT_EQ(asks, c.asks_in_two_downloads);
    EXPECT_EQ(http_.user_agent(), c.agent);
  }
  // A new run asks again, even with the agent of the last one kept.
  http_.Reset();
  const FetchConfig config = Config("next-run");
  CBuffer buffer;
  ASSERT_EQ(http_.DownloadToBuffer(Params("a.bin"), &buffer, config, &response_, 0, 0, nullptr),
            kUpdOk);
  ASSERT_FALSE(seen().empty());
  EXPECT_EQ(seen()[0].what, "agent");
  EXPECT_EQ(http_.user_agent(), "next-run");
}

TEST_F(FetchEventsTest, WithoutASinkNothingIsAskedAndNoAgentIsSent) {
  const std::string body = RandomBytes(2000, 8);
  web_->PutFile("plain/quiet.bin", body);
  CBuffer buffer;
  ASSERT_EQ(http_.DownloadToBuffer(Params("quiet.bin"), &buffer, FetchConfig{}, &response_,
                                   CHttpTransport::kProgressStatusBit, kCallerWord, nullptr),
            kUpdOk);
  EXPECT_EQ(buffer.Length(), body.size());
  EXPECT_TRUE(http_.user_agent().empty());
  const auto log = web_->AccessLog(1);
  ASSERT_FALSE(log.empty());
  // nginx logs a missing header as "-".
  EXPECT_TRUE(log.back().user_agent.empty() || log.back().user_agent == "-")
      << log.back().user_agent;
}

TEST(FetchEventsShareTest, AShareCopyReportsItsHalvesThroughTheSink) {
  TempDir dir;
  const std::string source = dir.file("f.bin");
  WriteFile(source, std::string(1001, 's'));
  const std::string target = dir.file("f.out");
  auto events = std::make_shared<RecordingEvents>("unused");
  FetchConfig config;
  config.events = events;
  CSmbTransport share;
  ASSERT_EQ(share.Download(config, source.c_str(), target.c_str(),
                           CSmbTransport::kProgressStatusBit, kCallerWord, nullptr),
            kUpdOk);
  EXPECT_EQ(events->seen(), (std::vector<Seen>{{"status", kCallerWord, 1, 0, ""},
                                               {"file", kCallerWord, 1, 500, source},
                                               {"file", kCallerWord, 1, 501, source}}));
}

}  // namespace
