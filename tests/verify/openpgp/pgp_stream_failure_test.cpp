#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "pgp_kit.h"

namespace upd::test {
namespace {

// A source that believes it holds the whole file but runs dry after `cut`
// bytes, reporting the end of its data with its own code, as a pipe or a
// file truncated under the reader would.
class CutShortStream final : public IInputStream {
 public:
  CutShortStream(const std::vector<uint8_t>& bytes, uint64_t cut) : bytes_(bytes), cut_(cut) {}
  uint32_t Close() override { return kStreamOk; }
  uint32_t GetRemaining(uint64_t* remaining) override {
    *remaining = bytes_.size() - position_;
    return kStreamOk;
  }
  uint32_t Read(uint8_t* buffer, uint64_t n, uint64_t* got) override {
    const uint64_t available = position_ < cut_ ? cut_ - position_ : 0;
    *got = n < available ? n : available;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), *got, buffer);
    position_ += *got;
    return *got < n ? kStreamEnd : kStreamOk;
  }
  uint32_t ReadDirect(ReadDirectCallback, void*, uint64_t, uint64_t*) override {
    return kStreamNotSupported;
  }
  uint32_t Seek(int64_t, uint32_t) override { return kStreamNotSupported; }
  uint32_t GetPosition(uint64_t*) override { return kStreamNotSupported; }

 private:
  const std::vector<uint8_t>& bytes_;
  uint64_t cut_;
  uint64_t position_ = 0;
};

// Where each top-level packet of a file starts and ends.
struct Packet {
  uint8_t tag;
  uint64_t start;
  uint64_t end;
};

std::vector<Packet> Packets(const std::vector<uint8_t>& file) {
  MemoryInputStream memory;
  BinaryInputStream stream;
  std::vector<Packet> packets;
  if (memory.Open(file.data(), file.size()) != 0 || stream.Attach(&memory) != 0) return packets;
  uint64_t at = 0;
  uint64_t remaining = 0;
  while (stream.GetRemaining(&remaining) == 0 && remaining > 0) {
    PgpBodyReader enclosing(&stream, remaining);
    PgpPacketHeader header;
    if (PgpReadPacketHeader(&enclosing, &header) != kPgpOk) break;
    PgpBodyReader body(&stream, header.body_length);
    if (body.SkipRest() != kPgpOk) break;
    const uint64_t end = at + header.header_size + header.body_length;
    packets.push_back({header.tag, at, end});
    at = end;
  }
  return packets;
}

class PgpStreamFailureTest : public KitTest {
 protected:
  Outcome RunCut(const std::vector<uint8_t>& file, uint64_t cut) {
    CutShortStream source(file, cut);
    BinaryInputStream stream;
    EXPECT_EQ(stream.Attach(&source), 0u);
    const PGP_USER_ID expected{sizeof(kUpdateUserId) - 1,
                               reinterpret_cast<const uint8_t*>(kUpdateUserId)};
    Outcome out;
    out.result =
        PgpVerifySignedStream(&stream, false, &certifying_, nullptr, nullptr, &expected, nullptr,
                              &out.offset, &out.length, &out.key_index, &out.value);
    return out;
  }
};

// The source's end-of-data code is a number of its own; inside the verifier
// 3 would read as "signature mismatch". A packet the source cuts short is
// reported as the verifier's truncation: 1 for the one-pass and literal
// packets, 15 for the rest.
TEST_F(PgpStreamFailureTest, ASourceRunningDryGivesTheTruncationCode) {
  const std::vector<uint8_t> file = kit().File("update-sha256.signed");
  const std::vector<Packet> packets = Packets(file);
  ASSERT_EQ(packets.size(), 4u);
  struct Case {
    const char* name;
    uint8_t tag;
    bool last_byte;  // cut before the packet's last byte, else in its middle
    uint32_t result;
  };
  const Case cases[] = {
      {"inside the key block", kPgpTagKeyBlock, false, kPgpMalformed},
      {"inside the one-pass packet", kPgpTagOnePassSignature, false, kPgpUnreadable},
      {"inside the literal content", kPgpTagLiteralData, false, kPgpUnreadable},
      {"inside the signature's value", kPgpTagSignature, true, kPgpMalformed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Packet* packet = nullptr;
    for (const Packet& p : packets) {
      if (p.tag == c.tag) packet = &p;
    }
    ASSERT_NE(packet, nullptr);
    const uint64_t cut = c.last_byte ? packet->end - 1 : (packet->start + packet->end) / 2;
    const Outcome out = RunCut(file, cut);
    EXPECT_EQ(out.result, c.result);
    EXPECT_EQ(out.offset, 0u);
    EXPECT_EQ(out.length, 0u);
  }
}

// Wherever the source runs dry, nothing is accepted and no code of the
// source's own number space comes out.
TEST_F(PgpStreamFailureTest, EveryCutIsRefusedAsTruncated) {
  const std::vector<uint8_t> file = kit().File("update-sha256.signed");
  ASSERT_FALSE(file.empty());
  for (uint64_t cut = 0; cut < file.size(); ++cut) {
    const Outcome out = RunCut(file, cut);
    ASSERT_TRUE(out.result == kPgpUnreadable || out.result == kPgpMalformed)
        << "cut at " << cut << " gave " << out.result;
    ASSERT_EQ(out.length, 0u) << "cut at " << cut;
  }
  EXPECT_EQ(RunCut(file, file.size()).result, kPgpOk);
}

}  // namespace
}  // namespace upd::test
