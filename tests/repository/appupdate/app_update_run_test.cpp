#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "platform/store/settings_store.h"
#include "repository/appupdate/app_update_run_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr UPD_ERROR kHostInstalling = 0x5008;
constexpr UPD_ERROR kAgreementRequired = 0x500B;
constexpr UPD_ERROR kNothingToDo = 0x500C;

class AppUpdateRunTest : public AppRunFixture {};

uint32_t StoredNumber(const std::string& store_path, const char* key) {
  SETTINGS_STORE* store = SettingsStoreOpen(("file://" + store_path).c_str(), 1, nullptr);
  EXPECT_NE(store, nullptr);
  uint32_t value = 0;
  EXPECT_TRUE(SettingsStoreGetDword(store, key, &value)) << key;
  SettingsStoreClose(store);
  return value;
}

TEST_F(AppUpdateRunTest, ThePackageGoesToTheHostCheckedAndIsDeletedAfterTheEvent) {
  Resource package = Package();
  package.extra = R"(, "changelog": "notes")";
  Publish(kProduct, {package}, R"(, "notes": {"document": {"path": "notes/1.0.0.5.html"}})");
  std::string handed;
  bool present_during_event = false;
  host_.OnEvent(UPD_EVENT_INSTALL_PACKAGE, [&](uint32_t, void* data) {
    handed = static_cast<UPD_INSTALL_PACKAGE_EVENT*>(data)->packagePath;
    present_during_event = ReadFile(handed) == package.content;
    return 0u;
  });
  AppRunCall call(allocator_);
  const uint32_t start = static_cast<uint32_t>(std::time(nullptr));
  ASSERT_EQ(Run(call), kUpdOk);
  const uint32_t end = static_cast<uint32_t>(std::time(nullptr));

  EXPECT_EQ(call.result.outcome, 1u);
  EXPECT_EQ(call.Steps(), (Steps{{0, 1}}));
  EXPECT_EQ(Text(call.result.changelogUrl), web_.Url("/repo/suite/home/notes/1.0.0.5.html"));
  EXPECT_TRUE(present_during_event);
  EXPECT_EQ(fs::path(handed).parent_path(), fs::path(TempFolder()));
  EXPECT_EQ(fs::path(handed).filename().string().rfind("PCU", 0), 0u) << handed;
  EXPECT_FALSE(fs::exists(handed)) << "the package is deleted once the host returns";
  EXPECT_TRUE(TempFiles().empty());

  const std::vector<uint32_t> events = EventNumbers();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), UPD_EVENT_PHASE);
  EXPECT_EQ(events.back(), UPD_EVENT_PHASE);
  EXPECT_EQ(Phases(), (std::vector<uint32_t>{6, 0}));
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_INSTALL_PACKAGE).size(), 1u);
  const uint32_t stored = StoredNumber(StorePath(), "LastAppUpdateAttempt");
  EXPECT_GE(stored, start);
  EXPECT_LE(stored, end);
}

TEST_F(AppUpdateRunTest, OnlyTheHostsGoingOnWithTheInstallKeepsThePhase) {
  struct Case {
    UPD_ERROR answer;
    uint32_t phase_after;
  };
  const Case cases[] = {{kHostInstalling, 6}, {0x1301, 0}, {0x4001, 0}};
  Publish(kProduct, {Package()});
  for (const Case& c : cases) {
    host_.Clear();
    host_.Answer(UPD_EVENT_INSTALL_PACKAGE, c.answer);
    AppRunCall call(allocator_);
    EXPECT_EQ(Run(call), c.answer);
    EXPECT_EQ(call.Steps(), (Steps{{c.answer, 1}}));
    EXPECT_EQ(context_->phase.load(), c.phase_after) << std::hex << c.answer;
    LIB(UpdResetUpdate)(context_);
    EXPECT_EQ(context_->phase.load(), 0u);
  }
}

// The agreement of the package has a document the user has not seen.
class AppUpdateAgreementTest : public AppUpdateRunTest {
 protected:
  void SetUp() override {
    AppUpdateRunTest::SetUp();
    Resource package = Package();
    package.extra = R"(, "eula": "terms")";
    Publish(kProduct, {package},
            R"(, "terms": {"collection": {"id": "terms", "path": "eula/2026", "format": 322,)"
            R"( "hash": "AGR-1", "version": "3.1.0", "tags": ["suite-terms"]}})");
    web_.PutFile("repo/suite/pkg/eula/2026/manifest.erm",
                 R"([{"document": {"format": 136, "language": ["en_US"], "path": "en.html",)"
                 R"( "hash": "DOC-EN", "effective_date": "2026-03-01"}}])");
  }
};

TEST_F(AppUpdateAgreementTest, ANewAgreementStopsTheRunWithItsDocument) {
  AppRunCall call(allocator_);
  EXPECT_EQ(Run(call), kAgreementRequired);
  EXPECT_EQ(call.result.agreementLevel, 4u);
  EXPECT_EQ(Text(call.result.agreementName), "suite-terms");
  EXPECT_EQ(Text(call.result.agreementVersion), "3.1.0");
  EXPECT_EQ(Text(call.result.agreementHash), "AGR-1");
  EXPECT_EQ(Text(call.result.documentHash), "DOC-EN");
  EXPECT_EQ(Text(call.result.documentUrl), web_.Url("/repo/suite/pkg/eula/2026/en.html"));
  EXPECT_EQ(Text(call.result.effectiveDate), "2026-03-01");
  EXPECT_EQ(call.Steps(), (Steps{{kAgreementRequired, 1}, {kAgreementRequired, 2}}));
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_INSTALL_PACKAGE).empty());
  EXPECT_EQ(Phases(), (std::vector<uint32_t>{6, 0}));
}

TEST_F(AppUpdateAgreementTest, TheSkipFlagInstallsWithoutAskingForTheAgreement) {
  AppRunCall call(allocator_);
  call.params.skipAgreementCheck = 1;
  EXPECT_EQ(Run(call), kUpdOk);
  EXPECT_EQ(call.result.outcome, 1u);
  EXPECT_EQ(Text(call.result.documentUrl), "");
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_INSTALL_PACKAGE).size(), 1u);
}

TEST_F(AppUpdateRunTest, AnApplicationPackageIsTheHostsToTake) {
  Resource application = Package();
  application.format = 9;
  application.extra = R"(, "update": {"level": 1})";
  Publish(kProduct, {application});
  AppRunCall call(allocator_);
  EXPECT_EQ(Run(call), kUpdNotSupported);
  EXPECT_EQ(call.result.outcome, 2u);
  EXPECT_EQ(call.Steps(), (Steps{{kUpdNotSupported, 2}}));
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_INSTALL_PACKAGE).empty());
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(AppUpdateRunTest, NothingOfferedReportsEveryRequestedStep) {
  struct Case {
    bool skip;
    bool product;
    bool agreement;
    Steps steps;
  };
  const Case cases[] = {
      {false, false, false, {{kNothingToDo, 1}, {kNothingToDo, 2}}},
      {true, true, false, {{kNothingToDo, 4}}},
      {false, true, true, {{kNothingToDo, 1}, {kNothingToDo, 2}, {kNothingToDo, 4}, {kNothingToDo, 8}}},
  };
  Publish(kProduct, {});
  for (const Case& c : cases) {
    PackageProductList products;
    if (c.product) AddProduct(products, "none", dir_.file("installed/none.bin"));
    AppRunCall call(allocator_);
    call.params.skipApplication2 = c.skip ? 1 : 0;
    call.params.products = *products.Array();
    if (c.agreement) SetHostText(call.params.agreementProduct, "suite.eula");
    EXPECT_EQ(Run(call), kNothingToDo);
    EXPECT_EQ(call.Steps(), c.steps);
    EXPECT_EQ(call.result.outcome, 0u);
  }
}

TEST_F(AppUpdateRunTest, ProductPackagesAreMovedIntoPlace) {
  const std::string a_content = "tools a 1.0.0.5";
  const std::string b_content = "tools b 1.0.0.5";
  Publish("tools.a", {ProductPackage("a", a_content)});
  Publish("tools.b", {ProductPackage("b", b_content)});
  Publish(kProduct, {});
  const std::string a_path = dir_.file("installed/a/a.bin");
  const std::string b_path = dir_.file("installed/b/new/b.bin");  // folder made by the run
  fs::create_directories(fs::path(a_path).parent_path());
  WriteFile(a_path, "tools a 1.0.0.0");
  PackageProductList products;
  AddProduct(products, "a", a_path);
  AddProduct(products, "b", b_path);
  AddProduct(products, "unlisted", dir_.file("installed/u.bin"));
  AppRunCall call(allocator_);
  call.params.skipApplication = 1;
  call.params.products = *products.Array();
  ASSERT_EQ(Run(call), kUpdOk);
  EXPECT_EQ(ReadFile(a_path), a_content);
  EXPECT_EQ(ReadFile(b_path), b_content);
  EXPECT_FALSE(fs::exists(dir_.file("installed/u.bin")));
  EXPECT_EQ(call.result.outcome, 4u);
  EXPECT_EQ(call.Steps(), (Steps{{0, 4}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(a_path).parent_path()),
                          fs::directory_iterator()),
            1)
      << "no temporary file stays beside the product";
}

TEST_F(AppUpdateRunTest, EntryChecksAndTheStopFlag) {
  AppRunCall call(allocator_);
  EXPECT_EQ(LIB(UpdPerformAppUpdate3)(nullptr, &call.result), 0x3001u);
  call.params.context = context_;
  call.params.settings = host_.settings();
  EXPECT_EQ(LIB(UpdPerformAppUpdate3)(&call.params, nullptr), kUpdResultTooSmall);
  call.result.cbSize = 327;
  EXPECT_EQ(LIB(UpdPerformAppUpdate3)(&call.params, &call.result), kUpdResultTooSmall);
  call.result.cbSize = 328;
  LIB(UpdStopUpdates)(context_);
  EXPECT_EQ(LIB(UpdPerformAppUpdate3)(&call.params, &call.result), 0x2107u);
  EXPECT_TRUE(host_.events().empty()) << "no phase, no query";
  EXPECT_EQ(uint64_t{call.result.steps.count}, 0u);
  LIB(UpdResetUpdate)(context_);
  // The refused call gave the lock back: the next call on the context runs.
  Publish(kProduct, {});
  EXPECT_EQ(LIB(UpdPerformAppUpdate3)(&call.params, &call.result), 0x500Cu);
}

TEST_F(AppUpdateRunTest, TheMicroPackageCheckIsAStub) {
  UPD_MICRO_PCU_PARAMS params{sizeof params, 0, context_, host_.settings()};
  UPD_MICRO_PCU_RESULT result{};
  HostStringInit(&result.text, allocator_.allocator());
  const std::string text = "a text longer than fifteen bytes";
  ASSERT_TRUE(HostStringAppend(&result.text, text.size(), text.data()));
  result.cbSize = 71;
  EXPECT_EQ(LIB(UpdCheckLastMicroPCU2)(&params, &result), kUpdResultTooSmall);
  EXPECT_EQ(Text(result.text), text);
  result.cbSize = 400;
  EXPECT_EQ(LIB(UpdCheckLastMicroPCU2)(&params, &result), kUpdNotSupported);
  EXPECT_EQ(result.cbSize, 72u);
  EXPECT_EQ(Text(result.text), "");
  HostStringFree(&result.text);
}

}  // namespace
}  // namespace upd::test
