#include "platform/store/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/util/result_allocator.h"
#include "support/temp_dir.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
struct Section {
  std::string name;
  Pairs pairs;
  bool operator==(const Section&) const = default;
};
using Model = std::vector<Section>;

Model Dump(const CProfileFile& file) {
  Model model;
  for (uint32_t i = 0; i < file.GetSectionCount(); ++i) {
    const CProfileSection* section = file.GetSectionAt(i);
    Section s{section->GetName(), {}};
    for (uint32_t k = 0; k < section->GetKeyCount(); ++k) {
      s.pairs.emplace_back(section->GetKeyAt(k), section->GetValueAt(k));
    }
    model.push_back(std::move(s));
  }
  return model;
}

Model Parse(std::string_view text) {
  CProfileFile file;
  EXPECT_TRUE(file.ParseText(text));
  return Dump(file);
}

struct ParseCase {
  const char* what;
  std::string text;
  Model expected;
};

TEST(ProfileParse, LinesSectionsAndQuirks) {
  const ParseCase cases[] = {
      {"blanks around '=' stay in key and value", "[s]\r\na = b\r\n", {{"s", {{"a ", " b"}}}}},
      {"leading blanks and tabs of a key are skipped", "[s]\n  \ta=b\n", {{"s", {{"a", "b"}}}}},
      {"only the first '=' splits", "[s]\na==b\n", {{"s", {{"a", "=b"}}}}},
      {"last line needs no line end", "[s]\r\nK=1", {{"s", {{"K", "1"}}}}},
      {"a repeated key keeps its first place and form and the last value",
       "[s]\nKey=1\nb=2\nKEY=3\n",
       {{"s", {{"Key", "3"}, {"b", "2"}}}}},
      {"a file without '[' is empty", "a=b\nc=d\n", {}},
      {"a bare header gives one empty section", "[s]", {{"s", {}}}},
      {"a final header without ']' is ignored", "[a]\nx=1\n[b\ny=2\n", {{"a", {{"x", "1"}}}}},
      {"text before the first header is ignored", "junk=1\n[s]\nk=v\n", {{"s", {{"k", "v"}}}}},
      {"no comment syntax", "[s]\n;a=b\n#c=d\n", {{"s", {{";a", "b"}, {"#c", "d"}}}}},
      {"a line without '=' is dropped", "[s]\nnothing here\nk=v\n", {{"s", {{"k", "v"}}}}},
      {"a '[' inside a value starts a new header",
       "[s]\nk=a[t]x=1\n",
       {{"s", {{"k", "a"}}}, {"t", {{"x", "1"}}}}},
      {"CR, LF and CR LF all end lines",
       "[s]\ra=1\nb=2\r\nc=3",
       {{"s", {{"a", "1"}, {"b", "2"}, {"c", "3"}}}}},
      {"a key with '=' and nothing after stores an empty value",
       "[s]\nk=\nj=",
       {{"s", {{"k", ""}, {"j", ""}}}}},
      {"quotes and tabs are part of the value",
       "[s]\nk=\"x\"\t=y\n",
       {{"s", {{"k", "\"x\"\t=y"}}}}},
      {"names keep spaces", "[ my section ]\nk=v\n", {{" my section ", {{"k", "v"}}}}},
      {"duplicate sections stay separate",
       "[A]\nk=1\n[a]\nk=2\n",
       {{"A", {{"k", "1"}}}, {"a", {{"k", "2"}}}}},
      {"a NUL in a body ends the line",
       std::string("[s]\na=1\0b=2\n", 12),
       {{"s", {{"a", "1"}, {"b", "2"}}}}},
  };
  for (const auto& c : cases) EXPECT_EQ(Parse(c.text), c.expected) << c.what;
}

TEST(ProfileName, CrcIsZlibCrcOfUpperCaseWithoutQuotes) {
  EXPECT_EQ(ProfileNameCrc("123456789"), 0xCBF43926u);
  EXPECT_EQ(ProfileNameCrc(""), 0u);
  EXPECT_EQ(ProfileNameCrc("\"\""), 0u);
  const std::pair<const char*, const char*> cases[] = {{"settings", "SETTINGS"},
                                                       {"\"Name\"", "NAME"},
                                                       {"a\"b\"c-9_z", "ABC-9_Z"},
                                                       {"\xe9t\xe9", "\xe9T\xe9"}};
  for (const auto& [name, folded] : cases) {
    const auto* bytes = reinterpret_cast<const Bytef*>(folded);
    EXPECT_EQ(ProfileNameCrc(name), crc32(0, bytes, static_cast<uInt>(std::strlen(folded))))
        << name;
  }
}

TEST(ProfileName, MatchingIgnoresCaseAndSurroundingQuotes) {
  struct Case {
    const char* stored;
    const char* requested;
    bool match;
  };
  const Case cases[] = {
      {"Settings", "SETTINGS", true},
      {"Settings", "settings", true},
      {"Settings", "\"Settings\"", true},
      {"\"Name\"", "name", true},
      {"\"Name\"", "Name\"", true},
      {"Settings", "Setting", false},
      {"Setting", "Settings", false},
      {"", "\"", true},
      {"\"", "", true},
      {"\xe9", "\xc9", false},
      {"a b", "A B", true},
      {"ab", "a\"b", false},
  };
  for (const auto& c : cases) {
    CProfileFile file;
    ASSERT_NE(file.GetOrAddSection(c.stored), nullptr);
    EXPECT_EQ(file.FindSection(c.requested) != nullptr, c.match)
        << c.stored << " / " << c.requested;
    CProfileSection section("s");
    ASSERT_TRUE(section.SetValue(c.stored, "v"));
    EXPECT_EQ(section.FindKey(c.requested) != CProfileSection::kNoKey, c.match)
        << c.stored << " / " << c.requested;
  }
}

// Many sections with colliding names (case and quote variants, duplicates):
// the indexed lookup must find what a scan from the start finds, also after
// removals have shifted the positions.
TEST(ProfileLookup, IndexAgreesWithScanFromTheStart) {
  std::mt19937 random(7);
  const char* bases[] = {"alpha", "Beta", "gamma", "delta", "eps"};
  auto random_name = [&] {
    std::string name = std::string(bases[random() % 5]) + std::to_string(random() % 40);
    if (random() % 3 == 0) std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    if (random() % 4 == 0) name = "\"" + name + "\"";
    return name;
  };
  CProfileFile file;
  CProfileSection keys("k");
  for (int i = 0; i < 600; ++i) {
    const std::string name = random_name();
    ASSERT_TRUE(file.AddSection(std::make_unique<CProfileSection>(name)));
    ASSERT_TRUE(keys.SetValue(name, std::to_string(i)));
  }
  auto scan = [&](const std::string& name) -> CProfileSection* {
    const uint32_t crc = ProfileNameCrc(name);
    for (uint32_t i = 0; i < file.GetSectionCount(); ++i) {
      CProfileSection* s = file.GetSectionAt(i);
      if (ProfileNameEquals(s->GetName(), s->NameCrc(), name, crc)) return s;
    }
    return nullptr;
  };
  auto key_scan = [&](const std::string& name) -> uint32_t {
    for (uint32_t i = 0; i < keys.GetKeyCount(); ++i) {
      const char* key = keys.GetKeyAt(i);
      if (ProfileNameEquals(key, ProfileNameCrc(key), name, ProfileNameCrc(name))) return i;
    }
    return CProfileSection::kNoKey;
  };
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 300; ++i) {
      const std::string name = random_name();
      ASSERT_EQ(file.FindSection(name), scan(name)) << name;
      ASSERT_EQ(keys.FindKey(name), key_scan(name)) << name;
    }
    for (int i = 0; i < 40; ++i) {
      const std::string name = random_name();
      const bool section_present = scan(name) != nullptr;
      const bool key_present = key_scan(name) != CProfileSection::kNoKey;
      ASSERT_EQ(file.RemoveSection(name), section_present);
      ASSERT_EQ(keys.DeleteKey(name), key_present);
    }
  }
}

TEST(ProfileLookup, ManySectionsOfOneNameLoadAndResolveToTheFirst) {
  // A catalogue may repeat a section any number of times. Each repeat must
  // cost one step to load (not one step per earlier repeat, which for this
  // many would take the better part of an hour) and lookups see the first.
  constexpr size_t kRepeats = 200000;
  std::string text = "[\"A\"]\r\nfirst=1\r\n";
  text.reserve(text.size() + kRepeats * 10 + 20);
  for (size_t i = 0; i < kRepeats; ++i) text += "[A]\r\nk=2\r\n";
  text += "[B]\r\nb=3\r\n";
  CProfileFile file;
  ASSERT_TRUE(file.ParseText(text));
  ASSERT_EQ(file.GetSectionCount(), kRepeats + 2);
  EXPECT_STREQ(file.GetValue("a", "first", "<none>"), "1");
  EXPECT_STREQ(file.GetValue("A", "k", "<none>"), "<none>") << "only the first [A] is seen";
  EXPECT_STREQ(file.GetValue("b", "b", "<none>"), "3");
  ASSERT_TRUE(file.RemoveSection("A"));
  EXPECT_STREQ(file.GetValue("A", "k", "<none>"), "2") << "the next repeat comes forward";
  EXPECT_STREQ(file.GetValue("A", "first", "<none>"), "<none>");
  EXPECT_EQ(file.FindSection("A"), file.GetSectionAt(0));
  EXPECT_STREQ(file.GetValue("B", "b", "<none>"), "3");
}

TEST(ProfileSection, IntegersAreReadAsStrtollKeptTo32Bits) {
  const std::pair<const char*, int32_t> cases[] = {
      {"42", 42},
      {"-1", -1},
      {"abc", 0},
      {" 7", 7},
      {"12abc", 12},
      {"4294967295", -1},
      {"2147483648", INT32_MIN},
      {"99999999999999999999", -1},
      {"", 0},
  };
  for (const auto& [text, expected] : cases) {
    CProfileFile file;
    ASSERT_TRUE(file.ParseText(std::string("[s]\nk=") + text + "\n"));
    EXPECT_EQ(file.GetInt("s", "k", 5), expected) << text;
  }
  CProfileFile file;
  ASSERT_TRUE(file.ParseText("[s]\nk=1\n"));
  EXPECT_EQ(file.GetInt("s", "absent", 5), 5);
  EXPECT_EQ(file.GetInt("absent", "k", 5), 5);
}

TEST(ProfileSection, SetReplaceDeleteAndNumbers) {
  CProfileSection section("s");
  ASSERT_TRUE(section.SetValue("a", "1"));
  ASSERT_TRUE(section.SetValue("b", "2"));
  const char* before = section.GetValue("a", nullptr);
  ASSERT_TRUE(section.SetValue("A", "1"));
  EXPECT_EQ(section.GetValue("a", nullptr), before) << "an equal value is left in place";
  ASSERT_TRUE(section.SetValue("A", "x"));
  EXPECT_STREQ(section.GetValue("a", nullptr), "x");
  ASSERT_TRUE(section.SetInt("i", -5000000000));
  ASSERT_TRUE(section.SetUInt("u", 4294967295u));
  EXPECT_TRUE(section.DeleteKey("B"));
  EXPECT_FALSE(section.DeleteKey("b"));
  std::vector<std::string> keys;
  for (uint32_t i = 0; i < section.GetKeyCount(); ++i) {
    keys.push_back(std::string(section.GetKeyAt(i)) + "=" + section.GetValueAt(i));
  }
  EXPECT_EQ(keys, (std::vector<std::string>{"a=x", "i=-5000000000", "u=4294967295"}));
  EXPECT_EQ(section.GetKeyAt(3), nullptr);
  EXPECT_EQ(section.GetValueAt(3), nullptr);
  EXPECT_STREQ(section.GetValue("zz", "dflt"), "dflt");
}

TEST(ProfileFile, CopyValueDropsQuotesAndCuts) {
  CProfileFile file;
  ASSERT_TRUE(file.ParseText("[s]\nq=\"abc\"\nm=a\"b\"c\ne=\nlong=abcdef\n"));
  struct Case {
    const char* key;
    const char* fallback;
    uint32_t size;
    bool result;
    std::string expected;
  };
  const Case cases[] = {
      {"q", nullptr, 16, true, "abc"},
      {"m", nullptr, 16, true, "abc"},
      {"long", nullptr, 4, true, "abc"},
      {"long", nullptr, 1, true, ""},
      {"e", nullptr, 8, true, ""},
      {"none", "\"d\"ef", 8, true, "def"},
      {"none", nullptr, 8, false, "untouched"},
  };
  for (const auto& c : cases) {
    char buffer[16] = "untouched";
    EXPECT_EQ(file.CopyValue("s", c.key, c.fallback, buffer, c.size), c.result) << c.key;
    EXPECT_EQ(std::string(buffer), c.expected) << c.key;
  }
}

TEST(ProfileFile, SaveWritesCrLfInOrderAndReloadsTheSame) {
  upd::test::TempDir dir;
  CProfileFile file;
  ASSERT_TRUE(file.ParseText("junk\n[B]\n a = 1 \n[\"Q\"]\nk=\"v\"\n[B]\nx=y\n[empty]"));
  const std::string path = dir.file("deep/er/out.ini");
  ASSERT_TRUE(file.Save(path.c_str())) << "the folder chain is created";
  EXPECT_EQ(upd::test::ReadFile(path),
            "[B]\r\na = 1 \r\n[\"Q\"]\r\nk=\"v\"\r\n[B]\r\nx=y\r\n[empty]\r\n");
  CProfileFile again;
  ASSERT_TRUE(again.Init(path.c_str()));
  EXPECT_TRUE(again.IsLoaded());
  EXPECT_EQ(Dump(again), Dump(file));
  EXPECT_STREQ(again.GetPath(), path.c_str());
}

TEST(ProfileFile, LoadFailuresLeaveAnEmptyUnloadedFile) {
  upd::test::TempDir dir;
  CProfileFile file;
  EXPECT_FALSE(file.Load(nullptr)) << "no path yet";
  const std::string path = dir.file("missing.ini");
  EXPECT_FALSE(file.Init(path.c_str()));
  EXPECT_FALSE(file.IsLoaded());
  EXPECT_STREQ(file.GetPath(), path.c_str());
  upd::test::WriteFile(path, "[s]\nk=v\n");
  EXPECT_TRUE(file.Load(nullptr)) << "the kept path is used";
  EXPECT_STREQ(file.GetValue("s", "k", nullptr), "v");
  EXPECT_FALSE(file.Load(dir.path().c_str())) << "a folder is not readable as a file";
  EXPECT_FALSE(file.IsLoaded());
  EXPECT_EQ(file.GetSectionCount(), 0u);
  ProfileFileRelease(file);
  EXPECT_EQ(file.GetPath(), nullptr);
  EXPECT_FALSE(file.Save(nullptr));
}

TEST(ProfileFile, SaveFailuresAreReportedAndKeepTheOldFile) {
  upd::test::TempDir dir;
  CProfileFile file;
  ASSERT_TRUE(file.ParseText("[s]\nk=v\n"));
  upd::test::WriteFile(dir.file("plain"), "x");
  EXPECT_FALSE(file.Save(dir.file("plain/sub/out.ini").c_str())) << "folder under a file";
  EXPECT_FALSE(file.Save(dir.path().c_str())) << "a folder as the target";
  EXPECT_EQ(upd::test::ReadFile(dir.file("plain")), "x");
}

TEST(ProfileFile, SaveKeepsModeAndReplacesThroughSymlinks) {
  upd::test::TempDir dir;
  const std::string real = dir.file("real.ini");
  upd::test::WriteFile(real, "[a]\r\n");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const std::string link = dir.file("link.ini");
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  CProfileFile file;
  ASSERT_TRUE(file.Init(link.c_str()));
  ASSERT_TRUE(file.GetOrAddSection("b")->SetValue("k", "v"));
  ASSERT_TRUE(file.Save(nullptr));
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(upd::test::ReadFile(real), "[a]\r\n[b]\r\nk=v\r\n");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"link.ini", "real.ini"})) << "no temporary file left";
}

}  // namespace

namespace {

// An allocator that records every request and refuses once its budget is
// spent, to show the growth rule and that a refused append changes nothing.
struct CountingAllocator {
  static inline std::vector<uint64_t> requests;
  static inline int budget = 0;
  static void* UPD_MSABI Allocate(uint64_t bytes) {
    requests.push_back(bytes);
    if (budget-- <= 0) return nullptr;
    return ::operator new(bytes, std::nothrow);
  }
  static void UPD_MSABI Free(void* p) { ::operator delete(p); }
  static constexpr ApiAllocator kAllocator = {0, Allocate, Free};
};

TEST(ProfileFile, SectionStorageGrowsByHalfAndRefusalsChangeNothing) {
  CountingAllocator::requests.clear();
  CountingAllocator::budget = 8;
  CProfileFile file(&CountingAllocator::kAllocator);
  int added = 0;
  while (file.GetOrAddSection("s" + std::to_string(added)) != nullptr) ++added;
  const std::vector<uint64_t> expected = {8, 16, 24, 32, 48, 72, 104, 152, 224};
  EXPECT_EQ(CountingAllocator::requests, expected) << "capacity max(c + c/2, n + 1), 8 bytes each";
  EXPECT_EQ(added, 19);
  EXPECT_EQ(file.GetSectionCount(), 19u);
  EXPECT_STREQ(file.GetSectionName(18), "s18");
  EXPECT_NE(file.FindSection("S0"), nullptr);
  EXPECT_FALSE(file.AddSection(std::make_unique<CProfileSection>("x")));
  EXPECT_FALSE(file.ParseText("[y]\nk=v\n"));
  EXPECT_EQ(file.GetSectionCount(), 19u);
  EXPECT_EQ(file.FindSection("y"), nullptr);
}

}  // namespace

namespace {

TEST(ProfileFile, InitAcceptsItsOwnPathAndNullEmpties) {
  upd::test::TempDir dir;
  const std::string path = dir.file("a.ini");
  upd::test::WriteFile(path, "[s]\nk=1\n");
  CProfileFile file;
  ASSERT_TRUE(file.Init(path.c_str()));
  upd::test::WriteFile(path, "[s]\nk=2\n");
  EXPECT_TRUE(file.Init(file.GetPath()));
  EXPECT_STREQ(file.GetValue("s", "k", nullptr), "2");
  EXPECT_FALSE(file.Init(nullptr));
  EXPECT_EQ(file.GetPath(), nullptr);
  EXPECT_EQ(file.GetSectionCount(), 0u);
}

}  // namespace
