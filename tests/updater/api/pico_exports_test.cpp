#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <regex>
#include <string>
#include <vector>

#include "../pico/pico_fixture.h"
#include "platform/util/update_errors.h"

namespace upd::test {
namespace {

using testhost::AllocatorHost;
using testhost::PicoFileText;

using PicoExportsTest = PicoExportsFixture;

TEST_F(PicoExportsTest, ListingAppendsOneRecordPerPicoInIdOrder) {
  WritePath(ModVer(), EngineSectionText("scan", "scan64") + EngineSectionText("other", "other64") +
                          PicoSectionText({"p12", 12, "scan", 5, 3600, "pico/12"}) +
                          PicoSectionText({"p3", 3, "other64", 1, 90, "pico/3"}) +
                          // Its module is not offered to this host.
                          PicoSectionText({"p4", 4, "absent", 1, 90, "pico/4"}));
  AllocatorHost allocator;
  UPD_PICO_LIST_RESULT result{};
  result.cbSize = 100;  // a larger record is accepted and told its size
  result.picos.allocator = allocator.allocator();
  // An element the host already holds stays first.
  const UPD_PICO_INFO held{12, 99, 99};
  void* block = allocator.allocator()->Allocate(sizeof held);
  std::memcpy(block, &held, sizeof held);
  result.picos.elements = block;
  result.picos.count = 1;
  result.picos.capacity = 1;

  ASSERT_EQ(List(&result), kUpdOk);
  EXPECT_EQ(result.cbSize, 36u);
  ASSERT_EQ(uint64_t{result.picos.count}, 3u);
  const auto* picos = static_cast<const UPD_PICO_INFO*>(result.picos.elements);
  const std::vector<std::vector<uint32_t>> seen = {
      {picos[0].cbSize, picos[0].picoId, picos[0].interval},
      {picos[1].cbSize, picos[1].picoId, picos[1].interval},
      {picos[2].cbSize, picos[2].picoId, picos[2].interval}};
  EXPECT_EQ(seen, (std::vector<std::vector<uint32_t>>{{12, 99, 99}, {12, 3, 90}, {12, 12, 3600}}));
  EXPECT_TRUE(allocator.Owns(result.picos.elements));
  EXPECT_EQ(allocator.foreign_frees(), 0u);
  allocator.allocator()->Free(result.picos.elements);
  // The query reads mod.ver without writing the store.
  EXPECT_FALSE(std::filesystem::exists(dir_.file("settings.ini")));
}

TEST_F(PicoExportsTest, ListingFailsWhenTheHostCannotGrowTheArray) {
  Announce();
  AllocatorHost allocator;
  allocator.FailAfter(0);
  UPD_PICO_LIST_RESULT result{};
  result.cbSize = sizeof result;
  result.picos.allocator = allocator.allocator();
  EXPECT_EQ(List(&result), kUpdOutOfMemory);
  EXPECT_EQ(uint64_t{result.picos.count}, 0u);
  EXPECT_EQ(allocator.live(), 0u);
}

TEST_F(PicoExportsTest, FetchesTheSequenceThroughTemporaryNames) {
  Announce(5);
  Serve(5, 8);
  ListPicos();
  ASSERT_EQ(Perform(), kUpdOk);
  EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"5.pic", "6.pic", "7.pic", "8.pic"}));
  for (uint32_t n = 5; n <= 8; ++n) {
    EXPECT_EQ(ReadFile(Folder() + "/" + std::to_string(n) + ".pic"), PicoFileText(kId, n));
  }
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"5.pic", "6.pic", "7.pic", "8.pic"}));
  // Nothing new on the server.
  EXPECT_EQ(Perform(), kUpdNothingNew);
  EXPECT_EQ(Entries(Folder()).size(), 4u);
}

TEST_F(PicoExportsTest, FillsTheGapsBelowTheHighestLocalFileFirst) {
  Announce(5);
  Serve(5, 9);
  PutLocal(5, 5);
  PutLocal(8, 8);
  ListPicos();
  ASSERT_EQ(Perform(), kUpdOk);
  EXPECT_EQ(Fetched(), (std::vector<std::string>{"6.pic", "7.pic", "9.pic"}));
  EXPECT_EQ(Entries(Folder()),
            (std::vector<std::string>{"5.pic", "6.pic", "7.pic", "8.pic", "9.pic"}));
}

TEST_F(PicoExportsTest, LocalFilesTheEngineRejectsAreDeletedAndFetchedAgain) {
  Announce(5);
  Serve(5, 8);
  PutLocal(5, 5);
  PutLocal(6, 6);
  PutLocal(7, 6);  // holds the wrong sequence number
  PutLocal(8, 8);
  PutLocal(3, 3);  // below the first wanted number
  WritePath(Folder() + "/8_new.pic", "left over");
  WritePath(Folder() + "/notes.pic", "x");
  ListPicos();
  ASSERT_EQ(Perform(), kUpdOk);
  EXPECT_EQ(Fetched(), std::vector<std::string>{"7.pic"});
  EXPECT_EQ(ReadFile(Folder() + "/7.pic"), PicoFileText(kId, 7));
  EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"5.pic", "6.pic", "7.pic", "8.pic"}));
}

TEST_F(PicoExportsTest, AServedFileTheEngineRejectsEndsTheUpdateAndIsDropped) {
  Announce(5);
  Serve(5, 5);
  Serve(7, 7);
  struct Case {
    const char* what;
    std::string file6;        // what the server holds as file 6
    uint32_t engine_refusal;  // engine result of the check of file 6, 0: none
    UPD_ERROR expected;
  };
  const Case cases[] = {
      {"file of another number", PicoFileText(kId, 5), 0, kUpdBadFile},
      {"file of another pico", PicoFileText(kId + 1, 6), 0, kUpdBadFile},
      {"engine cannot read it", PicoFileText(kId, 6), 7004, kUpdReadFailed},
      {"engine fails", PicoFileText(kId, 6), testhost::kEngineRefused, kUpdEngineFailed},
  };
  ListPicos();
  for (const Case& c : cases) {
    std::filesystem::remove_all(Folder());
    PutLocal(5, 5);
    web_.PutFile("pico/12/6.pic", c.file6);
    // The local file 5 is checked first, file 6 second.
    if (c.engine_refusal != 0) {
      host_.OnEvent(UPD_EVENT_ENGINE, [this, &c, calls = 0](uint32_t id, void* data) mutable {
        uint32_t answer = 0;
        engine_.HandleEvent(id, data, &answer);
        if (++calls == 2) engine_.Refuse(ENGINE_FN_PICO_ID, c.engine_refusal);
        return answer;
      });
    }
    EXPECT_EQ(Perform(), c.expected) << c.what;
    EXPECT_EQ(Entries(Folder()), std::vector<std::string>{"5.pic"}) << c.what;
    engine_.ServeThrough(host_);
  }
}

TEST_F(PicoExportsTest, AGapMissingOnTheServerIsTheResult) {
  Announce(5);
  Serve(5, 5);
  PutLocal(8, 8);
  ListPicos();
  EXPECT_EQ(Perform(), kUpdNotFound);
  EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"5.pic", "8.pic"}));
}

TEST_F(PicoExportsTest, ListingDoesNotWaitForAnUpdateInProgress) {
  Announce(5);
  Serve(5, 5);
  ListPicos();
  // Lists on another thread (with an allocator of its own): the pico count.
  const auto list_picos = [this]() -> uint64_t {
    AllocatorHost allocator;
    UPD_PICO_LIST_RESULT result{};
    result.cbSize = sizeof result;
    result.picos.allocator = allocator.allocator();
    if (List(&result) != kUpdOk) return 0;
    allocator.allocator()->Free(result.picos.elements);
    return result.picos.count;
  };
  std::future<uint64_t> listing;
  std::future_status status = std::future_status::deferred;
  // While the update holds the context lock (here: asking for the engine),
  // another thread lists the picos.
  host_.OnEvent(UPD_EVENT_ENGINE, [&](uint32_t id, void* data) {
    uint32_t answer = 0;
    engine_.HandleEvent(id, data, &answer);
    if (!listing.valid()) {
      listing = std::async(std::launch::async, list_picos);
      status = listing.wait_for(std::chrono::seconds(30));
    }
    return answer;
  });
  EXPECT_EQ(Perform(), kUpdOk);
  EXPECT_EQ(status, std::future_status::ready);
  EXPECT_EQ(listing.get(), 1u);
}

TEST_F(PicoExportsTest, RefusalsBeforeAnyFile) {
  Announce(5);
  Serve(5, 6);
  // The map is empty until the picos were listed.
  EXPECT_EQ(Perform(), kUpdInvalidRequest);
  ListPicos();
  EXPECT_EQ(Perform(99), kUpdInvalidRequest);

  LIB(UpdStopUpdates)(context_);
  EXPECT_EQ(Perform(), kUpdStopped);
  LIB(UpdResetUpdate)(context_);

  // No engine from the host.
  host_.OnEvent(UPD_EVENT_ENGINE, [](uint32_t, void*) { return 0u; });
  EXPECT_EQ(Perform(), kUpdEngineUnavailable);
  EXPECT_TRUE(Fetched().empty());
  EXPECT_FALSE(std::filesystem::exists(Folder()));
  engine_.ServeThrough(host_);
  EXPECT_EQ(Perform(), kUpdOk);
}

TEST_F(PicoExportsTest, EntryChecksAndRecordSizes) {
  Announce(5);
  UPD_PICO_UPDATE_RESULT update{};
  update.cbSize = sizeof update;
  UPD_PICO_LIST_RESULT list{};
  list.cbSize = sizeof list;

  UPD_PICO_PARAMS params = Params();
  UPDATER_SETTINGS silent = *host_.settings();
  silent.eventCallback = nullptr;
  struct Case {
    const char* what;
    const UPD_PICO_PARAMS* params;
    uint32_t list_size;
    uint32_t update_size;
    UPD_ERROR expected;
  };
  UPD_PICO_PARAMS no_context = params;
  no_context.context = nullptr;
  UPD_PICO_PARAMS no_settings = params;
  no_settings.settings = nullptr;
  UPD_PICO_PARAMS no_callback = params;
  no_callback.settings = &silent;
  const Case cases[] = {
      {"no record", nullptr, 36, 4, kUpdNoContext},
      {"no context", &no_context, 36, 4, kUpdNoContext},
      {"no settings", &no_settings, 36, 4, kUpdNoSettings},
      {"no callback", &no_callback, 36, 4, kUpdNoEventCallback},
      {"results too small", &params, 35, 3, kUpdResultTooSmall},
  };
  for (const Case& c : cases) {
    list.cbSize = c.list_size;
    update.cbSize = c.update_size;
    EXPECT_EQ(LIB(UpdGetPicoUpdates)(c.params, &list), c.expected) << c.what;
    EXPECT_EQ(LIB(UpdPerformPicoUpdate)(c.params, &update), c.expected) << c.what;
    EXPECT_EQ(list.cbSize, c.list_size) << c.what;
    EXPECT_EQ(update.cbSize, c.update_size) << c.what;
  }
  EXPECT_EQ(LIB(UpdGetPicoUpdates)(&params, nullptr), kUpdResultTooSmall);
  EXPECT_EQ(LIB(UpdPerformPicoUpdate)(&params, nullptr), kUpdResultTooSmall);
}

TEST_F(PicoExportsTest, AContextWithoutPicoFolderHasNoPicoUpdates) {
  for (const char* folder : {static_cast<const char*>(nullptr), ""}) {
    UPDATER_CONTEXT* context = Initialize(folder);
    ASSERT_NE(context, nullptr);
    UPD_PICO_PARAMS params = Params();
    params.context = context;
    UPD_PICO_LIST_RESULT list{};
    list.cbSize = sizeof list;
    UPD_PICO_UPDATE_RESULT update{};
    update.cbSize = sizeof update;
    EXPECT_EQ(LIB(UpdGetPicoUpdates)(&params, &list), kUpdNoContext);
    EXPECT_EQ(LIB(UpdPerformPicoUpdate)(&params, &update), kUpdNoContext);
    LIB(UpdUninitialize)(context);
  }
}

// Module files of the engine stand-in's format for the backup store.
class PicoRollbackTest : public PicoExportsTest {
 protected:
  void InstallModule(uint32_t build) {
    WriteFile(Modules() + "/em002.dat",
              testhost::ModuleFileText({"scan", 3, 1, build, std::to_string(build)}, "payload"));
  }
};

TEST_F(PicoRollbackTest, ARollbackSetsThePicoFoldersAsideAndBlocksPicoUpdates) {
  host_.settings()->backupSnapshotsToKeep = 0xFFFFFFFF;
  Announce(5);
  Serve(5, 6);
  ListPicos();
  ASSERT_EQ(Perform(), kUpdOk);
  InstallModule(1);
  ASSERT_EQ(LIB(UpdBackupCreateSnapshot2)(context_, host_.settings()), kUpdOk);
  InstallModule(2);

  const uint32_t until = static_cast<uint32_t>(std::time(nullptr)) + 3600;
  ASSERT_EQ(LIB(UpdBackupRollback)(context_, until), kUpdOk);
  const std::vector<std::string> aside = Entries(PicoRoot());
  ASSERT_EQ(aside.size(), 1u);
  EXPECT_TRUE(std::regex_match(aside[0], std::regex("12_rollback_[0-9A-F]{8}"))) << aside[0];
  EXPECT_EQ(Perform(), kUpdUpdatesBlocked);

  // Once unblocked, the folder comes back before the update, which then
  // finds nothing new.
  ASSERT_EQ(LIB(UpdBackupUnblockUpdate)(context_), kUpdOk);
  EXPECT_EQ(Perform(), kUpdNothingNew);
  EXPECT_EQ(Entries(PicoRoot()), std::vector<std::string>{"12"});
  EXPECT_EQ(Entries(Folder()), (std::vector<std::string>{"5.pic", "6.pic"}));
}

}  // namespace
}  // namespace upd::test
