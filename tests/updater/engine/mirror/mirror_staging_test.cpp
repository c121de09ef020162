#include "updater/engine/mirror/mirror_staging.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "../package/download_fixture.h"
#include "platform/util/update_errors.h"
#include "updater/engine/mirror/mirror_markers.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kToFetch = kComponentHasBuild | kComponentFetch;

class MirrorStagingTest : public PackageDownloadTest {
 protected:
  void SetUp() override {
    PackageDownloadTest::SetUp();
    ASSERT_TRUE(web_.running());
  }

  // An entry the mirror's comparison marked for fetching.
  _COMPONENT_INFO& Fetch(CListBase& list, const std::string& module, const std::string& path,
                         uint32_t size, uint32_t category = kCategoryEngine) {
    _COMPONENT_INFO& entry = Add(list, module, web_.Url(path), size, category);
    entry.flags = kToFetch;
    return entry;
  }

  std::vector<std::string> Gets(size_t at_least) const {
    std::vector<std::string> paths;
    for (const AccessLogEntry& entry : web_.AccessLog(at_least)) {
      if (entry.request.rfind("GET ", 0) == 0) paths.push_back(entry.request.substr(4));
    }
    return paths;
  }

  UPD_ERROR Stage(uint32_t* count) {
    MirrorStaging staging(run_->host, *run_->session, run_->lists, run_->lastCatalogue.c_str());
    return DownloadMirrorPackages(staging, count);
  }

  NginxServer web_{dir_.path().string(), NginxServer::Options().ServerConf(
                                             "gzip off; location /refused/ { return 401; }")};
};

// Every list's entries to fetch land in the staging folder of their
// category under a new name, kept as the entry's mirror path.
TEST_F(MirrorStagingTest, PackagesLandInTheStagingFolderOfTheirCategory) {
  const std::string engine = Serve(web_, "e.nup", "em001_64");
  const std::string dll = Serve(web_, "l.nup", "lib");
  const std::string dylib = Serve(web_, "y.nup", "dylib");
  const std::string continuous = Serve(web_, "c.nup", "em002_64");
  const std::string reverse = Serve(web_, "r.nup", "em003_64");
  const std::string application = Serve(web_, "p.nup", "app");
  Fetch(lists().componentList, "app", "/p.nup", application.size(), kCategoryComponent);
  Fetch(lists().reverseList, "em003_64", "/r.nup", reverse.size());
  Fetch(lists().continuousList, "em002_64", "/c.nup", continuous.size());
  Fetch(lists().updateList, "em001_64", "/e.nup", engine.size());
  Fetch(lists().updateList, "lib", "/l.nup", dll.size(), kCategoryDll);
  Fetch(lists().updateList, "dylib", "/y.nup", dylib.size(), kCategoryDylib);
  // Selected for an update but not for the mirror: not fetched here.
  Add(lists().updateList, "em009_64", web_.Url("/e.nup"), 1000);
  uint32_t count = 99;

  ASSERT_EQ(Stage(&count), kUpdOk);

  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Gets(6), (std::vector<std::string>{"/e.nup HTTP/1.1", "/l.nup HTTP/1.1",
                                               "/y.nup HTTP/1.1", "/c.nup HTTP/1.1",
                                               "/r.nup HTTP/1.1", "/p.nup HTTP/1.1"}));
  const std::string staging = Updfiles("tempMirror/zel[0-9A-F]{8}");
  const std::string pcu_staging = Updfiles("tempMirrorPCU/zel[0-9A-F]{8}");
  const struct {
    const _COMPONENT_INFO& entry;
    std::string pattern;
    const std::string& bytes;
  } expected[] = {{lists().updateList[0], staging + "\\.nup", engine},
                  {lists().updateList[1], staging + "\\.dll\\.nup", dll},
                  {lists().updateList[2], staging + "\\.dylib\\.nup", dylib},
                  {lists().continuousList[0], staging + "\\.nup", continuous},
                  {lists().reverseList[0], staging + "\\.nup", reverse},
                  {lists().componentList[0], pcu_staging + "\\.nup", application}};
  for (const auto& each : expected) {
    SCOPED_TRACE(each.entry.module);
    EXPECT_TRUE(std::regex_match(each.entry.mirrorPath, std::regex(each.pattern)))
        << each.entry.mirrorPath;
    EXPECT_TRUE(FileHolds(each.entry.mirrorPath, each.bytes));
    EXPECT_EQ(each.entry.url.rfind(web_.Url("/"), 0), 0u) << each.entry.url;
    EXPECT_EQ(each.entry.flags, kToFetch | kComponentPresent);
  }
  EXPECT_EQ(lists().updateList[3].flags, kComponentHasBuild | kComponentSelected);

  const auto status = host_.EventsOf(UPD_EVENT_STATUS).at(0).As<UPD_STATUS_EVENT>();
  EXPECT_EQ(status.value, engine.size() + dll.size() + dylib.size() + continuous.size() +
                              reverse.size() + application.size() + 1000);
  EXPECT_TRUE(host_.mirror_events().empty());
}

// A package the server refuses (0x2001) is counted and passed over; any
// other failure is counted, reported to the mirror callback and ends the
// staging.
TEST_F(MirrorStagingTest, FailuresAreCountedAndOnlyARefusalGoesOn) {
  const std::string bytes = Serve(web_, "b.nup", "em002_64");
  Fetch(lists().updateList, "em001_64", "/refused/a.nup", 10);
  Fetch(lists().updateList, "em002_64", "/b.nup", bytes.size());
  Fetch(lists().updateList, "em003_64", "/missing.nup", 10);
  Fetch(lists().updateList, "em004_64", "/b.nup", bytes.size());
  Fetch(lists().continuousList, "em005_64", "/b.nup", bytes.size());
  uint32_t count = 0;

  EXPECT_EQ(Stage(&count), kUpdNotFound);

  EXPECT_EQ(count, 2u);
  const CUpdateList& list = lists().updateList;
  EXPECT_EQ(list[0].flags, kToFetch | kComponentPresent | kComponentDownloadFailed);
  EXPECT_TRUE(FileHolds(list[1].mirrorPath, bytes));
  EXPECT_EQ(list[2].flags, kToFetch | kComponentPresent | kComponentDownloadFailed);
  EXPECT_EQ(list[3].flags, kToFetch);
  EXPECT_EQ(lists().continuousList[0].flags, kToFetch);
  for (const ListIndex failed : {0, 2}) EXPECT_FALSE(fs::exists(list[failed].mirrorPath));
  EXPECT_EQ(PackagesIn(Updfiles("tempMirror")), std::vector<std::string>{list[1].mirrorPath});

  ASSERT_EQ(host_.mirror_events().size(), 1u);
  EXPECT_EQ(host_.mirror_events()[0].event, static_cast<uint32_t>(MIRROR_EVENT_ERROR));
  EXPECT_EQ(host_.mirror_events()[0].As<uint32_t>(), kUpdNotFound);
}

// An application package waits in staging beside a marker that says it is
// not agreed yet; with deferred placing the host hears of it (code 1).
TEST_F(MirrorStagingTest, AStagedApplicationPackageGetsANotAgreedMarker) {
  for (const bool defer : {false, true}) {
    host_.Clear();
    lists().componentList.RemoveAll();
    host_.mirror_settings()->flags = defer ? MIRROR_FLAG_DEFER_PCUS : 0;
    const std::string bytes = Serve(web_, "p.nup", "app");
    _COMPONENT_INFO& entry =
        Fetch(lists().componentList, "app", "/p.nup", bytes.size(), kCategoryComponent);
    SafeStrCopy(entry.displayName, sizeof entry.displayName, "The Application");
    uint32_t count = 0;

    ASSERT_EQ(Stage(&count), kUpdOk);

    const std::string staged = lists().componentList[0].mirrorPath;
    const std::string name = fs::path(staged).filename();
    char stored[64] = {};
    EXPECT_FALSE(ReadMarkerFile((staged + ".inf").c_str(), name.c_str(), stored, sizeof stored));
    EXPECT_EQ(std::string(stored), name);
    if (!defer) {
      EXPECT_TRUE(host_.mirror_events().empty());
      continue;
    }
    ASSERT_EQ(host_.mirror_events().size(), 1u);
    const testhost::RecordedEvent& event = host_.mirror_events()[0];
    EXPECT_EQ(event.event, static_cast<uint32_t>(MIRROR_EVENT_PCU_STAGED));
    ASSERT_EQ(event.record.size(), 4228u);
    EXPECT_STREQ(reinterpret_cast<const char*>(event.record.data()), "The Application");
    EXPECT_TRUE(std::all_of(event.record.begin() + 128, event.record.end(),
                            [](uint8_t b) { return b == 0; }));
  }
}

TEST_F(MirrorStagingTest, ADeclinedDownloadStagesNothing) {
  Fetch(lists().updateList, "em001_64", "/a.nup", 5000);
  AskAbove(1);
  host_.Answer(UPD_EVENT_CONFIRM_DOWNLOAD, 0);
  run_->session->sessionWord = CDownloadSession::kListingBit;
  uint32_t count = 99;

  EXPECT_EQ(Stage(&count), kUpdStopped);

  EXPECT_EQ(count, 0u);
  EXPECT_EQ(run_->session->sessionWord, 0u);
  EXPECT_EQ(lists().updateList[0].flags, kToFetch);
  EXPECT_FALSE(fs::exists(Updfiles("tempMirror")));
  EXPECT_EQ(DownloadEvents(),
            (std::vector<uint32_t>{UPD_EVENT_STATUS, UPD_EVENT_CONFIRM_DOWNLOAD}));
  EXPECT_TRUE(web_.AccessLog().empty());
}

}  // namespace
}  // namespace upd::test
