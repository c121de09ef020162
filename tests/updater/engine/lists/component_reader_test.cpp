#include "updater/engine/lists/component_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"
#include "updater/engine/lists/component_list.h"

namespace {

using upd::test::CatalogueTest;

// Every field, so that a default that is not filled shows up too.
void ExpectSameRecord(const _COMPONENT_INFO& actual, const _COMPONENT_INFO& expected) {
  EXPECT_EQ(actual.flags, expected.flags);
  EXPECT_STREQ(actual.name, expected.name);
  EXPECT_EQ(actual.language, expected.language);
  EXPECT_EQ(actual.platform, expected.platform);
  EXPECT_STREQ(actual.module, expected.module);
  EXPECT_STREQ(actual.version, expected.version);
  EXPECT_STREQ(actual.displayName, expected.displayName);
  EXPECT_STREQ(actual.setup, expected.setup);
  EXPECT_EQ(actual.category, expected.category);
  EXPECT_EQ(actual.build, expected.build);
  EXPECT_STREQ(actual.group, expected.group);
  EXPECT_EQ(actual.level, expected.level);
  EXPECT_EQ(actual.base, expected.base);
  EXPECT_EQ(actual.url, expected.url);
  EXPECT_EQ(actual.localFile, expected.localFile);
  EXPECT_EQ(actual.filename, expected.filename);
  EXPECT_EQ(actual.mirrorPath, expected.mirrorPath);
  EXPECT_EQ(actual.basePath, expected.basePath);
  EXPECT_EQ(actual.size, expected.size);
  EXPECT_EQ(actual.versionId, expected.versionId);
  EXPECT_EQ(actual.agreed, expected.agreed);
  EXPECT_EQ(actual.engineType, expected.engineType);
  EXPECT_EQ(actual.listKind, expected.listKind);
  EXPECT_EQ(actual.id, expected.id);
  EXPECT_EQ(actual.interval, expected.interval);
}

// A record with the defaults of a section that names only its category.
_COMPONENT_INFO Defaults() {
  _COMPONENT_INFO record;
  std::string("module").copy(record.module, 6);
  record.level = std::nullopt;
  record.base = std::nullopt;
  record.size = std::nullopt;
  record.id = std::nullopt;
  record.interval = std::nullopt;
  return record;
}

struct ReadCase {
  const char* what;
  const char* section;
  const char* body;
  _COMPONENT_INFO expected;
};

template <size_t N>
void Set(char (&field)[N], const std::string& text) {
  ASSERT_LT(text.size(), N);
  text.copy(field, text.size());
  field[text.size()] = '\0';
}

std::vector<ReadCase> AcceptedCases() {
  std::vector<ReadCase> cases;
  const auto add = [&](const char* what, const char* section, const char* body, auto edit) {
    _COMPONENT_INFO expected = Defaults();
    Set(expected.name, section);
    edit(expected);
    cases.push_back({what, section, body, expected});
  };
  add("engine module with its build", "ENGINE0", "category=engine\nplatform=x64\nbuild=1234\n",
      [](_COMPONENT_INFO& r) {
        r.flags = kComponentHasBuild;
        r.category = 3;
        r.platform = 1;
        r.build = 1234;
      });
  add("names match without regard to case", "ENGINE1", "category=Engine\nplatform=ARM64\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 3;
      });
  add("every key", "ENGINE2",
      "name=Scanner\ncategory=dll\nplatform=arm\ntype=em001\nversion=1.2 (3)\n"
      "display_name=Scanner core\nfile=em001_64.nup\nfilename=em001.dat\nsetup=setup1\n"
      "group=Release,Beta\nlanguage=1033\nbuild=4294967295\nlevel=2\nbase=1200\nsize=4096\n"
      "versionid=7\nAgreed=1\nid=12\ninterval=3600\n",
      [](_COMPONENT_INFO& r) {
        Set(r.name, "Scanner");
        r.flags = kComponentHasBuild;
        r.category = 4;
        r.platform = 2;
        Set(r.module, "em001");
        Set(r.version, "1.2 (3)");
        Set(r.displayName, "Scanner core");
        r.url = "em001_64.nup";
        r.filename = "em001.dat";
        Set(r.setup, "setup1");
        Set(r.group, "Release,Beta");
        r.language = 1033;
        r.build = 0xFFFFFFFFu;
        r.level = 2;
        r.base = 1200;
        r.size = 4096;
        r.versionId = 7;
        r.agreed = 1;
        r.id = 12;
        r.interval = 3600;
      });
  add("keys match without regard to case", "ENGINE3", "CATEGORY=dylib\nPlatform=x86\nBUILD=5\n",
      [](_COMPONENT_INFO& r) {
        r.flags = kComponentHasBuild;
        r.category = 5;
        r.build = 5;
      });
  add("base index when base is absent", "ENGINE4", "category=engine\nplatform=x64\nbaseindex=77\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        r.base = 77;
      });
  // A level of -1 (or its 32-bit twin) reads as none, as an absent key does.
  add("level of -1 is no level", "LEVELA", "category=engine\nplatform=x64\nlevel=-1\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
      });
  add("level of 4294967295 is no level", "LEVELB",
      "category=engine\nplatform=x64\nlevel=4294967295\n", [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
      });
  // Numbers given as -1 (or their 32-bit twin) read as absent, as a missing key does.
  add("numbers of -1 are absent", "NUMBERS",
      "category=engine\nplatform=x64\nbase=-1\nsize=4294967295\nid=-1\ninterval=-1\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
      });
  add("a base of -1 gives way to baseindex", "BASEINDEX",
      "category=engine\nplatform=x64\nbase=-1\nbaseindex=0\nsize=0\n", [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        r.base = 0;
        r.size = 0;
      });
  add("level 0 is a full package", "LEVELC", "category=engine\nplatform=x64\nlevel=0\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        r.level = 0;
      });
  add("base wins over base index", "ENGINE5",
      "category=engine\nplatform=x64\nbase=5\nbaseindex=77\n", [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        r.base = 5;
      });
  add("base path when file is empty", "ENGINE6",
      "category=engine\nplatform=x64\nfile=\nbasepath=base/em001.nup\n", [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        r.url = "base/em001.nup";
      });
  add("component build from four version parts", "APP_1",
      "category=component\nplatform=winnt64\nversion=10.2.300.4\n", [](_COMPONENT_INFO& r) {
        r.flags = kComponentHasBuild;
        r.category = 1;
        r.platform = 1;
        Set(r.version, "10.2.300.4");
        r.build = 0xA0002012C0004;
      });
  add("a third part above 32767 stays out of the high half", "APP_2",
      "category=component\nplatform=winnt32\nversion=1.2.40000.3\n", [](_COMPONENT_INFO& r) {
        r.flags = kComponentHasBuild;
        r.category = 1;
        Set(r.version, "1.2.40000.3");
        r.build = 0x000100029C400003;
      });
  add("a part above 16 bits keeps to its own 16 bits", "APP_3",
      "category=component\nplatform=arm64\nversion=2.70000\n", [](_COMPONENT_INFO& r) {
        r.flags = kComponentHasBuild;
        r.category = 1;
        r.platform = 2;
        Set(r.version, "2.70000");
        r.build = 0x0002117000000000;
      });
  add("reading stops at the first part that is no number", "APP_4",
      "category=component\nplatform=winnt32\nversion=3.x.5\n", [](_COMPONENT_INFO& r) {
        r.flags = kComponentHasBuild;
        r.category = 1;
        Set(r.version, "3.x.5");
        r.build = uint64_t{3} << 48;
      });
  add("component build from buildMS and buildLS without a version", "APP_5",
      "category=component\nplatform=winnt32\nbuildMS=1\nbuildLS=2\nbuild=99\n",
      [](_COMPONENT_INFO& r) {
        r.flags = kComponentHasBuild;
        r.category = 1;
        r.build = 0x100000002;
      });
  add("pico has neither platform nor build", "PICO", "category=pico\nplatform=nowhere\nbuild=99\n",
      [](_COMPONENT_INFO& r) { r.category = 2; });
  add("a reference reads nothing else", "REF",
      "ver=upd1234ABCD.ver\ncategory=engine\nplatform=x64\nbuild=5\ntype=em001\n",
      [](_COMPONENT_INFO& r) {
        r = _COMPONENT_INFO();
        Set(r.name, "REF");
        r.flags = kComponentReference;
        r.url = "upd1234ABCD.ver";
      });
  add("preliminary prefix", "PRELIMINARY_engine", "category=engine\nplatform=x64\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        r.listKind = kListPreliminary;
      });
  add("continuous prefix in lower case", "continuous_x", "category=engine\nplatform=x64\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        r.listKind = kListContinuous;
      });
  add("reverse prefix", "Reverse_y", "category=engine\nplatform=x64\n", [](_COMPONENT_INFO& r) {
    r.category = 3;
    r.platform = 1;
    r.listKind = kListReverse;
  });
  add("a name that only starts like a prefix", "CONTINUOUSX", "category=engine\nplatform=x64\n",
      [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
      });
  add("percent-decoded display name", "APP_6",
      "category=component\nplatform=winnt32\ndisplay_name=Caf%E9%20%u20AC%zz\n",
      [](_COMPONENT_INFO& r) {
        r.category = 1;
        Set(r.displayName, "Caf\xC3\xA9 \xE2\x82\xAC%zz");
      });
  add("quoted values lose their quotes", "ENGINE7",
      "category=\"engine\"\nplatform=x64\ntype=\"em002\"\n", [](_COMPONENT_INFO& r) {
        r.category = 3;
        r.platform = 1;
        Set(r.module, "em002");
      });
  return cases;
}

TEST_F(CatalogueTest, ReadComponentInfoFillsEachFieldByTheKeyTable) {
  std::string text;
  const std::vector<ReadCase> cases = AcceptedCases();
  for (const ReadCase& c : cases) text += std::string("[") + c.section + "]\n" + c.body;
  const Catalogue catalogue = InMemory(text);
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.what);
    _COMPONENT_INFO record;
    // Leftovers of an earlier record must not survive a fresh read.
    record.flags = kComponentDropped;
    record.basePath = "stale";
    record.engineType = 9;
    ASSERT_TRUE(ReadComponentInfo(catalogue, c.section, &record, false));
    ExpectSameRecord(record, c.expected);
  }
}

TEST_F(CatalogueTest, TextFieldsAreCutToTheirSize) {
  const std::string long_name(100, 'n');
  const std::string long_text(600, 'd');
  const std::string long_path(5000, 'p');
  const Catalogue catalogue =
      InMemory("[" + long_name + "]\ncategory=engine\nplatform=x64\ntype=" + long_name +
               "\nversion=" + long_text + "\ndisplay_name=" + long_text + "\ngroup=" + long_text +
               "\nsetup=" + long_text + "\nfile=" + long_path + "\nfilename=" + long_path + "\n");
  _COMPONENT_INFO record;
  ASSERT_TRUE(ReadComponentInfo(catalogue, long_name.c_str(), &record, false));
  EXPECT_EQ(std::string(record.name), long_name.substr(0, 63));
  EXPECT_EQ(std::string(record.module), long_name.substr(0, 63));
  EXPECT_EQ(std::string(record.version), long_text.substr(0, 31));
  EXPECT_EQ(std::string(record.displayName), long_text.substr(0, 127));
  EXPECT_EQ(std::string(record.group), long_text.substr(0, 255));
  EXPECT_EQ(std::string(record.setup), long_text.substr(0, 15));
  EXPECT_EQ(record.url, long_path.substr(0, 4095));
  EXPECT_EQ(record.filename, long_path.substr(0, 4095));
}

TEST_F(CatalogueTest, DisplayNameIsCutOnACharacterBoundary) {
  // 63 two-byte characters fill 126 bytes; the 64th does not fit in 127.
  std::string encoded;
  for (int i = 0; i < 70; ++i) encoded += "%E9";
  const Catalogue catalogue =
      InMemory("[APP_X]\ncategory=component\nplatform=winnt32\ndisplay_name=" + encoded + "\n");
  _COMPONENT_INFO record;
  ASSERT_TRUE(ReadComponentInfo(catalogue, "APP_X", &record, false));
  std::string expected;
  for (int i = 0; i < 63; ++i) expected += "\xC3\xA9";
  EXPECT_EQ(std::string(record.displayName), expected);
}

TEST_F(CatalogueTest, UnknownCategoriesAndPlatformsRefuseTheSection) {
  const Catalogue catalogue = InMemory(
      "[NOCATEGORY]\nplatform=x64\n"
      "[BADCATEGORY]\ncategory=engines\nplatform=x64\n"
      "[BADPLATFORM]\ncategory=engine\nplatform=x65\n"
      "[NOPLATFORM]\ncategory=dll\n"
      "[COMPONENT_X64]\ncategory=component\nplatform=x64\n"
      "[ENGINE_WINNT]\ncategory=engine\nplatform=winnt64\n");
  for (const char* section : {"NOCATEGORY", "BADCATEGORY", "BADPLATFORM", "NOPLATFORM",
                              "COMPONENT_X64", "ENGINE_WINNT", "MISSING"}) {
    SCOPED_TRACE(section);
    _COMPONENT_INFO record;
    EXPECT_FALSE(ReadComponentInfo(catalogue, section, &record, false));
  }
  _COMPONENT_INFO record;
  EXPECT_FALSE(ReadComponentInfo(FromTestFile("absent.ver"), "ENGINE", &record, false));
  // The same for an INI file that is no run's catalogue, read by path.
  EXPECT_FALSE(ReadComponentInfo(dir_.file("absent.ver").c_str(), "ENGINE", &record, false));
}

TEST_F(CatalogueTest, ReadingAgainKeepsNameAndFlags) {
  const Catalogue catalogue =
      InMemory("[em001]\nname=other\ncategory=engine\nplatform=x64\nbuild=42\nfile=em001_42.nup\n");
  _COMPONENT_INFO record;
  Set(record.name, "em001");
  record.flags = kComponentReference | kComponentSelected;
  record.url = "upd1234ABCD.ver";
  record.basePath = "/local/em001.nup";
  ASSERT_TRUE(ReadComponentInfo(catalogue, "em001", &record, true));
  EXPECT_STREQ(record.name, "em001");
  EXPECT_EQ(record.flags, kComponentReference | kComponentSelected | kComponentHasBuild);
  EXPECT_EQ(record.url, "em001_42.nup");
  EXPECT_EQ(record.basePath, "/local/em001.nup");
  EXPECT_EQ(record.build, 42u);
  EXPECT_EQ(record.category, 3u);
}

// Ten thousand sections stay well below the 170 MB that four fixed
// 4096-byte paths per record would take.
TEST_F(CatalogueTest, ALargeCatalogueCostsLittleMemory) {
  constexpr int kSections = 10000;
  std::string text;
  for (int i = 0; i < kSections; ++i) {
    text += "[em" + std::to_string(i) +
            "]\ncategory=engine\nplatform=x64\nbuild=" + std::to_string(i + 1) + "\nfile=em" +
            std::to_string(i) + ".nup\n";
  }
  const Catalogue catalogue = InMemory(text);
  CListBase list;
  for (int i = 0; i < kSections; ++i) {
    _COMPONENT_INFO record;
    ASSERT_TRUE(ReadComponentInfo(catalogue, ("em" + std::to_string(i)).c_str(), &record, false));
    list.Add(record);
  }
  ASSERT_EQ(list.GetSize(), kSections);
  EXPECT_EQ(list[kSections - 1].build, static_cast<uint64_t>(kSections));
  EXPECT_LT(static_cast<uint64_t>(list.GetCapacity()) * sizeof(_COMPONENT_INFO),
            uint64_t{20} << 20);
}

}  // namespace
