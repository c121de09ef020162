#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "library_fixture.h"

namespace upd::test {
namespace {

using namespace std::chrono_literals;

// Conditions an entry check may meet; a scenario holds any set of them.
enum Condition : uint32_t {
  kNullContext = 1,
  kNullSettings = 2,
  kNoCallback = 4,
  kBusy = 8,  // another call on the context is in progress (its phase is not 0)
  kStopped = 16,
};
constexpr uint32_t kAllConditions = 31;

struct Check {
  Condition condition;
  UPD_ERROR code;
};

using Call = std::function<UPD_ERROR(UPDATER_CONTEXT*, const UPDATER_SETTINGS*)>;

struct EntryRow {
  const char* name;
  std::vector<Check> checks;  // in the order the export makes them
  // The answer once every check passes; none for an export whose work
  // belongs to a later part of the library (any code but a check's).
  std::optional<UPD_ERROR> passes;
  Call call;
};

constexpr Check kContext{kNullContext, 0x3001};
constexpr Check kSettings{kNullSettings, 0x3304};
constexpr Check kCallback{kNoCallback, 0x3305};
constexpr Check kBusyCheck{kBusy, 0x1001};
constexpr Check kStop{kStopped, 0x2107};

const std::set<UPD_ERROR> kCheckCodes = {0x3001, 0x3304, 0x3305, 0x1001, 0x2107};

std::vector<EntryRow> Rows() {
  return {
      {"UpdCleanupModules",
       {kContext, kSettings, kCallback, kBusyCheck},
       0x1021,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) { return LIB(UpdCleanupModules)(c, s); }},
      {"UpdGetScannerVersionEx2",
       {kContext, kSettings, kCallback},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         uint32_t build = 0;
         char version[64];
         return LIB(UpdGetScannerVersionEx2)(c, s, &build, version, sizeof version);
       }},
      {"UpdPerformUpdate",
       {kContext, kSettings, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         return LIB(UpdPerformUpdate)(c, s, nullptr);
       }},
      {"UpdDownloadVERFile",
       {kContext, kSettings, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) { return LIB(UpdDownloadVERFile)(c, s); }},
      {"UpdSwitchUpdateGroup",
       {kContext, kSettings, kCallback, kBusyCheck, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         return LIB(UpdSwitchUpdateGroup)(c, s, "Release", 1);
       }},
      {"UpdSwitchModulesType",
       {kContext, kSettings, kCallback, kBusyCheck, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         return LIB(UpdSwitchModulesType)(c, s, 0);
       }},
      {"UpdPerformMirror",
       {kContext, kSettings, kCallback, kBusyCheck, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) { return LIB(UpdPerformMirror)(c, s); }},
      {"UpdCopyPcusToMirror",
       {kContext, kSettings},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         return LIB(UpdCopyPcusToMirror)(c, s);
       }},
      {"UpdBackupCreateSnapshot2",
       {kContext, kSettings, kCallback},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         return LIB(UpdBackupCreateSnapshot2)(c, s);
       }},
      {"UpdGetPicoUpdates",
       {kContext, kSettings, kCallback},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         const UPD_PICO_PARAMS params{0, 0, c, s, 0, 0};
         UPD_PICO_LIST_RESULT result{};
         result.cbSize = sizeof result;
         return LIB(UpdGetPicoUpdates)(&params, &result);
       }},
      {"UpdPerformPicoUpdate",
       {kContext, kSettings, kCallback, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         const UPD_PICO_PARAMS params{0, 0, c, s, 0, 1};
         UPD_PICO_UPDATE_RESULT result{sizeof result};
         return LIB(UpdPerformPicoUpdate)(&params, &result);
       }},
      {"UpdCheckForAppUpdate",
       {kContext, kSettings, kCallback, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         APP_UPDATE_CHECK_PARAMS params{};
         params.context = c;
         params.settings = s;
         APP_UPDATE_CHECK_RESULT result{};
         result.cbSize = sizeof result;
         return LIB(UpdCheckForAppUpdate)(&params, &result);
       }},
      {"UpdPerformAppUpdate3",
       {kContext, kSettings, kCallback, kStop},
       std::nullopt,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         APP_UPDATE_PARAMS params{};
         params.context = c;
         params.settings = s;
         APP_UPDATE_RESULT result{};
         result.cbSize = sizeof result;
         return LIB(UpdPerformAppUpdate3)(&params, &result);
       }},
      {"UpdCheckLastMicroPCU2",
       {kContext, kSettings, kCallback},
       3,
       [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
         const UPD_MICRO_PCU_PARAMS params{0, 0, c, s};
         UPD_MICRO_PCU_RESULT result{};
         result.cbSize = sizeof result;
         return LIB(UpdCheckLastMicroPCU2)(&params, &result);
       }},
  };
}

std::string Describe(uint32_t conditions) {
  static const char* const names[] = {"null context", "null settings", "no callback", "busy",
                                      "stopped"};
  std::string text;
  for (int bit = 0; bit < 5; ++bit) {
    if ((conditions & (1u << bit)) != 0) text += std::string(text.empty() ? "" : ", ") + names[bit];
  }
  return text.empty() ? "nothing" : text;
}

class EntryChecks : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    // A context with a pico folder: without one the pico exports refuse at once.
    LIB(UpdUninitialize)(context_);
    const std::string modules = Modules(), data = Data(), pico = dir_.file("pico");
    UPDATER_INIT_PARAMS params{};
    params.modulesFolder = params.engineFolder = modules.c_str();
    params.dataFolder = data.c_str();
    params.picoFolder = pico.c_str();
    context_ = LIB(UpdInitialize4)(&params);
    ASSERT_NE(context_, nullptr);
    host_.mirror_settings()->enabled = 1;
    no_callback_ = *host_.settings();
    no_callback_.eventCallback = nullptr;
  }

  // Runs the call with the conditions in place; a busy context is one whose
  // UpdCleanupModules is raising its phase event.
  UPD_ERROR Run(const Call& call, uint32_t conditions) {
    UPDATER_CONTEXT* context = (conditions & kNullContext) != 0 ? nullptr : context_;
    const UPDATER_SETTINGS* settings = (conditions & kNullSettings) != 0 ? nullptr
                                       : (conditions & kNoCallback) != 0 ? &no_callback_
                                                                         : host_.settings();
    if ((conditions & kStopped) != 0) LIB(UpdStopUpdates)(context_);
    UPD_ERROR result = 0;
    if ((conditions & kBusy) != 0) {
      bool called = false;
      host_.OnEvent(UPD_EVENT_PHASE, [&](uint32_t, void* data) {
        if (!called && *static_cast<uint32_t*>(data) != UPD_PHASE_IDLE) {
          called = true;
          result = call(context, settings);
        }
        return 0u;
      });
      LIB(UpdCleanupModules)(context_, host_.settings());
      host_.Answer(UPD_EVENT_PHASE, 0);
      EXPECT_TRUE(called);
    } else {
      result = call(context, settings);
    }
    LIB(UpdResetUpdate)(context_);
    return result;
  }

  UPDATER_SETTINGS no_callback_{};
};

// Every combination of failing conditions: the export answers the code of
// the first check that fails in its order, and only when all pass it works.
TEST_F(EntryChecks, FirstFailingCheckAnswersInTheExportsOrder) {
  for (const EntryRow& row : Rows()) {
    for (uint32_t conditions = 0; conditions <= kAllConditions; ++conditions) {
      SCOPED_TRACE(std::string(row.name) + " with " + Describe(conditions));
      const UPD_ERROR result = Run(row.call, conditions);
      std::optional<UPD_ERROR> refused;
      for (const Check& check : row.checks) {
        if ((conditions & check.condition) != 0) {
          refused = check.code;
          break;
        }
      }
      if (refused) {
        EXPECT_EQ(result, *refused);
      } else if (row.passes) {
        EXPECT_EQ(result, *row.passes);
      } else {
        EXPECT_EQ(kCheckCodes.count(result), 0u)
            << "answered a check's code 0x" << std::hex << result;
      }
    }
  }
}

TEST_F(EntryChecks, MirrorRecordIsCheckedBeforeTheBusyTest) {
  MIRROR_SETTINGS* mirror = host_.mirror_settings();
  const auto perform = [](UPDATER_CONTEXT* c, const UPDATER_SETTINGS* s) {
    return LIB(UpdPerformMirror)(c, s);
  };
  struct {
    const char* name;
    std::function<void()> change;
    UPD_ERROR code;
  } cases[] = {
      {"no mirror record", [&] { host_.settings()->mirrorSettings = nullptr; }, 0x3303},
      {"no mirror callback", [&] { mirror->callback = nullptr; }, 0x3306},
      {"mirror disabled", [&] { mirror->enabled = 0; }, 0x5003},
      {"unknown mirror type", [&] { mirror->mirrorType = 4; }, 0x2301},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const MIRROR_SETTINGS saved = *mirror;
    c.change();
    EXPECT_EQ(Run(perform, kBusy | kStopped), c.code);
    *mirror = saved;
    host_.settings()->mirrorSettings = mirror;
  }
}

TEST_F(EntryChecks, ScannerVersionWantsItsOutputsAfterTheEntryChecks) {
  uint32_t build = 7;
  char version[16] = "x";
  const auto get = LIB(UpdGetScannerVersionEx2);
  EXPECT_EQ(get(context_, host_.settings(), nullptr, version, sizeof version), 0x2301u);
  EXPECT_EQ(get(context_, host_.settings(), &build, nullptr, sizeof version), 0x2301u);
  EXPECT_EQ(get(context_, host_.settings(), &build, version, 0), 0x2301u);
  EXPECT_EQ(get(context_, &no_callback_, &build, nullptr, 0), 0x3305u);
  EXPECT_EQ(build, 7u);
}

// Null arguments never crash an export; each answers its code for them.
TEST_F(EntryChecks, NullArgumentsAreAnswered) {
  UPDATER_SETTINGS* settings = host_.settings();
  LIB(UpdAbortUpdate)(nullptr);
  LIB(UpdStopUpdates)(nullptr);
  LIB(UpdResetUpdate)(nullptr);
  uint64_t size = 0;
  UPD_DOWNLOAD_NUPS_PARAMS nups{};
  nups.settings = settings;
  UPD_DOWNLOAD_NUPS_RESULT nups_result{};
  const struct {
    const char* name;
    uint32_t answer;
    uint32_t expected;
  } cases[] = {
      {"delete servers without context", LIB(UpdDeleteDefaultServers)(nullptr, settings), 0},
      {"delete servers without settings", LIB(UpdDeleteDefaultServers)(context_, nullptr), 0},
      {"mirror test without settings", LIB(UpdIsMirrorUpdateUrl)(nullptr), 0},
      {"catalogue without context", LIB(UpdDownloadVERFile)(nullptr, settings), 0x3001},
      {"catalogue without settings", LIB(UpdDownloadVERFile)(context_, nullptr), 0x3304},
      {"hash without size", LIB(UpdRetrieveUpdateHash)(context_, nullptr, nullptr), 0x1301},
      {"pico list without parameters", LIB(UpdGetPicoUpdates)(nullptr, nullptr), 0x3001},
      {"pico update without parameters", LIB(UpdPerformPicoUpdate)(nullptr, nullptr), 0x3001},
      {"app check without parameters", LIB(UpdCheckForAppUpdate)(nullptr, nullptr), 0x3001},
      {"app update without parameters", LIB(UpdPerformAppUpdate3)(nullptr, nullptr), 0x3001},
      {"micro check without parameters", LIB(UpdCheckLastMicroPCU2)(nullptr, nullptr), 0x3001},
      {"full mirror without settings", LIB(UpdPerformFullMirror)(nullptr), 0x3304},
      {"rollback without context", LIB(UpdBackupRollback)(nullptr, 0), 0x3001},
      {"unblock without context", LIB(UpdBackupUnblockUpdate)(nullptr), 0x1301},
      {"blocked test without context", LIB(UpdBackupIsUpdateBlocked)(nullptr, nullptr), 0},
      {"snapshot count without context",
       static_cast<uint32_t>(LIB(UpdBackupGetStoredSnapshotsCount)(nullptr)), 0xFFFFFFFF},
      {"all packages without context",
       static_cast<uint32_t>(LIB(UpdGetAllPCUs)(nullptr, nullptr, 0)), 0x3001},
      {"package download without parameters", LIB(UpdDownloadNups)(nullptr, nullptr), 0x3304},
      {"package download without folders", LIB(UpdDownloadNups)(&nups, &nups_result), 0x2301},
      {"package list without size", LIB(UpdGetListPCUInTempFolder)("/d", nullptr, nullptr), 0x2301},
      {"package list Ex without folder", LIB(UpdGetListPCUInTempFolderEx)(nullptr, nullptr, &size),
       0x1301},
      {"package list ExEx without filter",
       LIB(UpdGetListPcuInTempFolderExEx)("/d", nullptr, nullptr, &size), 0x1301},
      {"agreement without package", LIB(UpdChangeEULAStatusAsAgreed)(""), 0x1301},
      {"modules type unknown", LIB(UpdSwitchModulesType)(nullptr, nullptr, 3), 0x1301},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.answer, c.expected) << c.name;
  }
}

TEST_F(EntryChecks, ResultRecordsTooSmallAreRefused) {
  APP_UPDATE_CHECK_PARAMS check{};
  check.context = context_;
  check.settings = host_.settings();
  APP_UPDATE_CHECK_RESULT check_result{};
  check_result.cbSize = 35;
  EXPECT_EQ(LIB(UpdCheckForAppUpdate)(&check, &check_result), 2u);
  APP_UPDATE_PARAMS update{};
  update.context = context_;
  update.settings = host_.settings();
  APP_UPDATE_RESULT update_result{};
  update_result.cbSize = 327;
  EXPECT_EQ(LIB(UpdPerformAppUpdate3)(&update, &update_result), 2u);
  UPD_DOWNLOAD_NUPS_PARAMS nups{};
  nups.settings = host_.settings();
  nups.dataFolder = "/d";
  nups.groups = "engine";
  UPD_DOWNLOAD_NUPS_RESULT nups_result{};
  nups_result.cbSize = 35;
  EXPECT_EQ(LIB(UpdDownloadNups)(&nups, &nups_result), 2u);
}

TEST_F(EntryChecks, UnsupportedExportsAnswerThree) {
  const std::pair<const char*, UPD_ERROR (*)()> stubs[] = {
      {"UpdGetScannerVersion", LIB(UpdGetScannerVersion)},
      {"UpdGetScannerVersionEx", LIB(UpdGetScannerVersionEx)},
      {"UpdSetupEngines", LIB(UpdSetupEngines)},
      {"UpdSetupEngines2", LIB(UpdSetupEngines2)},
      {"UpdCopyPCUs2Mirror", LIB(UpdCopyPCUs2Mirror)},
      {"UpdRunSetup", LIB(UpdRunSetup)},
      {"UpdExtractEULAFromNUP", LIB(UpdExtractEULAFromNUP)},
      {"UpdBackupCreateSnapshot", LIB(UpdBackupCreateSnapshot)},
  };
  for (const auto& [name, stub] : stubs) EXPECT_EQ(stub(), 3u) << name;
}

TEST_F(EntryChecks, StopRefusesWorkUntilReset) {
  uint32_t flags = 0xDEAD;
  LIB(UpdStopUpdates)(context_);
  EXPECT_EQ(LIB(UpdPerformUpdate)(context_, host_.settings(), &flags), 0x2107u);
  EXPECT_EQ(LIB(UpdPerformUpdate)(context_, host_.settings(), &flags), 0x2107u);
  EXPECT_EQ(flags, 0xDEADu);
  // Exports that do not test the stop flag still work.
  EXPECT_EQ(LIB(UpdCleanupModules)(context_, host_.settings()), 0x1021u);
  LIB(UpdResetUpdate)(context_);
  EXPECT_NE(LIB(UpdPerformUpdate)(context_, host_.settings(), &flags), 0x2107u);
}

// While a working export holds the context lock, the control calls from
// another thread return without waiting for it, and a second working call
// waits until the first one is done.
TEST_F(EntryChecks, ControlCallsTakeNoLockWhileWorkWaits) {
  std::future<void> control;
  std::future<UPD_ERROR> second;
  bool second_waited = false;
  host_.OnEvent(UPD_EVENT_PHASE, [&](uint32_t, void* data) {
    if (*static_cast<uint32_t*>(data) != UPD_PHASE_FINISHING || control.valid()) return 0u;
    control = std::async(std::launch::async, [this] {
      LIB(UpdAbortUpdate)(context_);
      LIB(UpdStopUpdates)(context_);
    });
    EXPECT_EQ(control.wait_for(30s), std::future_status::ready) << "a control call waited";
    second = std::async(std::launch::async, [this] {
      return LIB(UpdPerformUpdate)(context_, host_.settings(), nullptr);
    });
    // Time for a call that did not wait for the lock to come back.
    second_waited = second.wait_for(200ms) == std::future_status::timeout;
    return 0u;
  });
  EXPECT_EQ(LIB(UpdCleanupModules)(context_, host_.settings()), 0x1021u);
  EXPECT_TRUE(second_waited);
  ASSERT_TRUE(second.valid());
  EXPECT_EQ(second.get(), 0x2107u) << "the stop from the other thread took effect";
}

}  // namespace
}  // namespace upd::test
