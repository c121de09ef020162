#include "verify/common/input_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), uint8_t{1});
  return v;
}

// An inner source that hands out at most `chunk` bytes per call, cannot seek
// and reports its end with code 3, as a file- or network-backed source may.
class ChunkedStream final : public IInputStream {
 public:
  ChunkedStream(std::vector<uint8_t> data, uint64_t chunk, bool direct = true)
      : data_(std::move(data)), chunk_(chunk), direct_(direct) {}
  uint32_t Close() override { return kStreamOk; }
  uint32_t GetRemaining(uint64_t* r) override {
    *r = data_.size() - pos_;
    return kStreamOk;
  }
  uint32_t Read(uint8_t* buffer, uint64_t n, uint64_t* got) override {
    ++reads;
    if (pos_ == data_.size()) return kStreamEnd;
    const uint64_t k = std::min({n, chunk_, data_.size() - pos_});
    std::memcpy(buffer, data_.data() + pos_, k);
    pos_ += k;
    *got = k;
    return kStreamOk;
  }
  uint32_t ReadDirect(ReadDirectCallback cb, void* ctx, uint64_t n, uint64_t* got) override {
    if (!direct_) return kStreamNotSupported;
    if (pos_ == data_.size()) return kStreamEnd;
    const uint64_t k = std::min({n, chunk_, data_.size() - pos_});
    uint64_t consumed = 0;
    if (cb(this, ctx, data_.data() + pos_, 0, k, &consumed) == kStreamOk) pos_ += consumed;
    *got = consumed;
    return kStreamOk;
  }
  uint32_t Seek(int64_t, uint32_t) override { return kStreamNotSupported; }
  uint32_t GetPosition(uint64_t* p) override {
    *p = pos_;
    return kStreamOk;
  }
  int reads = 0;

 private:
  std::vector<uint8_t> data_;
  uint64_t pos_ = 0;
  uint64_t chunk_;
  bool direct_;
};

TEST(MemoryInputStream, EmptyStreamAnswersNoData) {
  MemoryInputStream s;
  uint64_t v = 0;
  uint8_t b[4];
  EXPECT_EQ(s.GetRemaining(&v), kStreamNoData);
  EXPECT_EQ(s.GetPosition(&v), kStreamNoData);
  EXPECT_EQ(s.Read(b, 4, &v), kStreamNoData);
  EXPECT_EQ(s.Seek(0, kSeekBegin), kStreamNoData);
}

TEST(MemoryInputStream, OpenRefusesEmptyInputAndDropsOwnedBuffer) {
  MemoryInputStream s;
  ASSERT_EQ(s.Open(std::make_unique<uint8_t[]>(8), 8), kStreamOk);
  const uint8_t one = 1;
  EXPECT_EQ(s.Open(&one, 0), kStreamInvalidArgument);
  EXPECT_EQ(s.Open(nullptr, 5), kStreamInvalidArgument);
  uint64_t r = 0;
  EXPECT_EQ(s.GetRemaining(&r), kStreamNoData);  // left empty
}

TEST(MemoryInputStream, ReadsUntilEndThenZeroCount) {
  const auto data = Bytes(10);
  MemoryInputStream s;
  ASSERT_EQ(s.Open(data.data(), data.size()), kStreamOk);
  uint8_t out[16] = {};
  uint64_t got = 0;
  ASSERT_EQ(s.Read(out, 6, &got), kStreamOk);
  EXPECT_EQ(got, 6u);
  ASSERT_EQ(s.Read(out + 6, 16, &got), kStreamOk);
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(0, std::memcmp(out, data.data(), 10));
  got = 99;
  EXPECT_EQ(s.Read(out, 1, &got), kStreamOk);
  EXPECT_EQ(got, 0u);
}

TEST(MemoryInputStream, MissingBufferLeavesPositionAndCount) {
  const auto data = Bytes(4);
  MemoryInputStream s;
  ASSERT_EQ(s.Open(data.data(), data.size()), kStreamOk);
  uint64_t got = 77, pos = 9;
  EXPECT_EQ(s.Read(nullptr, 2, &got), kStreamOk);
  EXPECT_EQ(got, 77u);
  ASSERT_EQ(s.GetPosition(&pos), kStreamOk);
  EXPECT_EQ(pos, 0u);
}

TEST(MemoryInputStream, SeekBounds) {
  const auto data = Bytes(10);
  struct Case {
    const char* name;
    int64_t start;
    int64_t offset;
    uint32_t origin;
    uint32_t rc;
    uint64_t position;
  };
  const Case cases[] = {
      {"to the size", 0, 10, kSeekBegin, kStreamOk, 10},
      {"one past the size", 3, 11, kSeekBegin, kStreamInvalidArgument, 3},
      {"before the start", 3, -4, kSeekCurrent, kStreamInvalidArgument, 3},
      {"relative back", 3, -3, kSeekCurrent, kStreamOk, 0},
      {"from the end", 3, -2, kSeekEnd, kStreamOk, 8},
      {"past the end from the end", 3, 1, kSeekEnd, kStreamInvalidArgument, 3},
      {"unknown origin", 3, 0, 3, kStreamInvalidArgument, 3},
      {"overflowing offset", 3, INT64_MAX, kSeekCurrent, kStreamInvalidArgument, 3},
  };
  for (const auto& c : cases) {
    MemoryInputStream s;
    ASSERT_EQ(s.Open(data.data(), data.size()), kStreamOk);
    ASSERT_EQ(s.Seek(c.start, kSeekBegin), kStreamOk);
    EXPECT_EQ(s.Seek(c.offset, c.origin), c.rc) << c.name;
    uint64_t pos = 0;
    ASSERT_EQ(s.GetPosition(&pos), kStreamOk);
    EXPECT_EQ(pos, c.position) << c.name;
  }
  MemoryInputStream s;
  ASSERT_EQ(s.Open(data.data(), data.size()), kStreamOk);
  ASSERT_EQ(s.Seek(0, kSeekEnd), kStreamOk);
  uint64_t r = 5;
  ASSERT_EQ(s.GetRemaining(&r), kStreamOk);
  EXPECT_EQ(r, 0u);
}

TEST(BinaryInputStream, UnattachedForwardersAnswer12) {
  BinaryInputStream b;
  uint64_t v = 0;
  uint8_t byte = 0;
  uint32_t u32 = 0;
  EXPECT_EQ(b.Close(), kStreamNotAttached);
  EXPECT_EQ(b.GetRemaining(&v), kStreamNotAttached);
  EXPECT_EQ(b.GetPosition(&v), kStreamNotAttached);
  EXPECT_EQ(b.Seek(0, kSeekBegin), kStreamNotAttached);
  v = 5;
  EXPECT_EQ(b.Read(&byte, 1, &v), kStreamNotAttached);
  EXPECT_EQ(v, 0u);
  EXPECT_EQ(b.ReadDirect(nullptr, nullptr, 1, &v), kStreamNotAttached);
  EXPECT_EQ(b.ReadUInt32BE(&u32), kStreamNotAttached);
}

TEST(BinaryInputStream, FixedSizeReadersDecodeByteOrder) {
  const std::vector<uint8_t> data = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
                                     0x11, 0x22, 0x33, 0x44, 0xAA, 0xBB, 0x00, 0x09};
  MemoryInputStream m;
  ASSERT_EQ(m.Open(data.data(), data.size()), kStreamOk);
  BinaryInputStream b;
  ASSERT_EQ(b.Attach(&m), kStreamOk);
  uint64_t u64 = 0;
  uint32_t u32 = 0;
  uint16_t u16 = 0;
  bool flag = true;
  uint8_t u8 = 0;
  ASSERT_EQ(b.ReadUInt64BE(&u64), kStreamOk);
  EXPECT_EQ(u64, 0x0102030405060708u);
  ASSERT_EQ(b.ReadUInt32(&u32), kStreamOk);
  EXPECT_EQ(u32, 0x44332211u);
  ASSERT_EQ(b.ReadUInt16BE(&u16), kStreamOk);
  EXPECT_EQ(u16, 0xAABBu);
  ASSERT_EQ(b.ReadBool(&flag), kStreamOk);
  EXPECT_FALSE(flag);
  ASSERT_EQ(b.ReadUInt8(&u8), kStreamOk);
  EXPECT_EQ(u8, 9u);
  EXPECT_EQ(b.ReadUInt8(&u8), kStreamShortRead);  // at the end
}

TEST(BinaryInputStream, ShortFixedReadConsumesWhatItRead) {
  const auto data = Bytes(7);
  MemoryInputStream m;
  ASSERT_EQ(m.Open(data.data(), data.size()), kStreamOk);
  ASSERT_EQ(m.Seek(4, kSeekBegin), kStreamOk);
  BinaryInputStream b;
  b.Attach(&m);
  uint32_t v = 0xDEADBEEF;
  EXPECT_EQ(b.ReadUInt32BE(&v), kStreamShortRead);
  EXPECT_EQ(v, 0xDEADBEEFu);
  uint64_t pos = 0;
  ASSERT_EQ(b.GetPosition(&pos), kStreamOk);
  EXPECT_EQ(pos, 7u);
}

TEST(BinaryInputStream, ReadLoopsOverAChunkedSourceAndStopsAtItsEnd) {
  ChunkedStream inner(Bytes(10), 3);
  BinaryInputStream b;
  b.Attach(&inner);
  uint8_t out[32] = {};
  uint64_t got = 0;
  ASSERT_EQ(b.Read(out, 32, &got), kStreamOk);  // inner 3 after data ends the loop
  EXPECT_EQ(got, 10u);
  EXPECT_EQ(out[9], 10);
  EXPECT_EQ(b.Read(out, 1, &got), kStreamEnd);  // nothing left
}

TEST(BinaryInputStream, ReadDirectRelaysOffsetsAcrossChunks) {
  ChunkedStream inner(Bytes(10), 4);
  BinaryInputStream b;
  b.Attach(&inner);
  struct Seen {
    std::vector<uint64_t> offsets;
    std::vector<uint8_t> bytes;
    IInputStream* stream = nullptr;
  } seen;
  auto cb = [](IInputStream* s, void* ctx, const uint8_t* d, uint64_t off, uint64_t n,
               uint64_t* consumed) -> uint32_t {
    auto* out = static_cast<Seen*>(ctx);
    out->stream = s;
    out->offsets.push_back(off);
    out->bytes.insert(out->bytes.end(), d, d + n);
    *consumed = n;
    return 0;
  };
  uint64_t got = 0;
  ASSERT_EQ(b.ReadDirect(cb, &seen, 9, &got), kStreamOk);
  EXPECT_EQ(got, 9u);
  EXPECT_EQ(seen.offsets, (std::vector<uint64_t>{0, 4, 8}));
  EXPECT_EQ(seen.bytes, std::vector<uint8_t>(Bytes(9)));
  EXPECT_EQ(seen.stream, &b);  // the caller sees the outer stream
}

TEST(InputStreamSkip, MemoryStreamSeeks) {
  const auto data = Bytes(10);
  MemoryInputStream m;
  ASSERT_EQ(m.Open(data.data(), data.size()), kStreamOk);
  EXPECT_EQ(InputStreamSkip(nullptr, 1), kStreamInvalidArgument);
  EXPECT_EQ(InputStreamSkip(&m, 0), kStreamOk);
  EXPECT_EQ(InputStreamSkip(&m, 11), kStreamInvalidArgument);
  EXPECT_EQ(InputStreamSkip(&m, 10), kStreamOk);
}

TEST(InputStreamSkip, FallsBackWhenSeekingIsNotSupported) {
  {
    ChunkedStream inner(Bytes(10), 10);  // one direct pass covers it
    EXPECT_EQ(InputStreamSkip(&inner, 10), kStreamOk);
  }
  {
    ChunkedStream inner(Bytes(10), 4);  // direct pass ends short
    EXPECT_EQ(InputStreamSkip(&inner, 10), kStreamShortSkip);
  }
  {
    ChunkedStream inner(Bytes(10), 10, /*direct=*/false);
    EXPECT_EQ(InputStreamSkip(&inner, 4), kStreamNotSupported);
  }
}

// Seeking and direct reads fail with a code of their own; only Read works.
class ReadOnlyStream final : public IInputStream {
 public:
  explicit ReadOnlyStream(uint64_t size, uint64_t chunk) : inner_(Bytes(size), chunk) {}
  uint32_t Close() override { return kStreamOk; }
  uint32_t GetRemaining(uint64_t* r) override { return inner_.GetRemaining(r); }
  uint32_t Read(uint8_t* b, uint64_t n, uint64_t* got) override { return inner_.Read(b, n, got); }
  uint32_t ReadDirect(ReadDirectCallback, void*, uint64_t, uint64_t*) override { return 1; }
  uint32_t Seek(int64_t, uint32_t) override { return kStreamNotSupported; }
  uint32_t GetPosition(uint64_t* p) override { return inner_.GetPosition(p); }
  int reads() const { return inner_.reads; }

 private:
  ChunkedStream inner_;
};

TEST(InputStreamSkip, ReadsAndDiscardsWhenDirectReadFails) {
  {
    ReadOnlyStream s(9000, 9000);
    EXPECT_EQ(InputStreamSkip(&s, 9000), kStreamOk);
    EXPECT_EQ(s.reads(), 3);  // pieces of 4096, 4096 and 808 bytes
    uint64_t pos = 0;
    ASSERT_EQ(s.GetPosition(&pos), kStreamOk);
    EXPECT_EQ(pos, 9000u);
  }
  {
    ReadOnlyStream s(100, 30);  // a short piece ends the skip
    EXPECT_EQ(InputStreamSkip(&s, 50), kStreamShortSkip);
  }
  {
    ReadOnlyStream s(10, 10);  // the source's own end code is passed on
    EXPECT_EQ(InputStreamSkip(&s, 10), kStreamOk);
    EXPECT_EQ(InputStreamSkip(&s, 1), kStreamEnd);
  }
}

}  // namespace
