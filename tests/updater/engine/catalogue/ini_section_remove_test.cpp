#include "updater/engine/catalogue/ini_section_remove.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/python_oracle.h"
#include "support/temp_dir.h"

namespace {

using upd::test::ReadFile;
using upd::test::TempDir;
using upd::test::WriteFile;

// The header "[Target]" starts at every offset around the first two block
// ends, so it lies in one block, straddles two or starts the next.
TEST(RemoveIniSection, FindsAHeaderAcrossABlockEnd) {
  TempDir dir;
  const std::string path = dir.file("upd.ver");
  const std::string target = "[Target]\r\nfile=t.nup\r\n";
  const std::string after = "[After]\r\nx=1\r\n";
  for (size_t offset : {1000, 1015, 1016, 1017, 1020, 1022, 1023, 1024, 1025, 2040, 2046, 2047}) {
    SCOPED_TRACE(offset);
    const std::string head = "[First]\r\npad=" + std::string(offset - 15, 'p') + "\r\n";
    ASSERT_EQ(head.size(), offset);
    WriteFile(path, head + target + after);
    ASSERT_EQ(RemoveIniSection("TARGET", path.c_str()), 0u);
    EXPECT_EQ(ReadFile(path), head + after);
  }
}

TEST(RemoveIniSection, CutsToTheNextHeaderOrTheEnd) {
  const struct {
    const char* what;
    std::string name;
    std::string before;
    std::string after;
  } cases[] = {
      {"first section", "A", "[A]\nk=1\n[B]\nk=2\n", "[B]\nk=2\n"},
      {"last section", "b", "[A]\nk=1\n[B]\nk=2\n", "[A]\nk=1\n"},
      {"only the first of two", "A", "[A]\n[B]\n[A]\nk=3\n", "[B]\n[A]\nk=3\n"},
      {"a header with a longer name is another section", "A", "[AB]\n[A]\nk=1\n", "[AB]\n"},
      {"absent", "C", "[A]\nk=1\n", "[A]\nk=1\n"},
      {"empty file", "A", "", ""},
      {"a name of 61 characters", std::string(61, 'n'),
       "[" + std::string(61, 'N') + "]\nk=1\n[B]\n", "[B]\n"},
  };
  TempDir dir;
  const std::string path = dir.file("upd.ver");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(path, c.before);
    ASSERT_EQ(RemoveIniSection(c.name.c_str(), path.c_str()), 0u);
    EXPECT_EQ(ReadFile(path), c.after);
  }
}

// Cutting a longer name short could hit a section that only shares the
// first 61 characters; such a name removes nothing.
TEST(RemoveIniSection, ANameTooLongForAHeaderRemovesNothing) {
  TempDir dir;
  const std::string path = dir.file("upd.ver");
  const std::string text = "[" + std::string(61, 'n') + "]\nk=1\n";
  WriteFile(path, text);
  EXPECT_EQ(RemoveIniSection(std::string(62, 'n').c_str(), path.c_str()), 0u);
  EXPECT_EQ(ReadFile(path), text);
}

TEST(RemoveIniSection, AMissingFileIs0x1011) {
  TempDir dir;
  EXPECT_EQ(RemoveIniSection("A", dir.file("absent.ver").c_str()), 0x1011u);
}

// Python's configparser reads what is left: every other section with every
// key and value, in order.
TEST(RemoveIniSection, TheRestOfTheFileStaysReadable) {
  TempDir dir;
  std::mt19937 random(1024);
  const std::string chars = "abcdefghijklmnopqrstuvwxyz0123456789_.:/ ";
  const auto word = [&](size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += chars[random() % (chars.size() - 1)];
    return text;
  };
  std::vector<std::string> paths;
  std::vector<std::string> expected;
  for (int file = 0; file < 20; ++file) {
    const int sections = 2 + static_cast<int>(random() % 12);
    const int removed = static_cast<int>(random() % sections);
    std::string text;
    for (int s = 0; s < sections; ++s) {
      const std::string name = "S" + std::to_string(s) + "_" + word(random() % 20);
      text += "[" + name + "]\r\n";
      const int keys = static_cast<int>(random() % 8);
      for (int k = 0; k < keys; ++k) {
        const std::string key = "k" + std::to_string(k);
        const std::string value = "v" + word(random() % 300) + "e";
        text += key + "=" + value + "\r\n";
        if (s != removed)
          expected.push_back(std::to_string(file) + "\t" + name + "\t" + key + "\t" + value);
      }
      if (s != removed && keys == 0) expected.push_back(std::to_string(file) + "\t" + name);
    }
    paths.push_back(dir.file("f" + std::to_string(file) + ".ver"));
    WriteFile(paths.back(), text);
    const size_t header = text.find("[S" + std::to_string(removed) + "_");
    const std::string name = text.substr(header + 1, text.find(']', header) - header - 1);
    ASSERT_EQ(RemoveIniSection(name.c_str(), paths.back().c_str()), 0u);
  }
  const std::vector<std::string> seen = upd::test::RunPythonOracle(
      "import configparser, sys\n"
      "for i, path in enumerate(open(sys.argv[1]).read().split()):\n"
      "    parser = configparser.ConfigParser(interpolation=None, delimiters=('=',))\n"
      "    parser.optionxform = str\n"
      "    parser.read(path)\n"
      "    for section in parser.sections():\n"
      "        items = parser.items(section)\n"
      "        if not items:\n"
      "            print(f'{i}\\t{section}')\n"
      "        for key, value in items:\n"
      "            print(f'{i}\\t{section}\\t{key}\\t{value}')\n",
      paths);
  EXPECT_EQ(seen, expected);
}

}  // namespace
