#include "net/http/inflate_stream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>

#include "http_test_data.h"
#include "net/http/http_response_info.h"
#include "platform/util/update_errors.h"

namespace {

using upd::test::Deflate;

// Text that compresses far beyond one output window per input byte.
std::string Repetitive(size_t size) {
  std::string text;
  while (text.size() < size) text += "the same line again and again\n";
  text.resize(size);
  return text;
}

struct Decoded {
  UPD_ERROR result = 0;
  std::string out;
  bool finished = false;
};

// Feeds input in pieces of `piece` bytes (0: all at once).
Decoded Decode(uint32_t kind, const std::string& input, size_t piece) {
  Decoded decoded;
  CInflateStream stream;
  EXPECT_TRUE(stream.Init(kind));
  const CInflateStream::Output collect = [&](const uint8_t* data, size_t size) {
    EXPECT_LE(size, CInflateStream::kWindowSize);
    decoded.out.append(reinterpret_cast<const char*>(data), size);
    return kUpdOk;
  };
  const size_t step = piece == 0 ? input.size() : piece;
  for (size_t at = 0; at < input.size() && decoded.result == 0; at += step) {
    const std::string part = input.substr(at, step);
    decoded.result =
        stream.Write(reinterpret_cast<const uint8_t*>(part.data()), part.size(), collect);
  }
  decoded.finished = stream.finished();
  return decoded;
}

TEST(InflateStream, GzipAndZlibInAnyPieces) {
  std::mt19937 random(1);
  std::string mixed = Repetitive(400000);
  for (size_t i = 0; i < mixed.size(); i += 97) mixed[i] = static_cast<char>(random());
  for (const auto& [kind, bits] : {std::pair{kHttpEncodingGzip, 31}, {kHttpEncodingDeflate, 15}}) {
    for (const std::string& text :
         {std::string(), std::string("x"), Repetitive(3'000'000), mixed}) {
      const std::string packed = Deflate(text, bits, 9);
      for (const size_t piece : {size_t{0}, size_t{1}, size_t{7}, size_t{4096}}) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << kind << ", " << text.size() << " bytes in pieces of " << piece);
        const Decoded decoded = Decode(kind, packed, piece);
        EXPECT_EQ(decoded.result, kUpdOk);
        EXPECT_TRUE(decoded.out == text);
        EXPECT_TRUE(decoded.finished);
      }
    }
  }
}

TEST(InflateStream, TheEndOfTheStreamIsKnown) {
  const std::string text = Repetitive(100000);
  const std::string packed = Deflate(text, 31, 9);
  // Cut anywhere: no error yet, but no end either.
  for (const size_t cut : {size_t{1}, size_t{10}, packed.size() / 2, packed.size() - 1}) {
    const Decoded decoded = Decode(kHttpEncodingGzip, packed.substr(0, cut), 0);
    EXPECT_EQ(decoded.result, kUpdOk) << cut;
    EXPECT_FALSE(decoded.finished) << cut;
  }
  // Bytes after the end are ignored.
  const Decoded trailing = Decode(kHttpEncodingGzip, packed + "garbage after the end", 3);
  EXPECT_EQ(trailing.result, kUpdOk);
  EXPECT_TRUE(trailing.out == text);
}

TEST(InflateStream, CorruptDataAndRefusedOutputStopIt) {
  std::string packed = Deflate(Repetitive(100000), 31, 9);
  packed[packed.size() / 2] ^= 0x40;
  EXPECT_EQ(Decode(kHttpEncodingGzip, packed, 0).result, kUpdBadCompressedData);
  // The other wrapper is no match.
  EXPECT_EQ(Decode(kHttpEncodingDeflate, Deflate("text", 31, 9), 0).result, kUpdBadCompressedData);
  EXPECT_EQ(Decode(kHttpEncodingGzip, Deflate("text", 15, 9), 0).result, kUpdBadCompressedData);

  CInflateStream stream;
  ASSERT_TRUE(stream.Init(kHttpEncodingGzip));
  const std::string good = Deflate(Repetitive(1'000'000), 31, 9);
  int windows = 0;
  EXPECT_EQ(stream.Write(reinterpret_cast<const uint8_t*>(good.data()), good.size(),
                         [&](const uint8_t*, size_t) {
                           return ++windows == 2 ? kUpdDiskFull : kUpdOk;
                         }),
            kUpdDiskFull);
  EXPECT_EQ(windows, 2);
}

TEST(InflateStream, OnlyGzipAndDeflateStart) {
  CInflateStream none;
  EXPECT_FALSE(none.Init(kHttpEncodingNone));
  CInflateStream unknown;
  EXPECT_FALSE(unknown.Init(3));
  EXPECT_EQ(unknown.Write(reinterpret_cast<const uint8_t*>("x"), 1,
                          [](const uint8_t*, size_t) { return kUpdOk; }),
            kUpdBadCompressedData);
  CInflateStream twice;
  EXPECT_TRUE(twice.Init(kHttpEncodingGzip));
  EXPECT_FALSE(twice.Init(kHttpEncodingGzip));
}

}  // namespace
