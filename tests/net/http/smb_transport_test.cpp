#include "net/http/smb_transport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "support/temp_dir.h"
#include "support/test_bytes.h"
#include "testhost/event_host.h"
#include "updater/engine/session/host_fetch_config.h"

namespace {

using upd::test::Contents;
using upd::test::ReadFile;
using upd::test::WriteFile;
using upd::testhost::EventHost;
using upd::testhost::RecordedEvent;

constexpr uint32_t kStatusEvent = 2;
constexpr uint32_t kFileEvent = 3;
constexpr uint32_t kCallerWord = 42;
constexpr uint32_t kWithStatus = CSmbTransport::kProgressStatusBit | 7;

std::string Pattern(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + 7) % 256);
  return text;
}

// {event, kind, value} of each event, and the name and word of file events.
struct Seen {
  uint32_t event;
  uint32_t kind;
  uint64_t value;
  uint32_t word;
  std::string name;
  bool operator==(const Seen&) const = default;
};

std::vector<Seen> SeenEvents(const EventHost& host) {
  std::vector<Seen> seen;
  for (const RecordedEvent& e : host.events()) {
    if (e.event == kStatusEvent) {
      const auto r = e.As<UPD_STATUS_EVENT>();
      seen.push_back({e.event, r.kind, r.value, r.word, ""});
    } else if (e.event == kFileEvent) {
      const auto r = e.As<UPD_FILE_EVENT>();
      seen.push_back({e.event, r.kind, r.value, r.word, r.name});
    }
  }
  return seen;
}

class SmbTransportTest : public ::testing::Test {
 protected:
  // A share-style path ("//tmp/...") that the file layer opens like "/tmp/...".
  std::string ShareSource(const std::string& content, const std::string& name = "source.bin") {
    const std::string path = dir_.file(name);
    WriteFile(path, content);
    return "/" + path;
  }

  upd::test::TempDir dir_;
  EventHost host_;
  CSmbTransport transport_;
};

TEST_F(SmbTransportTest, CopiesAShareFileIntoMemoryInTwoHalvesOfProgress) {
  const std::string content = Pattern(10000);
  const std::string source = ShareSource(content);
  CBuffer buffer;
  ASSERT_EQ(transport_.Download(FetchConfigOf(host_.settings()), source.c_str(), nullptr,
                                kWithStatus, kCallerWord, &buffer),
            kUpdOk);
  EXPECT_EQ(Contents(buffer), content);
  const std::vector<Seen> expected = {{kStatusEvent, 1, 0, kCallerWord, ""},
                                      {kFileEvent, 1, 5000, kCallerWord, source}};
  EXPECT_EQ(SeenEvents(host_), expected);
}

TEST_F(SmbTransportTest, CopiesAShareFileIntoAFileWithTheSecondHalfAfterTheWrite) {
  struct Case {
    size_t size;
    uint32_t progress_word;
    std::vector<uint64_t> file_events;
  };
  // An odd size still adds up to the whole file.
  const Case kCases[] = {{10000, kWithStatus, {5000, 5000}}, {10001, 0, {5000, 5001}}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.size);
    host_.Clear();
    const std::string content = Pattern(c.size);
    const std::string source = ShareSource(content);
    const std::string target = dir_.file("target.bin");
    ASSERT_EQ(transport_.Download(FetchConfigOf(host_.settings()), source.c_str(), target.c_str(),
                                  c.progress_word, kCallerWord, nullptr),
              kUpdOk);
    EXPECT_EQ(ReadFile(target), content);
    std::vector<Seen> expected;
    if (c.progress_word != 0) expected.push_back({kStatusEvent, 1, 0, kCallerWord, ""});
    for (const uint64_t half : c.file_events) {
      expected.push_back({kFileEvent, 1, half, kCallerWord, source});
    }
    EXPECT_EQ(SeenEvents(host_), expected);
  }
}

TEST_F(SmbTransportTest, AppendsToWhatTheBufferHolds) {
  const std::string source = ShareSource("tail");
  CBuffer buffer;
  ASSERT_NE(buffer.Append("head-", 5), CBuffer::kFailed);
  ASSERT_EQ(transport_.Download({}, source.c_str(), nullptr, 0, 0, &buffer), kUpdOk);
  EXPECT_EQ(Contents(buffer), "head-tail");
}

TEST_F(SmbTransportTest, WorksWithoutAnEventCallback) {
  const std::string source = ShareSource("quiet");
  UPDATER_SETTINGS silent{};
  const std::string target = dir_.file("quiet.out");
  EXPECT_EQ(transport_.Download(FetchConfigOf(&silent), source.c_str(), target.c_str(), kWithStatus,
                                0, nullptr),
            kUpdOk);
  EXPECT_EQ(ReadFile(target), "quiet");
}

TEST_F(SmbTransportTest, AnEmptyFileIsAReadFailureThatTheHostStillSees) {
  const std::string source = ShareSource("");
  CBuffer buffer;
  EXPECT_EQ(transport_.Download(FetchConfigOf(host_.settings()), source.c_str(), nullptr,
                                kWithStatus, kCallerWord, &buffer),
            kUpdReadFailed);
  EXPECT_EQ(buffer.Length(), 0u);
  const std::vector<Seen> expected = {{kStatusEvent, 1, 0, kCallerWord, ""},
                                      {kFileEvent, 1, 0, kCallerWord, source}};
  EXPECT_EQ(SeenEvents(host_), expected);
}

TEST_F(SmbTransportTest, AMissingFileIs0x1011WithoutAnyEvent) {
  const std::string kMissing[] = {dir_.file("missing.bin"), dir_.file("no/such/folder/x.bin"),
                                  "/" + dir_.file("missing.bin")};
  for (const std::string& source : kMissing) {
    SCOPED_TRACE(source);
    CBuffer buffer;
    EXPECT_EQ(transport_.Download(FetchConfigOf(host_.settings()), source.c_str(), nullptr,
                                  kWithStatus, kCallerWord, &buffer),
              kUpdMissing);
    EXPECT_TRUE(host_.events().empty());
  }
}

TEST_F(SmbTransportTest, AnAbortTurnsEveryResultInto0x2107UntilCleared) {
  const std::string source = ShareSource("data");
  const std::string missing = dir_.file("missing.bin");
  CBuffer buffer;
  transport_.Abort();
  EXPECT_TRUE(transport_.IsAborted());
  EXPECT_EQ(transport_.Download({}, source.c_str(), nullptr, 0, 0, &buffer), kUpdStopped);
  EXPECT_EQ(transport_.Download({}, missing.c_str(), nullptr, 0, 0, &buffer), kUpdStopped);

  transport_.ClearAbort();
  buffer.Clear();
  EXPECT_EQ(transport_.Download({}, source.c_str(), nullptr, 0, 0, &buffer), kUpdOk);
  EXPECT_EQ(Contents(buffer), "data");
}

}  // namespace
