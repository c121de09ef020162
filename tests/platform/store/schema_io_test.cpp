#include "platform/store/schema_io.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/store/backup_settings_schema.h"
#include "platform/store/typed_values.h"
#include "platform/store/xml_document.h"
#include "platform/store/xml_file.h"
#include "support/temp_dir.h"
#include "xml_test_util.h"

namespace upd::test {
namespace {

constexpr uint32_t kPluginId = 0x00001A2B;

const std::string kDefaultConfig = WithDeclaration(
    "<WEXA>\n"
    " <SECTION>\n"
    "  <SETTINGS>\n"
    "   <PLUGINS>\n"
    "    <PLUGIN ID=\"1A2B\">\n"
    "     <SETTINGS>\n"
    "      <NODE NAME=\"SnapshotCount\" VALUE=\"1\" TYPE=\"DWORD\" />\n"
    "      <NODE NAME=\"BackupEnabled\" VALUE=\"1\" TYPE=\"DWORD\" />\n"
    "      <NODE NAME=\"LastBackupTime\" VALUE=\"0\" TYPE=\"DWORD\" />\n"
    "      <NODE NAME=\"ReenableUpdateTime\" VALUE=\"0\" TYPE=\"DWORD\" />\n"
    "     </SETTINGS>\n"
    "    </PLUGIN>\n"
    "   </PLUGINS>\n"
    "  </SETTINGS>\n"
    " </SECTION>\n"
    "</WEXA>\n");

BACKUP_SETTINGS Defaults() {
  BACKUP_SETTINGS settings;
  std::memset(&settings, 0xEE, sizeof(settings));
  SchemaLoadDefaults(kBackupSettingsSchema, &settings);
  return settings;
}

XmlDocumentPtr EmptyConfig() {
  XmlDocumentPtr document = MemStoreCreate(0);
  EXPECT_NE(MemStoreCreateRoot(document.get(), L"WEXA"), nullptr);
  return document;
}

TEST(BackupSettingsTest, DefaultsSavedIntoAnEmptyDocumentByteForByte) {
  const BACKUP_SETTINGS settings = Defaults();
  EXPECT_EQ(settings.SnapshotCount, 1u);
  EXPECT_EQ(settings.BackupEnabled, 1u);
  EXPECT_EQ(settings.LastBackupTime, 0u);
  EXPECT_EQ(settings.ReenableUpdateTime, 0u);
  XmlDocumentPtr document = EmptyConfig();
  const std::string list = BackupSettingsSubstitutions(kPluginId);
  EXPECT_EQ(list, "${PluginID}=00001A2B");
  ASSERT_EQ(SchemaSave(kBackupSettingsSchema, &settings, list.c_str(), document.get(), nullptr, 1),
            1u);
  EXPECT_EQ(Serialized(document.get()), kDefaultConfig);
  ASSERT_EQ(SchemaSave(kBackupSettingsSchema, &settings, list.c_str(), document.get(), nullptr, 1),
            1u);
  EXPECT_EQ(Serialized(document.get()), kDefaultConfig) << "a second save finds what it made";
}

TEST(BackupSettingsTest, SavedFileIsReadByXmllintAndByTheStore) {
  TempDir dir;
  BACKUP_SETTINGS settings = Defaults();
  settings.SnapshotCount = 3;
  settings.LastBackupTime = 1700000000;
  XmlDocumentPtr document = EmptyConfig();
  const std::string list = BackupSettingsSubstitutions(kPluginId);
  ASSERT_EQ(SchemaSave(kBackupSettingsSchema, &settings, list.c_str(), document.get(), nullptr, 1),
            1u);
  const std::string path = dir.file("config.xml");
  ASSERT_EQ(MemStoreSaveFile(document.get(), MemStoreGetRoot(document.get()), path.c_str()),
            kXmlOk);

  std::string out;
  ASSERT_EQ(RunCommand("xmllint --noout '" + path + "' 2>&1", &out), 0) << out;
  ASSERT_EQ(RunCommand("xmllint --xpath 'string(//PLUGIN/@ID)' '" + path + "'", &out), 0);
  EXPECT_EQ(out.substr(0, out.find_last_not_of('\n') + 1), "1A2B");
  ASSERT_EQ(
      RunCommand("xmllint --xpath 'string(//NODE[@NAME=\"LastBackupTime\"]/@VALUE)' '" + path + "'",
                 &out),
      0);
  EXPECT_EQ(std::stoul(out, nullptr, 16), 1700000000u);

  XmlDocumentPtr loaded;
  ASSERT_EQ(MemStoreLoadFile(&loaded, path.c_str(), 500), kXmlOk);
  BACKUP_SETTINGS back = Defaults();
  ASSERT_EQ(SchemaLoad(kBackupSettingsSchema, &back, list.c_str(), loaded.get(), nullptr), 1u);
  EXPECT_EQ(std::memcmp(&back, &settings, sizeof(back)), 0);
}

TEST(BackupSettingsTest, MissingRecordKeepsTheDefaults) {
  XmlDocumentPtr document = ParseXml(kDefaultConfig);
  ASSERT_NE(document, nullptr);
  BACKUP_SETTINGS settings = Defaults();
  const std::string other = BackupSettingsSubstitutions(0x1A2C);
  EXPECT_EQ(SchemaLoad(kBackupSettingsSchema, &settings, other.c_str(), document.get(), nullptr),
            0u);
  EXPECT_EQ(settings.SnapshotCount, 1u);
  XmlDocumentPtr rootless = MemStoreCreate(0);
  EXPECT_EQ(SchemaLoad(kBackupSettingsSchema, &settings, other.c_str(), rootless.get(), nullptr),
            0u);
  EXPECT_EQ(SchemaSave(kBackupSettingsSchema, &settings, other.c_str(), rootless.get(), nullptr, 1),
            0u);
}

TEST(BackupSettingsTest, LeadingZerosOfTheIdDoNotMatter) {
  std::string text = kDefaultConfig;
  text.replace(text.find("1A2B"), 4, "00001a2b");
  text.replace(text.find("VALUE=\"1\""), 9, "VALUE=\"5\"");
  XmlDocumentPtr document = ParseXml(text);
  ASSERT_NE(document, nullptr);
  BACKUP_SETTINGS settings = Defaults();
  const std::string list = BackupSettingsSubstitutions(kPluginId);
  ASSERT_EQ(SchemaLoad(kBackupSettingsSchema, &settings, list.c_str(), document.get(), nullptr),
            1u);
  EXPECT_EQ(settings.SnapshotCount, 5u);
}

TEST(BackupSettingsTest, RecordMarkedDeletedIsNeitherLoadedNorSaved) {
  for (const char* mark : {"1", "x", "10"}) {
    std::string text = kDefaultConfig;
    // The mark sits on the record's own element, the last of its path.
    text.replace(text.find("<SETTINGS>\n      <NODE"), 10,
                 std::string("<SETTINGS DELETE=\"") + mark + "\">");
    text.replace(text.find("VALUE=\"1\""), 9, "VALUE=\"5\"");
    XmlDocumentPtr document = ParseXml(text);
    ASSERT_NE(document, nullptr);
    const std::string before = Serialized(document.get());
    BACKUP_SETTINGS settings = Defaults();
    settings.LastBackupTime = 99;
    const std::string list = BackupSettingsSubstitutions(kPluginId);
    // "10" has two characters: it reads as "0", so the record is live.
    const uint32_t live = std::strcmp(mark, "10") == 0 ? 1u : 0u;
    EXPECT_EQ(SchemaLoad(kBackupSettingsSchema, &settings, list.c_str(), document.get(), nullptr),
              live)
        << mark;
    EXPECT_EQ(settings.SnapshotCount, live ? 5u : 1u) << mark;
    EXPECT_EQ(
        SchemaSave(kBackupSettingsSchema, &settings, list.c_str(), document.get(), nullptr, 1),
        live)
        << mark;
    if (!live) {
      EXPECT_EQ(Serialized(document.get()), before) << "nothing written";
    }
  }
}

// A record of every field type, with a path that asks for deleted elements.
struct Inner {
  uint32_t level;
};
struct Everything {
  uint32_t number;
  unsigned char bytes[4];
  char text[16];
  char password[16];
  char* pointer;
  Inner inner;
  uint32_t only_all;
};

const SCHEMA_FIELD kInnerSchema[] = {
    {kSchemaDword, nullptr, offsetof(Inner, level), 4, 7, nullptr, nullptr, "Level", 0},
    {kSchemaEnd, nullptr, 0, 0, 0, nullptr, nullptr, nullptr, 0},
};

const SCHEMA_FIELD kEverythingSchema[] = {
    {kSchemaPath, nullptr, 0, 0, 0, nullptr, L"ROOT\\REC;N=${N};DELETE=1", nullptr, 0},
    {kSchemaDword, nullptr, offsetof(Everything, number), 4, 42, nullptr, nullptr, "Num${N}", 0},
    {kSchemaBytes, nullptr, offsetof(Everything, bytes), 4, 0, "\x01\x02\x03\x04", nullptr, "Raw",
     0},
    {kSchemaText, nullptr, offsetof(Everything, text), 16, 0,
     "d\xC3\xA9"
     "faut",
     nullptr, "Text", 0},
    {kSchemaPassword, nullptr, offsetof(Everything, password), 16, 0, "hunter2", nullptr, "Pw", 0},
    {kSchemaTextPointer, nullptr, offsetof(Everything, pointer), 0, 0, "heap", nullptr, "Ptr", 0},
    {kSchemaNested, kInnerSchema, offsetof(Everything, inner), 0, 0, nullptr, nullptr, nullptr, 0},
    {kSchemaDword, nullptr, offsetof(Everything, only_all), 4, 9, nullptr, nullptr, "All",
     kSchemaWriteAllOnly},
    {kSchemaDword, nullptr, offsetof(Everything, only_all), 4, 9, nullptr, nullptr, nullptr, 0},
    {77, nullptr, 0, 0, 0, nullptr, nullptr, "Unknown", 0},
    {kSchemaEnd, nullptr, 0, 0, 0, nullptr, nullptr, nullptr, 0},
};

class EverythingTest : public testing::Test {
 protected:
  void SetUp() override {
    std::memset(&record_, 0xEE, sizeof(record_));
    SchemaLoadDefaults(kEverythingSchema, &record_);
  }
  void TearDown() override { SchemaFreeTexts(kEverythingSchema, &record_); }
  Everything record_;
};

TEST_F(EverythingTest, DefaultsFillEveryType) {
  EXPECT_EQ(record_.number, 42u);
  EXPECT_EQ(std::memcmp(record_.bytes, "\x01\x02\x03\x04", 4), 0);
  EXPECT_STREQ(record_.text,
               "d\xC3\xA9"
               "faut");
  EXPECT_STREQ(record_.password, "hunter2");
  ASSERT_NE(record_.pointer, nullptr);
  EXPECT_STREQ(record_.pointer, "heap");
  EXPECT_EQ(record_.inner.level, 7u);
  EXPECT_EQ(record_.only_all, 9u);
}

TEST_F(EverythingTest, SaveAndLoadEveryType) {
  XmlDocumentPtr document = ParseXml("<DOC/>");
  ASSERT_NE(document, nullptr);
  record_.number = 0xBEEF;
  std::strcpy(record_.text, "changed");
  std::strcpy(record_.password, "p\xC3\xA4ss");
  record_.inner.level = 3;
  record_.only_all = 5;
  ASSERT_EQ(SchemaSave(kEverythingSchema, &record_, "${N}=12", document.get(), nullptr, 0), 1u);
  const std::string saved = Serialized(document.get());
  EXPECT_NE(saved.find("<REC N=\"12\" DELETE=\"1\">"), std::string::npos) << saved;
  EXPECT_NE(saved.find("NAME=\"Num12\" VALUE=\"BEEF\" TYPE=\"DWORD\""), std::string::npos);
  EXPECT_NE(saved.find("NAME=\"Raw\" VALUE=\"AQIDBA==\" TYPE=\"BINARY\""), std::string::npos);
  EXPECT_NE(saved.find("NAME=\"Level\" VALUE=\"3\""), std::string::npos);
  EXPECT_EQ(saved.find("NAME=\"All\""), std::string::npos) << "only with the write-all flag";
  EXPECT_EQ(saved.find("p\xC3\xA4ss"), std::string::npos);

  Everything loaded;
  std::memset(&loaded, 0xEE, sizeof(loaded));
  SchemaLoadDefaults(kEverythingSchema, &loaded);
  std::free(loaded.pointer);
  loaded.pointer = nullptr;
  std::strcpy(loaded.text, "x");
  ASSERT_EQ(SchemaLoad(kEverythingSchema, &loaded, "${N}=12", document.get(), nullptr), 1u);
  EXPECT_EQ(loaded.number, 0xBEEFu);
  EXPECT_STREQ(loaded.text, "changed");
  EXPECT_STREQ(loaded.password, "p\xC3\xA4ss");
  ASSERT_NE(loaded.pointer, nullptr);
  EXPECT_STREQ(loaded.pointer, "heap");
  EXPECT_EQ(loaded.inner.level, 3u);
  EXPECT_EQ(loaded.only_all, 9u) << "never saved, so the default stays";
  SchemaFreeTexts(kEverythingSchema, &loaded);
  EXPECT_EQ(loaded.pointer, nullptr);

  ASSERT_EQ(SchemaSave(kEverythingSchema, &record_, "${N}=12", document.get(), nullptr, 1), 1u);
  EXPECT_NE(Serialized(document.get()).find("NAME=\"All\" VALUE=\"5\""), std::string::npos);
}

TEST_F(EverythingTest, ValuesOfAnotherTypeOrTooLongLeaveFieldsAlone) {
  XmlDocumentPtr document = ParseXml(
      "<DOC><ROOT><REC N=\"1\" DELETE=\"1\">"
      "<NODE NAME=\"Num1\" VALUE=\"5\" TYPE=\"STRING\"/>"
      "<NODE NAME=\"Raw\" VALUE=\"AQIDBAU=\" TYPE=\"BINARY\"/>"
      "<NODE NAME=\"Text\" VALUE=\"&#xD800;\" TYPE=\"STRING\"/>"
      "<NODE NAME=\"Pw\" VALUE=\"not*base64\" TYPE=\"PASS\"/>"
      "<NODE NAME=\"Ptr\" VALUE=\"\" TYPE=\"STRING\"/>"
      "</REC></ROOT></DOC>");
  ASSERT_NE(document, nullptr);
  ASSERT_EQ(SchemaLoad(kEverythingSchema, &record_, "${N}=1", document.get(), nullptr), 1u);
  EXPECT_EQ(record_.number, 42u) << "a STRING is not read as DWORD";
  EXPECT_EQ(std::memcmp(record_.bytes, "\x01\x02\x03\x04", 4), 0) << "five bytes do not fit";
  EXPECT_STREQ(record_.text,
               "d\xC3\xA9"
               "faut")
      << "unconvertible text";
  EXPECT_STREQ(record_.password, "hunter2");
  ASSERT_NE(record_.pointer, nullptr);
  EXPECT_STREQ(record_.pointer, "") << "an empty STRING is a text of its own";
}

TEST_F(EverythingTest, PathWithoutDeleteTestRefusesDeletedElements) {
  XmlDocumentPtr document = ParseXml("<DOC><ROOT><REC N=\"1\"/></ROOT></DOC>");
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(SchemaLoad(kEverythingSchema, &record_, "${N}=1", document.get(), nullptr), 0u)
      << "the path asks for DELETE=1 and the element is live";
}

}  // namespace
}  // namespace upd::test
