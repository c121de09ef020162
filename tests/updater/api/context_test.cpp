#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "library_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kUnknownTime = ~uint64_t{0};

struct InitCase {
  const char* name;
  const char* data;     // "<dir>" stands for an existing folder
  const char* modules;  // likewise
  bool built;
};

// "<dir>" is the test's folder; "<dir>/..." a path below it.
std::string Resolve(const char* text, const std::string& dir) {
  if (text == nullptr) return "";
  constexpr std::string_view kDir = "<dir>";
  const std::string_view view(text);
  return view.substr(0, kDir.size()) == kDir ? dir + std::string(view.substr(kDir.size())) : text;
}

TEST(ContextStartUp, FolderArgumentsDecideWhetherAContextIsBuilt) {
  ASSERT_TRUE(Library().loaded()) << Library().error();
  TempDir dir;
  const InitCase cases[] = {
      {"both folders", "<dir>", "<dir>", true},
      {"empty data folder", "", "<dir>", false},
      {"empty modules folder", "<dir>", "", false},
      {"null data folder", nullptr, "<dir>", false},
      {"null modules folder", "<dir>", nullptr, false},
      {"folders that need not exist yet", "<dir>/absent/data", "<dir>/absent/modules", true},
  };
  for (const InitCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string data = Resolve(c.data, dir.path().string());
    const std::string modules = Resolve(c.modules, dir.path().string());
    UPDATER_CONTEXT* context =
        LIB(UpdInitialize2)(c.data ? data.c_str() : nullptr, c.modules ? modules.c_str() : nullptr,
                            nullptr, nullptr, 7);
    EXPECT_EQ(context != nullptr, c.built);
    LIB(UpdUninitialize)(context);
  }
}

// A data folder whose "updfiles/lastupd_dylib.ver" would not fit a path
// buffer is refused: cut, the update folder would name another folder,
// whose files the library deletes.
TEST(ContextStartUp, FoldersThatDoNotFitAPathBufferAreRefused) {
  ASSERT_TRUE(Library().loaded()) << Library().error();
  const std::string fits = "/" + std::string(UPD_PATH_SIZE - 1 - 28, 'd');
  const std::string too_long = fits + "d";
  UPDATER_CONTEXT* context = LIB(UpdInitialize)(fits.c_str(), "/m", nullptr, nullptr);
  EXPECT_NE(context, nullptr);
  LIB(UpdUninitialize)(context);
  EXPECT_EQ(LIB(UpdInitialize)(too_long.c_str(), "/m", nullptr, nullptr), nullptr);
  const std::string modules(UPD_PATH_SIZE - 1, 'm');
  EXPECT_EQ(LIB(UpdInitialize)("/d", modules.c_str(), nullptr, nullptr), nullptr);
  EXPECT_EQ(LIB(UpdInitialize3)("/d", "/m", modules.c_str(), nullptr, nullptr, 0), nullptr);
}

TEST(ContextStartUp, InitialisationRecordNeedsItsFolders) {
  ASSERT_TRUE(Library().loaded()) << Library().error();
  TempDir dir;
  const std::string folder = dir.path().string();
  EXPECT_EQ(LIB(UpdInitialize4)(nullptr), nullptr);
  UPDATER_INIT_PARAMS params{};
  params.cbSize = sizeof params;
  params.modulesFolder = folder.c_str();
  params.dataFolder = folder.c_str();
  EXPECT_EQ(LIB(UpdInitialize4)(&params), nullptr) << "the engine folder is required";
  EXPECT_EQ(LIB(UpdInitialize3)(folder.c_str(), folder.c_str(), nullptr, nullptr, nullptr, 0),
            nullptr);
  params.engineFolder = folder.c_str();
  params.hostString32 = "host word text that is longer than thirty-one characters";
  params.hostWord = 5;
  UPDATER_CONTEXT* context = LIB(UpdInitialize4)(&params);
  EXPECT_NE(context, nullptr);
  LIB(UpdUninitialize)(context);
  LIB(UpdUninitialize)(nullptr);
}

using ContextTest = LibraryFixture;

TEST_F(ContextTest, TimesRoundTripThroughTheSettingsStore) {
  EXPECT_EQ(LIB(UpdGetUpdateLastTime)(nullptr), kUnknownTime);
  EXPECT_EQ(LIB(UpdGetUpdateLastAttemptTime)(nullptr), kUnknownTime);

  WriteFile(StorePath(), "[Settings]\r\nLastUpdate=1000\r\nLastUpdateAttempt=900\r\n");
  LIB(UpdLoadUpdateAttemptTime)(context_, host_.settings());
  EXPECT_EQ(LIB(UpdGetUpdateLastTime)(context_), 1000u);
  EXPECT_EQ(LIB(UpdGetUpdateLastAttemptTime)(context_), 900u);

  WriteFile(StorePath(), "[Settings]\r\nOther=1\r\n");
  LIB(UpdLoadUpdateAttemptTime)(context_, host_.settings());
  EXPECT_EQ(LIB(UpdGetUpdateLastTime)(context_), kUnknownTime);
  EXPECT_EQ(LIB(UpdGetUpdateLastAttemptTime)(context_), kUnknownTime);

  const auto before = static_cast<uint64_t>(time(nullptr));
  LIB(UpdSaveUpdateAttemptTime)(context_, host_.settings());
  const uint64_t saved = LIB(UpdGetUpdateLastTime)(context_);
  EXPECT_GE(saved, before);
  EXPECT_EQ(LIB(UpdGetUpdateLastAttemptTime)(context_), saved);
  const std::string store = ReadFile(StorePath());
  EXPECT_NE(store.find("Other=1"), std::string::npos);
  EXPECT_NE(store.find("LastUpdate=" + std::to_string(saved) + "\r\n"), std::string::npos);
  EXPECT_NE(store.find("LastUpdateAttempt=" + std::to_string(saved) + "\r\n"), std::string::npos);
}

TEST_F(ContextTest, TimesWithoutAStoreChangeNothing) {
  WriteFile(StorePath(), "[Settings]\r\nLastUpdate=1000\r\nLastUpdateAttempt=900\r\n");
  LIB(UpdLoadUpdateAttemptTime)(context_, host_.settings());
  // A location without "file://" names no store.
  std::strcpy(host_.settings()->settingsStore, StorePath().c_str());
  LIB(UpdSaveUpdateAttemptTime)(context_, host_.settings());
  LIB(UpdLoadUpdateAttemptTime)(context_, host_.settings());
  EXPECT_EQ(LIB(UpdGetUpdateLastTime)(context_), 1000u);
  LIB(UpdLoadUpdateAttemptTime)(context_, nullptr);
  LIB(UpdSaveUpdateAttemptTime)(nullptr, host_.settings());
  EXPECT_EQ(LIB(UpdGetUpdateLastAttemptTime)(context_), 900u);
  EXPECT_NE(ReadFile(StorePath()).find("LastUpdateAttempt=900"), std::string::npos);
}

TEST_F(ContextTest, StoreLocationFilledToItsLastByteIsReadWithinTheField) {
  WriteFile(StorePath(), "[Settings]\r\nLastUpdate=1000\r\n");
  // No NUL in the field: the location ends with it, an empty path. Read on
  // into the next field, it would name the store written above.
  UPDATER_SETTINGS* settings = host_.settings();
  std::memset(settings->settingsStore, 'x', sizeof settings->settingsStore);
  std::memcpy(settings->settingsStore + sizeof settings->settingsStore - 7, "file://", 7);
  std::strcpy(settings->settingsStore2, StorePath().c_str());
  LIB(UpdLoadUpdateAttemptTime)(context_, settings);
  EXPECT_NE(LIB(UpdGetUpdateLastTime)(context_), 1000u);
}

TEST_F(ContextTest, UpdateHashIsQueriedThenCopied) {
  const std::string hash = "0123456789ABCDEF0123456789abcdef01234567";
  fs::create_directories(Data() + "/updfiles");
  WriteFile(UpdateFile("lastupd.ver"), "[UP_HASH]\r\nhash=" + hash + "\r\n");
  const auto retrieve = LIB(UpdRetrieveUpdateHash);

  uint64_t size = 0;
  EXPECT_EQ(retrieve(context_, nullptr, &size), 0x1301u);
  EXPECT_EQ(size, hash.size() + 1);

  uint8_t buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  size = hash.size();
  EXPECT_EQ(retrieve(context_, buffer, &size), 2u) << "one byte short";
  EXPECT_EQ(size, hash.size());
  EXPECT_EQ(buffer[0], 'x');

  size = hash.size() + 1;
  EXPECT_EQ(retrieve(context_, buffer, &size), 0u);
  EXPECT_EQ(size, hash.size());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer)), hash);
  EXPECT_EQ(buffer[hash.size() + 1], 'x');

  EXPECT_EQ(retrieve(nullptr, buffer, &size), 0x1301u);
  EXPECT_EQ(retrieve(context_, buffer, nullptr), 0x1301u);
}

TEST_F(ContextTest, MissingUpdateHashReportsSizeZero) {
  const char* contents[] = {nullptr, "", "[UP_HASH]\r\nhash=\r\n", "[OTHER]\r\nhash=12\r\n"};
  int index = 0;
  for (const char* content : contents) {
    SCOPED_TRACE(content != nullptr ? content : "no file");
    // Each case on a data folder of its own: the library caches what it read.
    const std::string data = dir_.file("data" + std::to_string(index++));
    fs::create_directories(data + "/updfiles");
    if (content != nullptr) WriteFile(data + "/updfiles/lastupd.ver", content);
    UPDATER_CONTEXT* context =
        LIB(UpdInitialize)(data.c_str(), Modules().c_str(), nullptr, nullptr);
    uint8_t buffer[64];
    uint64_t size = sizeof buffer;
    EXPECT_EQ(LIB(UpdRetrieveUpdateHash)(context, buffer, &size), 0x2202u);
    EXPECT_EQ(size, 0u);
    size = 7;
    EXPECT_EQ(LIB(UpdRetrieveUpdateHash)(context, nullptr, &size), 0x2202u);
    EXPECT_EQ(size, 0u);
    LIB(UpdUninitialize)(context);
  }
}

TEST_F(ContextTest, CleanupDeletesTheStagingFolderAndOldModulesInPhaseSeven) {
  fs::create_directories(Modules() + "/Modules/em001.d");
  WriteFile(Modules() + "/Modules/em001.d/em001.dat", "x");
  WriteFile(Modules() + "/em001.dat.old", "x");
  WriteFile(Modules() + "/em017.dat.old", "x");
  WriteFile(Modules() + "/em001.dat", "x");
  EXPECT_EQ(LIB(UpdCleanupModules)(context_, host_.settings()), 0u);
  EXPECT_FALSE(fs::exists(Modules() + "/Modules"));
  EXPECT_FALSE(fs::exists(Modules() + "/em001.dat.old"));
  EXPECT_FALSE(fs::exists(Modules() + "/em017.dat.old"));
  EXPECT_TRUE(fs::exists(Modules() + "/em001.dat"));

  const auto phases = host_.EventsOf(UPD_EVENT_PHASE);
  ASSERT_EQ(phases.size(), 2u);
  EXPECT_EQ(phases[0].As<uint32_t>(), UPD_PHASE_FINISHING);
  EXPECT_EQ(phases[1].As<uint32_t>(), UPD_PHASE_IDLE);
  EXPECT_EQ(phases[0].user, host_.settings()->userData);
}

TEST_F(ContextTest, CleanupFromInsideItsOwnPhaseEventAnswersBusyAtOnce) {
  fs::create_directories(Modules() + "/Modules");
  UPD_ERROR inner = 0;
  int calls = 0;
  host_.OnEvent(UPD_EVENT_PHASE, [&](uint32_t, void* data) {
    if (*static_cast<uint32_t*>(data) == UPD_PHASE_FINISHING && calls++ == 0) {
      inner = LIB(UpdCleanupModules)(context_, host_.settings());
    }
    return 0u;
  });
  EXPECT_EQ(LIB(UpdCleanupModules)(context_, host_.settings()), 0u);
  EXPECT_EQ(inner, 0x1001u);
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_PHASE).size(), 2u) << "the refused call changed no phase";
}

TEST_F(ContextTest, MicroPackageCheckEmptiesItsResultAndAnswersNotSupported) {
  UPD_MICRO_PCU_PARAMS params{};
  params.context = context_;
  params.settings = host_.settings();
  UPD_MICRO_PCU_RESULT result{};
  result.cbSize = 71;
  EXPECT_EQ(LIB(UpdCheckLastMicroPCU2)(&params, &result), 2u);

  // A host string with text on the heap of the host's allocator.
  char block[64] = "a text longer than fifteen bytes";
  result.cbSize = 200;
  result.text.heapText = block;
  result.text.length = std::strlen(block);
  result.text.capacity = sizeof block - 1;
  EXPECT_EQ(LIB(UpdCheckLastMicroPCU2)(&params, &result), 3u);
  EXPECT_EQ(result.cbSize, sizeof(UPD_MICRO_PCU_RESULT));
  EXPECT_EQ(uint64_t{result.text.length}, 0u);
  EXPECT_EQ(uint64_t{result.text.capacity}, sizeof block - 1) << "the block is kept";
  const char* text = result.text.heapText;
  EXPECT_EQ(text, block);
  EXPECT_EQ(block[0], '\0');
}

}  // namespace
}  // namespace upd::test
