#include "platform/util/base64.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

std::string Encode(const std::string& data) {
  std::string out(((data.size() + 2) / 3) * 4 + 2, '\xFF');
  uint64_t written = 0;
  EXPECT_EQ(Base64Encode(data.data(), data.size(), out.data(), out.size(), &written), 1);
  EXPECT_GE(written, 1u);
  EXPECT_EQ(out[written - 1], '\0');
  out.resize(written - 1);
  return out;
}

struct Decoded {
  int result;
  std::string bytes;
};

Decoded Decode(const std::string& text) {
  std::string out(text.size() + 3, '\0');
  uint64_t written = 0;
  int result = Base64Decode(text.data(), text.size(), out.data(), out.size(), &written);
  out.resize(written);
  return {result, out};
}

TEST(Base64Encode, StandardVectors) {
  struct Case {
    const char* data;
    const char* text;
  };
  const Case cases[] = {{"", ""},
                        {"f", "Zg=="},
                        {"fo", "Zm8="},
                        {"foo", "Zm9v"},
                        {"foob", "Zm9vYg=="},
                        {"fooba", "Zm9vYmE="},
                        {"foobar", "Zm9vYmFy"},
                        {"abc", "YWJj"}};
  for (const Case& c : cases) EXPECT_EQ(Encode(c.data), c.text) << c.data;
}

TEST(Base64Encode, WrittenCountsTheNul) {
  char out[16];
  uint64_t written = 0;
  ASSERT_EQ(Base64Encode("abc", 3, out, sizeof out, &written), 1);
  EXPECT_EQ(written, 5u);
  ASSERT_EQ(Base64Encode("", 0, out, 2, &written), 1);
  EXPECT_EQ(written, 1u);
  EXPECT_EQ(out[0], '\0');
}

TEST(Base64Encode, RefusesShortOrMissingArguments) {
  struct Case {
    const char* name;
    const char* data;
    uint64_t length;
    bool with_output;
    uint64_t output_size;
    uint64_t reported;
  };
  const Case cases[] = {
      {"7 bytes for 4 input bytes", "abcd", 4, true, 7, 10},
      {"one short of the need", "abc", 3, true, 5, 6},
      {"null output", "abc", 3, false, 100, 6},
      {"empty input still needs 2", "", 0, true, 1, 2},
      {"null data", nullptr, 3, true, 100, 0},
  };
  for (const Case& c : cases) {
    std::string out(16, '#');
    uint64_t written = 12345;
    EXPECT_EQ(Base64Encode(c.data, c.length, c.with_output ? out.data() : nullptr, c.output_size,
                           &written),
              0)
        << c.name;
    EXPECT_EQ(written, c.reported) << c.name;
    EXPECT_EQ(out, std::string(16, '#')) << c.name << ": nothing written";
  }
  char out[8];
  EXPECT_EQ(Base64Encode("a", 1, out, sizeof out, nullptr), 0);
}

TEST(Base64Decode, GroupsPaddingWhitespaceAndBadCharacters) {
  struct Case {
    const char* name;
    const char* text;
    int result;
    std::string bytes;
  };
  const Case cases[] = {
      {"plain", "YWJj", 1, "abc"},
      {"line breaks and spaces inside", "Y\tW\r\nJ j\n", 1, "abc"},
      {"bad character is skipped but flagged", "YW*Jj", 0, "abc"},
      {"bad characters everywhere", "-Y.W!J?j~", 0, "abc"},
      {"one byte without its padding", "YQ", 1, ""},
      {"one byte with its padding", "YQ==", 1, "a"},
      {"two bytes with their padding", "YWI=", 1, "ab"},
      {"padding split by whitespace", "YQ= =", 1, "a"},
      {"padding ends the decoding", "YQ==YWJj", 1, "a"},
      {"unpadded partial group is dropped", "YWJjYW", 1, "abc"},
      {"single stray character", "YWJjY", 1, "abc"},
      {"padding at the start of a group", "YWJj=WJj", 1, "abc"},
      {"padding inside a group", "YW=j", 1, ""},
      {"short padding at the end", "YQ=", 1, ""},
      {"whitespace only", " \r\n\t", 1, ""},
      {"empty", "", 1, ""},
      {"binary result", "AP8A/w==", 1, std::string("\x00\xff\x00\xff", 4)},
      {"url alphabet is not base64", "-_-_", 0, ""},
  };
  for (const Case& c : cases) {
    Decoded d = Decode(c.text);
    EXPECT_EQ(d.result, c.result) << c.name;
    EXPECT_EQ(d.bytes, c.bytes) << c.name;
  }
}

TEST(Base64Decode, LengthBoundsTheTextOrReadsToTheNul) {
  char out[16];
  uint64_t written = 0;
  ASSERT_EQ(Base64Decode("YWJjZGVm", 4, out, sizeof out, &written), 1);
  EXPECT_EQ(std::string(out, written), "abc");
  ASSERT_EQ(Base64Decode("YWJjZGVm", kBase64ToNul, out, sizeof out, &written), 1);
  EXPECT_EQ(std::string(out, written), "abcdef");
}

TEST(Base64Decode, ReportsTheNeedWhenTheOutputIsShort) {
  struct Case {
    const char* name;
    const char* text;
    uint64_t output_size;
    int result;
    uint64_t written;
  };
  const Case cases[] = {
      {"full group", "YWJj", 2, 0, 3},
      {"full group fits exactly", "YWJj", 3, 1, 3},
      {"one padded byte", "YQ==", 0, 0, 1},
      {"two padded bytes", "YWI=", 1, 0, 2},
      {"two padded bytes fit below the upper bound", "YWI=", 2, 1, 2},
      {"length not a multiple of four", "YWJjYWI", 4, 0, 5},
      {"nothing to produce needs no buffer", "Y", 0, 1, 0},
      {"empty text needs no buffer", "", 0, 1, 0},
  };
  for (const Case& c : cases) {
    std::vector<char> out(c.output_size + 1, '#');
    uint64_t written = 777;
    int result = Base64Decode(c.text, kBase64ToNul, c.output_size ? out.data() : nullptr,
                              c.output_size, &written);
    EXPECT_EQ(result, c.result) << c.name;
    EXPECT_EQ(written, c.written) << c.name;
    EXPECT_EQ(out[c.output_size], '#') << c.name << ": wrote past the output";
  }
}

TEST(Base64Decode, RefusesMissingArguments) {
  char out[8];
  uint64_t written = 5;
  EXPECT_EQ(Base64Decode(nullptr, 4, out, sizeof out, &written), 0);
  EXPECT_EQ(Base64Decode("YWJj", 4, out, sizeof out, nullptr), 0);
  EXPECT_EQ(Base64Decode("YWJj", 4, nullptr, 3, &written), 0);
  EXPECT_EQ(written, 5u);
}

// Noisy texts must never make the decoder write past the size it asked for,
// and a buffer of exactly that size must give what a large buffer gives.
TEST(Base64Decode, ReportedNeedIsEnoughForAnyText) {
  const std::string pieces = "ABCxyz019+/=== \n\t*%";
  std::mt19937 rng(1234);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    size_t n = rng() % 40;
    for (size_t i = 0; i < n; ++i) text += pieces[rng() % pieces.size()];
    uint64_t need = 0;
    int sizing = Base64Decode(text.data(), text.size(), nullptr, 0, &need);
    std::vector<char> exact(need + 8, '#');
    uint64_t written = 0;
    int result =
        Base64Decode(text.data(), text.size(), need ? exact.data() : nullptr, need, &written);
    Decoded big = Decode(text);
    ASSERT_EQ(std::string(exact.data(), written), big.bytes) << '"' << text << '"';
    ASSERT_EQ(result, big.result) << '"' << text << '"';
    ASSERT_EQ(std::string(exact.data() + need, 8), std::string(8, '#')) << '"' << text << '"';
    if (need == 0) {
      EXPECT_EQ(sizing, big.result) << '"' << text << '"';
    }
  }
}

// Python's base64 module is the oracle for both directions.
TEST(Base64Oracle, AgreesWithPythonOnRandomData) {
  upd::test::TempDir dir;
  std::mt19937 rng(99);
  std::string data;
  std::string lengths;
  for (size_t len = 0; len < 200; ++len) {
    for (size_t i = 0; i < len; ++i) data += static_cast<char>(rng());
    lengths += std::to_string(len) + " ";
  }
  upd::test::WriteFile(dir.file("data"), data);
  upd::test::WriteFile(dir.file("lengths"), lengths);
  const char* python = std::getenv("PYTHON3");
  std::string script =
      "import base64,sys\n"
      "d=open(sys.argv[1],'rb').read()\n"
      "pos=0\n"
      "for n in map(int,open(sys.argv[2]).read().split()):\n"
      "    print(base64.b64encode(d[pos:pos+n]).decode()); pos+=n\n";
  upd::test::WriteFile(dir.file("enc.py"), script);
  std::string out;
  ASSERT_EQ(
      upd::test::RunCommand(std::string(python ? python : "python3") + " " + dir.file("enc.py") +
                                " " + dir.file("data") + " " + dir.file("lengths"),
                            &out),
      0);
  size_t pos = 0, line_start = 0;
  for (size_t len = 0; len < 200; ++len) {
    size_t line_end = out.find('\n', line_start);
    ASSERT_NE(line_end, std::string::npos);
    std::string expected = out.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    std::string chunk = data.substr(pos, len);
    pos += len;
    ASSERT_EQ(Encode(chunk), expected) << "length " << len;
    Decoded d = Decode(expected);
    ASSERT_EQ(d.result, 1);
    ASSERT_EQ(d.bytes, chunk) << "length " << len;
  }
}

}  // namespace
