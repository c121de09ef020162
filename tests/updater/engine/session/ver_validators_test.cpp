#include <gtest/gtest.h>

#include <string>

#include "platform/store/settings_store.h"
#include "platform/util/strings.h"
#include "support/temp_dir.h"
#include "updater/engine/session/ver_validators.h"

// The validators of catalogue URLs in the settings store.
namespace {

using upd::test::ReadFile;
using upd::test::TempDir;

class VerValidatorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string store = "file://" + dir_.file("settings.ini");
    SafeStrCopy(settings_.settingsStore, sizeof settings_.settingsStore, store.c_str());
  }

  std::string Stored(const std::string& key) {
    const SettingsStorePtr store(SettingsStoreOpen(settings_.settingsStore, 1, nullptr));
    char value[256] = {};
    if (!SettingsStoreGetString(store.get(), key.c_str(), value, sizeof value)) return "<absent>";
    return value;
  }

  TempDir dir_;
  UPDATER_SETTINGS settings_{};
};

TEST_F(VerValidatorsTest, SavedUnderHostPathAndFileAndLoadedBack) {
  ASSERT_TRUE(SaveVerFileValidators("srv:8080", "/upd/", "update.ver", &settings_, "\"e1\"",
                                    "Tue, 01 Dec 2026 10:00:00 GMT"));
  EXPECT_EQ(Stored("VerFileETAG_srv:8080/upd/update.ver"), "\"e1\"");
  EXPECT_EQ(Stored("VerFileLastModified_srv:8080/upd/update.ver"),
            "Tue, 01 Dec 2026 10:00:00 GMT");
  std::string etag = "old";
  std::string modified = "old";
  LoadVerFileValidators("srv:8080", "/upd/", "update.ver", &settings_, &etag, &modified);
  EXPECT_EQ(etag, "\"e1\"");
  EXPECT_EQ(modified, "Tue, 01 Dec 2026 10:00:00 GMT");

  // Another file of the same server has none: both outputs are emptied.
  LoadVerFileValidators("srv:8080", "/upd/", "update.ver.signed", &settings_, &etag, &modified);
  EXPECT_EQ(etag, "");
  EXPECT_EQ(modified, "");
}

TEST_F(VerValidatorsTest, AnEmptyValueDeletesItsKey) {
  ASSERT_TRUE(SaveVerFileValidators("h", "/", "f", &settings_, "\"e\"", "date"));
  ASSERT_TRUE(SaveVerFileValidators("h", "/", "f", &settings_, "", "date2"));
  EXPECT_EQ(Stored("VerFileETAG_h/f"), "<absent>");
  EXPECT_EQ(Stored("VerFileLastModified_h/f"), "date2");
  ASSERT_TRUE(SaveVerFileValidators("h", "/", "f", &settings_, "", ""));
  EXPECT_EQ(ReadFile(dir_.file("settings.ini")).find("VerFile"), std::string::npos);
}

TEST_F(VerValidatorsTest, LongKeysAreCutTo255Characters) {
  const std::string path = "/" + std::string(400, 'p') + "/";
  ASSERT_TRUE(SaveVerFileValidators("h", path.c_str(), "f", &settings_, "\"e\"", ""));
  const std::string key = ("VerFileETAG_h" + path + "f").substr(0, 255);
  EXPECT_EQ(Stored(key), "\"e\"");
}

TEST_F(VerValidatorsTest, WithoutAStoreNothingChanges) {
  UPDATER_SETTINGS no_store{};
  std::string etag = "kept";
  std::string modified = "kept too";
  LoadVerFileValidators("h", "/", "f", &no_store, &etag, &modified);
  EXPECT_EQ(etag, "kept");
  EXPECT_EQ(modified, "kept too");
  EXPECT_FALSE(SaveVerFileValidators("h", "/", "f", &no_store, "\"e\"", "d"));
  EXPECT_FALSE(SaveVerFileValidators("h", "/", "f", nullptr, "\"e\"", "d"));
}

}  // namespace
