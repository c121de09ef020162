#include "platform/util/charset.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using upd::test::ReadFile;
using upd::test::RunCommand;
using upd::test::TempDir;
using upd::test::WriteFile;

std::string Hex(const std::string& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

std::string Python() {
  const char* python = std::getenv("PYTHON3");
  return python != nullptr ? python : "python3";
}

// Runs a Python snippet over each input (bytes in `data`) and returns, per
// input, the bytes the snippet leaves in `out`, or "ERR" when it raised.
std::vector<std::string> PythonCodec(const std::string& body,
                                     const std::vector<std::string>& inputs) {
  TempDir dir;
  std::string script =
      "import sys\n"
      "for line in open(sys.argv[1]).read().split():\n"
      "    data = bytes.fromhex(line[1:])\n"
      "    try:\n"
      "        " +
      body +
      "\n"
      "        sys.stdout.write('=' + out.hex() + '\\n')\n"
      "    except Exception:\n"
      "        sys.stdout.write('ERR\\n')\n";
  WriteFile(dir.file("codec.py"), script);
  std::string lines;
  for (const auto& input : inputs) lines += "x" + Hex(input) + "\n";
  WriteFile(dir.file("inputs"), lines);
  std::string output;
  EXPECT_EQ(RunCommand(Python() + " " + dir.file("codec.py") + " " + dir.file("inputs"), &output),
            0);
  std::vector<std::string> results;
  size_t at = 0;
  while (at < output.size()) {
    const size_t eol = output.find('\n', at);
    const std::string line = output.substr(at, eol - at);
    at = eol + 1;
    if (line == "ERR") {
      results.push_back("ERR");
      continue;
    }
    std::string bytes;
    for (size_t i = 1; i + 1 < line.size(); i += 2) {
      bytes += static_cast<char>(std::stoi(line.substr(i, 2), nullptr, 16));
    }
    results.push_back(bytes);
  }
  EXPECT_EQ(results.size(), inputs.size());
  return results;
}

std::string Utf16Bytes(const std::u16string& s) {
  std::string out;
  for (char16_t u : s) {
    out += static_cast<char>(u & 0xFF);
    out += static_cast<char>(u >> 8);
  }
  return out;
}

std::string Utf32Bytes(const std::wstring& s) {
  std::string out;
  for (wchar_t w : s) {
    const auto v = static_cast<uint32_t>(w);
    for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  return out;
}

// UTF-16 texts with the awkward cases: pairs, lone surrogates of both kinds,
// a high surrogate at the very end, and the largest BMP values.
const std::vector<std::u16string>& Utf16Samples() {
  static const std::vector<std::u16string> samples = {
      u"plain ascii",
      u"caf\u00e9 \u20ac \uffff",
      u"pair \U0001F600 and \U0010FFFF",
      {u'a', 0xD800, u'b'},
      {u'a', 0xDC00, u'b'},
      {0xDBFF, 0xDBFF, 0xDC00},
      {u'x', u'y', 0xD83D},
      {0xDFFF},
  };
  return samples;
}

constexpr size_t kValidUtf16Samples = 3;

TEST(Utf16ToLocal, MatchesPythonAndIconvSkippingLoneSurrogates) {
  std::vector<std::string> inputs;
  for (const auto& s : Utf16Samples()) inputs.push_back(Utf16Bytes(s));
  const auto expected =
      PythonCodec("out = data.decode('utf-16-le', 'ignore').encode('utf-8')", inputs);
  TempDir dir;
  for (size_t i = 0; i < inputs.size(); ++i) {
    char out[256];
    const bool whole = Utf16ToLocal(Utf16Samples()[i].c_str(), out, sizeof out);
    EXPECT_EQ(std::string(out), expected[i]) << "sample " << i;
    EXPECT_EQ(whole, i < kValidUtf16Samples) << "sample " << i;
    WriteFile(dir.file("in"), inputs[i]);
    std::string iconv_out;
    RunCommand("iconv -c -f UTF-16LE -t UTF-8 < " + dir.file("in"), &iconv_out);
    EXPECT_EQ(std::string(out), iconv_out) << "sample " << i;
  }
}

TEST(Utf16ToLocal, StopsAtTheBufferWithoutSplittingCharacters) {
  char out[4] = {'#', '#', '#', '#'};
  EXPECT_FALSE(Utf16ToLocal(u"a\u00e9\u00e9", out, sizeof out));
  EXPECT_STREQ(out, "a\xc3\xa9");
  EXPECT_FALSE(Utf16ToLocal(u"\u20ac", out, 3));  // needs 3 bytes, only 2 of room
  EXPECT_STREQ(out, "");
  out[0] = '#';
  Utf16ToLocal(u"abc", out, 0);
  EXPECT_EQ(out[0], '#');
}

// UTF-8 inputs: valid text, and the malformed shapes a strict decoder refuses.
const std::vector<std::string>& Utf8Samples() {
  static const std::vector<std::string> samples = {
      "plain ascii",
      "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
      "\xf4\x8f\xbf\xbf",  // U+10FFFF
      "a\xe2\x82"
      "A",                 // cut sequence
      "\xc0\xaf",          // overlong '/'
      "\xed\xa0\x80",      // encoded surrogate
      "\xf4\x90\x80\x80",  // above U+10FFFF
      "x\x80y",            // stray continuation byte
      "\xff\xfe",          // never valid
      "end\xe2\x82",       // cut at the end
  };
  return samples;
}

constexpr size_t kValidUtf8Samples = 3;

TEST(LocalToUtf16, MatchesPythonSkippingInvalidBytes) {
  const auto expected =
      PythonCodec("out = data.decode('utf-8', 'ignore').encode('utf-16-le')", Utf8Samples());
  for (size_t i = 0; i < Utf8Samples().size(); ++i) {
    char16_t out[64];
    const bool whole = LocalToUtf16(Utf8Samples()[i].c_str(), out, 64);
    EXPECT_EQ(Utf16Bytes(out), expected[i]) << "sample " << i;
    EXPECT_EQ(whole, i < kValidUtf8Samples) << "sample " << i;
    EXPECT_EQ(StrCopyN(Utf8Samples()[i].c_str(), out, 64), out);
    EXPECT_EQ(Utf16Bytes(out), expected[i]) << "sample " << i;
    bool complete = true;
    const std::u16string s = NarrowToU16String(Utf8Samples()[i].c_str(), kStrToNul, &complete);
    EXPECT_EQ(Utf16Bytes(s), expected[i]) << "sample " << i;
    EXPECT_EQ(complete, i < kValidUtf8Samples) << "sample " << i;
  }
}

TEST(LocalToUtf16, BoundsAndNullText) {
  char16_t out[3] = {u'#', u'#', u'#'};
  EXPECT_FALSE(LocalToUtf16("abcd", out, 3));
  EXPECT_EQ(std::u16string(out), u"ab");
  EXPECT_FALSE(LocalToUtf16("\xf0\x9f\x98\x80", out, 2));  // a pair needs two units
  EXPECT_EQ(out[0], 0);
  EXPECT_TRUE(LocalToUtf16(nullptr, out, 3));
  EXPECT_EQ(out[0], 0);
  out[0] = u'#';
  LocalToUtf16("abc", out, 0);
  EXPECT_EQ(out[0], u'#');
  EXPECT_EQ(NarrowToU16String(nullptr, kStrToNul), u"");
  EXPECT_EQ(NarrowToU16String("abcdef", 3), u"abc");
  EXPECT_EQ(NarrowToU16String("\xe2\x82\xac!", 4), u"\u20ac!");
}

TEST(Utf8ToWide, MatchesPythonStrictDecoding) {
  const auto expected =
      PythonCodec("out = data.decode('utf-8').encode('utf-32-le')", Utf8Samples());
  for (size_t i = 0; i < Utf8Samples().size(); ++i) {
    std::vector<wchar_t> out(64, L'#');
    const size_t n = Utf8ToWide(Utf8Samples()[i].c_str(), out.data(), out.size());
    if (expected[i] == "ERR") {
      EXPECT_EQ(n, 0u) << "sample " << i;
      // Whatever was converted before the fault ends in a whole 0 element.
      EXPECT_NE(std::find(out.begin(), out.end(), 0), out.end()) << "sample " << i;
      continue;
    }
    ASSERT_GT(n, 0u) << "sample " << i;
    EXPECT_EQ(Utf32Bytes(std::wstring(out.data(), n - 1)), expected[i]) << "sample " << i;
    EXPECT_EQ(out[n - 1], 0) << "sample " << i;
    EXPECT_EQ(Utf8ToWide(Utf8Samples()[i].c_str(), nullptr, 0), n) << "needed count, sample " << i;
  }
}

TEST(Utf8ToWide, FailsWhenTheOutputIsTooSmall) {
  wchar_t out[3] = {L'#', L'#', L'#'};
  EXPECT_EQ(Utf8ToWide("abc", out, 3), 0u);
  EXPECT_STREQ(out, L"ab");
  EXPECT_EQ(Utf8ToWide("ab", out, 3), 3u);
  EXPECT_EQ(Utf8ToWide(nullptr, out, 3), 0u);
}

TEST(Ucs4ToUtf8, MatchesPythonIncludingSurrogates) {
  const std::vector<uint32_t> values = {0x41,   0x7F,   0x80,   0x7FF,   0x800,   0xD800,
                                        0xDBFF, 0xDC00, 0xFFFF, 0x10000, 0x10FFFF};
  std::vector<std::string> inputs;
  for (uint32_t v : values) inputs.push_back(Utf32Bytes(std::wstring(1, static_cast<wchar_t>(v))));
  const auto expected = PythonCodec(
      "out = data.decode('utf-32-le', 'surrogatepass').encode('utf-8', 'surrogatepass')", inputs);
  for (size_t i = 0; i < values.size(); ++i) {
    const wchar_t text[] = {static_cast<wchar_t>(values[i]), 0};
    char out[8];
    const size_t n = Ucs4ToUtf8(text, out, sizeof out);
    EXPECT_EQ(std::string(out), expected[i]) << std::hex << values[i];
    EXPECT_EQ(n, expected[i].size() + 1) << std::hex << values[i];
    EXPECT_EQ(Ucs4ToUtf8(text, nullptr, 0), n) << std::hex << values[i];
  }
}

TEST(Ucs4ToUtf8, EncodesTheLongFormsByTheLow31Bits) {
  struct Case {
    uint32_t value;
    std::string expected;
  };
  const Case cases[] = {
      {0x1FFFFF, "\xf7\xbf\xbf\xbf"},           {0x200000, "\xf8\x88\x80\x80\x80"},
      {0x3FFFFFF, "\xfb\xbf\xbf\xbf\xbf"},      {0x4000000, "\xfc\x84\x80\x80\x80\x80"},
      {0x7FFFFFFF, "\xfd\xbf\xbf\xbf\xbf\xbf"}, {0x80000041, "A"},
  };
  for (const auto& c : cases) {
    const wchar_t text[] = {static_cast<wchar_t>(c.value), 0};
    char out[8];
    EXPECT_EQ(Ucs4ToUtf8(text, out, sizeof out), c.expected.size() + 1) << std::hex << c.value;
    EXPECT_EQ(std::string(out), c.expected) << std::hex << c.value;
  }
}

TEST(Ucs4ToUtf8, FailsWhenTheNextCharacterDoesNotFit) {
  char out[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(Ucs4ToUtf8(L"\u00e9", nullptr, 0), 3u);
  EXPECT_EQ(Ucs4ToUtf8(L"\u00e9", out, 2), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(Ucs4ToUtf8(L"a\u00e9", out, 3), 0u);
  EXPECT_STREQ(out, "a");
  EXPECT_EQ(Ucs4ToUtf8(L"", out, 1), 1u);
  EXPECT_EQ(Ucs4ToUtf8(nullptr, out, 4), 0u);
}

std::wstring RandomWide(std::mt19937& rng, size_t length) {
  std::uniform_int_distribution<uint32_t> plane(0, 3);
  std::wstring s;
  while (s.size() < length) {
    const uint32_t bound[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    const uint32_t v = std::uniform_int_distribution<uint32_t>(1, bound[plane(rng)])(rng);
    if (v >= 0xD800 && v <= 0xDFFF) continue;
    s += static_cast<wchar_t>(v);
  }
  return s;
}

TEST(WideToMultiByte, MatchesPythonOnRandomText) {
  std::mt19937 rng(20261209);
  std::vector<std::wstring> texts;
  std::vector<std::string> inputs;
  for (int i = 0; i < 200; ++i) {
    texts.push_back(RandomWide(rng, 1 + i % 40));
    inputs.push_back(Utf32Bytes(texts.back()));
  }
  const auto expected = PythonCodec("out = data.decode('utf-32-le').encode('utf-8')", inputs);
  for (size_t i = 0; i < texts.size(); ++i) {
    std::vector<char> narrow(256);
    const size_t n = WideToMultiByte(texts[i].c_str(), narrow.data(), narrow.size());
    ASSERT_EQ(std::string(narrow.data(), n), expected[i]) << "text " << i;
    EXPECT_EQ(WideToMultiByte(texts[i].c_str(), nullptr, 0), n);
    std::vector<wchar_t> wide(64);
    const size_t back = MultiByteToWide(narrow.data(), wide.data(), wide.size());
    EXPECT_EQ(std::wstring(wide.data(), back), texts[i]) << "text " << i;
    EXPECT_EQ(MultiByteToWide(narrow.data(), nullptr, 0), back);
  }
}

TEST(WideToMultiByte, RefusesUnconvertibleText) {
  const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  const wchar_t too_big[] = {static_cast<wchar_t>(0x110000), 0};
  for (const wchar_t* text : {lone, too_big}) {
    char out[8] = "#######";
    EXPECT_EQ(WideToMultiByte(text, out, sizeof out), kStrToNul);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(WideToMultiByte(text, nullptr, 0), kStrToNul);
  }
}

TEST(WideToMultiByte, MarksAFullBufferBySize) {
  char out[4];
  EXPECT_EQ(WideToMultiByte(L"abc", out, 4), 3u);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(WideToMultiByte(L"abcd", out, 4), 4u);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(WideToMultiByte(L"ab\u00e9", out, 4), 4u);  // no half character
  EXPECT_STREQ(out, "ab");
}

TEST(MultiByteToWide, RefusesMalformedTextAndMarksAFullBuffer) {
  const auto expected =
      PythonCodec("out = data.decode('utf-8').encode('utf-32-le')", Utf8Samples());
  for (size_t i = 0; i < Utf8Samples().size(); ++i) {
    wchar_t out[64] = {L'#'};
    const size_t n = MultiByteToWide(Utf8Samples()[i].c_str(), out, 64);
    if (expected[i] == "ERR") {
      EXPECT_EQ(n, kStrToNul) << "sample " << i;
      EXPECT_EQ(out[0], 0) << "sample " << i;
    } else {
      EXPECT_EQ(Utf32Bytes(std::wstring(out, n)), expected[i]) << "sample " << i;
    }
  }
  wchar_t out[3];
  EXPECT_EQ(MultiByteToWide("abc", out, 3), 3u);
  EXPECT_STREQ(out, L"ab");
  EXPECT_EQ(MultiByteToWide("ab", out, 3), 2u);
}

TEST(IconvConvert, SkipsByUnitAndStopsQuietly) {
  char out[16];
  bool complete = true;
  const std::string bad =
      "a\xff"
      "b";
  char* end =
      IconvConvert("UTF-8", "UTF-16LE", bad.data(), bad.size(), out, sizeof out, 1, &complete);
  EXPECT_EQ(std::string(out, end), Utf16Bytes(u"ab"));
  EXPECT_FALSE(complete);
  end = IconvConvert("", "", "abc", 3, out, 2, 1, &complete);  // empty codes are UTF-8
  EXPECT_EQ(std::string(out, end), "ab");
  EXPECT_FALSE(complete);
  end = IconvConvert("UTF-8", "UTF-8", "ab\xe2\x82", 4, out, sizeof out, 1, &complete);
  EXPECT_EQ(std::string(out, end), "ab");
  EXPECT_FALSE(complete);
  end = IconvConvert("UTF-8", "ISO-8859-1", "caf\xc3\xa9", 5, out, sizeof out, 1, &complete);
  EXPECT_EQ(std::string(out, end), "caf\xe9");
  EXPECT_TRUE(complete);
  // A trailing undecodable unit is not skipped into nothing: the loop stops.
  end = IconvConvert("UTF-8", "UTF-8", "a\xff", 2, out, sizeof out, 1, &complete);
  EXPECT_EQ(std::string(out, end), "a");
  EXPECT_FALSE(complete);
}

}  // namespace
