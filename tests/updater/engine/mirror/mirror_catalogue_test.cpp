#include "updater/engine/mirror/mirror_catalogue.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "updater/engine/mirror/mirror.h"

namespace upd::test {
namespace {

_COMPONENT_INFO Entry(const char* name, uint32_t category, std::optional<int32_t> level,
                      uint64_t build, const std::string& file) {
  _COMPONENT_INFO entry;
  SafeStrCopy(entry.name, sizeof entry.name, name);
  SafeStrCopy(entry.module, sizeof entry.module, "em001_64");
  entry.category = category;
  entry.platform = 1;
  entry.level = level;
  entry.build = build;
  entry.base = std::nullopt;
  entry.size = std::nullopt;
  entry.localFile = file;
  return entry;
}

class MirrorCatalogueTest : public ::testing::Test {
 protected:
  std::string Target() const { return dir_.file("update.ver"); }

  // The saved catalogue's text.
  std::string Save() {
    EXPECT_EQ(SaveVer(document_), kUpdOk);
    return ReadFile(Target());
  }

  TempDir dir_;
  MirrorVerDocument document_;
};

TEST_F(MirrorCatalogueTest, SectionsCarryTheirKeysInOrder) {
  OpenVerForWrite(document_, Target());
  _COMPONENT_INFO engine = Entry("em001_64", kCategoryEngine, 0, 200, "/m/zel0000ABCD.nup");
  engine.versionId = 7;
  engine.size = 1234;
  SafeStrCopy(engine.version, sizeof engine.version, "1.200");
  _COMPONENT_INFO application = Entry("app", kCategoryComponent, std::nullopt,
                                      (uint64_t{3} << 32) | 0x80000001u, "zel00001234.nup");
  application.module[0] = '\0';
  application.platform = 1;
  SafeStrCopy(application.displayName, sizeof application.displayName, "The App");
  ASSERT_EQ(WriteComponentSection(document_, engine), kUpdOk);
  ASSERT_EQ(WriteComponentSection(document_, application), kUpdOk);
  EXPECT_EQ(Save(),
            "[em001_64]\r\nplatform=x64\r\nbuild=200\r\nversionid=7\r\ncategory=engine\r\n"
            "type=em001_64\r\nversion=1.200\r\nlevel=0\r\nsize=1234\r\nfile=zel0000ABCD.nup\r\n"
            "[app]\r\nplatform=winnt64\r\nbuildMS=3\r\nbuildLS=-2147483647\r\nagreed=1\r\n"
            "category=component\r\ndisplay_name=The App\r\nfile=zel00001234.nup\r\n");
  // The work file became the catalogue, readable by everyone.
  EXPECT_FALSE(std::filesystem::exists(Target() + ".new"));
  struct stat info {};
  ASSERT_EQ(stat(Target().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(MirrorCatalogueTest, APicoRecordIsRefused) {
  OpenVerForWrite(document_, Target());
  EXPECT_EQ(WriteComponentSection(document_, Entry("pico", kCategoryPico, 0, 1, "p")),
            kUpdMirrorPassFailed);
}

// A chain is written in level order up to its first gap.
TEST_F(MirrorCatalogueTest, AChainStopsAtItsFirstMissingLevel) {
  CMirrorList list;
  list.Add(Entry("em001_64_3", kCategoryEngine, 3, 204, "d3"));
  list.Add(Entry("em001_64_1", kCategoryEngine, 1, 202, "d1"));
  list.Add(Entry("em001_64", kCategoryEngine, 0, 201, "full"));
  list.Add(Entry("lib", kCategoryDll, 0, 5, "lib"));
  OpenVerForWrite(document_, Target());
  ASSERT_EQ(WriteMirrorSections(document_, list, kCategoryEngine), kUpdOk);
  const std::string text = Save();
  const size_t full = text.find("[em001_64]");
  const size_t delta = text.find("[em001_64_1]");
  EXPECT_NE(full, std::string::npos);
  EXPECT_GT(delta, full);
  EXPECT_EQ(text.find("[em001_64_3]"), std::string::npos);
  EXPECT_EQ(text.find("[lib]"), std::string::npos);
  for (const _COMPONENT_INFO& entry : list) EXPECT_EQ(entry.flags & kComponentMirrored, 0u);
}

// An old work file is dropped; a catalogue that is not saved stays as it was.
TEST_F(MirrorCatalogueTest, AnOldWorkFileIsNotCarriedOver) {
  WriteFile(Target(), "[old]\r\n");
  WriteFile(Target() + ".new", "[stale]\r\nfile=x\r\n");
  OpenVerForWrite(document_, Target());
  ASSERT_EQ(WriteComponentSection(document_, Entry("em001_64", kCategoryEngine, 0, 1, "f")),
            kUpdOk);
  EXPECT_EQ(ReadFile(Target()), "[old]\r\n");
  const std::string text = Save();
  EXPECT_EQ(text.find("stale"), std::string::npos);
  EXPECT_NE(text.find("[em001_64]"), std::string::npos);
}

class UpdateHashTest : public MirrorCatalogueTest {
 protected:
  UpdateHashTest() {
    mirror_ = std::make_unique<MIRROR_SETTINGS>();
    mirror_->callback = &Answer;
    mirror_->callbackContext = this;
    host_.settings()->mirrorSettings = mirror_.get();
    SafeStrCopy(host_.settings()->updateServer, 256, "AUTOSELECT");
  }

  // The run's last catalogue, whose hash only a mirror of a mirror passes on.
  std::string LastCatalogue() const { return dir_.file("lastupd.ver"); }

  static uint32_t Answer(uint32_t code, void* data, void* self) {
    auto* test = static_cast<UpdateHashTest*>(self);
    test->codes_.push_back(code);
    if (code != MIRROR_EVENT_GET_UPDATE_HASH || test->answer_ != 0) return test->answer_;
    auto* bytes = static_cast<uint8_t*>(data);
    for (uint8_t i = 0; i < 20; ++i) bytes[i] = i;
    return 0;
  }

  testhost::EventHost host_;
  std::unique_ptr<MIRROR_SETTINGS> mirror_;
  uint32_t answer_ = 0;
  std::vector<uint32_t> codes_;
};

TEST_F(UpdateHashTest, TheHostsHashIsWrittenAsUpperCaseHex) {
  WriteFile(LastCatalogue(), "[UP_HASH]\r\nhash=FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF\r\n");
  OpenVerForWrite(document_, Target());
  ASSERT_EQ(WriteUpdateHash(document_, LastCatalogue().c_str(), host_.settings(), mirror_.get()),
            kUpdOk);
  EXPECT_EQ(codes_, std::vector<uint32_t>{MIRROR_EVENT_GET_UPDATE_HASH});
  EXPECT_EQ(Save(), "[UP_HASH]\r\nhash=000102030405060708090A0B0C0D0E0F10111213\r\n");
}

TEST_F(UpdateHashTest, WithoutAHashNoSectionIsWritten) {
  answer_ = 1;
  OpenVerForWrite(document_, Target());
  EXPECT_EQ(WriteUpdateHash(document_, LastCatalogue().c_str(), host_.settings(), mirror_.get()),
            kUpdNoUpdateHash);
  mirror_->callback = nullptr;
  EXPECT_EQ(WriteUpdateHash(document_, LastCatalogue().c_str(), host_.settings(), mirror_.get()),
            kUpdNoUpdateHash);
  EXPECT_EQ(document_.profile.FindSection("UP_HASH"), nullptr);
}

}  // namespace
}  // namespace upd::test
