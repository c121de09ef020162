#include "updater/engine/session/section_data.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"
#include "support/python_oracle.h"

namespace {

using upd::test::CatalogueTest;
using upd::test::ReadFile;
using upd::test::WriteFile;

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

// "data%04d" of the catalogue format.
std::string LineKey(size_t i) {
  const std::string number = std::to_string(i);
  return "data" + std::string(number.size() < 4 ? 4 - number.size() : 0, '0') + number;
}

// Python's base64 cut into lines of 76 characters, as "dataNNNN" keys.
std::string DataSection(const std::string& name, const std::string& bytes) {
  const std::vector<std::string> lines = upd::test::RunPythonOracle(
      "import base64, sys\n"
      "data = bytes.fromhex(open(sys.argv[1]).read().strip())\n"
      "text = base64.b64encode(data).decode()\n"
      "for i in range(0, len(text), 76):\n"
      "    print(text[i:i + 76])\n",
      {Hex(bytes)});
  std::string section = "[" + name + "]\nname=blob\ncategory=component\n";
  for (size_t i = 0; i < lines.size(); ++i) section += LineKey(i) + "=" + lines[i] + "\n";
  return section;
}

TEST_F(CatalogueTest, ExtractSectionDataWritesTheExactBytes) {
  std::mt19937 random(25);
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  for (int i = 0; i < 200000; ++i) bytes += static_cast<char>(random());
  const std::string path =
      WriteCatalogue("[SETUP]\nx=1\n" + DataSection("BLOB", bytes) + "[OTHER]\ndata0000=QUJD\n");
  const std::string target = dir_.file("blob.bin");
  ASSERT_EQ(ExtractSectionData("blob", target.c_str(), path.c_str()), 0u);
  EXPECT_EQ(ReadFile(target), bytes);
}

TEST_F(CatalogueTest, ExtractSectionDataReadsLinesUpToTheFirstEmptyOrMissingOne) {
  const struct {
    const char* what;
    const char* lines;
    std::string bytes;
  } cases[] = {
      {"one line", "data0000=SGVsbG8=\n", "Hello"},
      {"lines in any order", "data0001=bG8=\ndata0000=SGVs\n", "Hello"},
      {"an empty line ends the data", "data0000=SGVs\ndata0001=\ndata0002=bG8=\n", "Hel"},
      {"a missing line ends the data", "data0000=SGVs\ndata0002=bG8=\n", "Hel"},
      {"blanks inside lines", "data0000=SG Vs\ndata0001=\tbG8=\n", "Hello"},
      {"no lines at all", "name=x\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WriteCatalogue(std::string("[S]\n") + c.lines);
    const std::string target = dir_.file("out.bin");
    WriteFile(target, "an older and longer file");
    ASSERT_EQ(ExtractSectionData("S", target.c_str(), path.c_str()), 0u);
    EXPECT_EQ(ReadFile(target), c.bytes);
  }
}

TEST_F(CatalogueTest, ExtractSectionDataGoesOnPastTenThousandLines) {
  std::string text = "[MANY]\n";
  for (size_t i = 0; i <= 10000; ++i) text += LineKey(i) + "=QUJD\n";
  ASSERT_NE(text.find("data10000=QUJD"), std::string::npos);
  const std::string path = WriteCatalogue(text);
  const std::string target = dir_.file("many.bin");
  ASSERT_EQ(ExtractSectionData("MANY", target.c_str(), path.c_str()), 0u);
  std::string expected;
  for (int i = 0; i <= 10000; ++i) expected += "ABC";
  EXPECT_EQ(ReadFile(target), expected);
}

TEST_F(CatalogueTest, ExtractSectionDataRefusesWhatItCannotDecodeOrWrite) {
  const std::string path =
      WriteCatalogue("[BAD]\ndata0000=SGVs\ndata0001=b*8=\n[GOOD]\ndata0000=SGVsbG8=\n");
  const std::string target = dir_.file("bad.bin");
  EXPECT_EQ(ExtractSectionData("BAD", target.c_str(), path.c_str()), 0x1019u);
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_EQ(ExtractSectionData("GOOD", target.c_str(), dir_.file("absent.ver").c_str()), 0x1012u);
  EXPECT_FALSE(std::filesystem::exists(target));
  WriteFile(dir_.file("plain"), "a file where a folder should be");
  EXPECT_EQ(ExtractSectionData("GOOD", dir_.file("plain/out.bin").c_str(), path.c_str()), 0x1016u);
}

}  // namespace
