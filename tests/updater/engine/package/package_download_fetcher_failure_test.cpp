// The package download step driven through a scripted fetcher: answers,
// failures and cuts chosen by the test, no peer.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "download_fixture.h"
#include "platform/util/update_errors.h"
#include "support/scripted_fetcher.h"
#include "updater/engine/common/result_flags.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/session/host_fetch_config.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

class PackageDownloadThroughFetcher : public PackageDownloadTest {
 protected:
  ::PackageDownload Record() {
    return {run_->host,       *fetcher_,        run_->lists, run_->catalogue.c_str(),
            run_->serverRoot, run_->resultFlags};
  }

  std::unique_ptr<ScriptedFetcher> fetcher_ = std::make_unique<ScriptedFetcher>();
};

TEST_F(PackageDownloadThroughFetcher, EachPackageIsAskedForWithItsBoundAndKey) {
  Add(lists().updateList, "em001_64", "http://peer/level.nup", 5);
  Add(lists().continuousList, "em002_64", "http://peer/cont.nup", 0);
  fetcher_->On("http://peer/level.nup", {"level"});
  fetcher_->On("http://peer/cont.nup", {"continuous"});

  ASSERT_EQ(DownloadPackages(Record()), kUpdOk);

  EXPECT_EQ(fetcher_->log(),
            (std::vector<std::string>{"begin", "fetch http://peer/level.nup",
                                      "fetch http://peer/cont.nup", "close"}));
  ASSERT_EQ(fetcher_->asked().size(), 2u);
  const ScriptedFetcher::Asked& level = fetcher_->asked()[0];
  // The entry's size bounds the body; an entry without one has the default.
  ASSERT_TRUE(level.bound.has_value());
  EXPECT_EQ(level.bound->max_bytes, 5u);
  EXPECT_EQ(fetcher_->asked()[1].bound->max_bytes, PackageBound(lists().continuousList[0]).max_bytes);
  EXPECT_EQ(level.cacheKey, PackageCacheKey("level", lists().updateList[0]));
  EXPECT_EQ(level.inlineSource, run_->catalogue);
  // The step's configuration raises its events to this host's record.
  const auto* events = dynamic_cast<const CHostFetchEvents*>(level.config.events.get());
  ASSERT_NE(events, nullptr);
  EXPECT_EQ(&events->host(), host_.settings());
  EXPECT_EQ(lists().updateList[0].localFile, level.path);
  EXPECT_TRUE(FileHolds(level.path, "level"));
  EXPECT_TRUE(FileHolds(lists().continuousList[0].localFile, "continuous"));
  EXPECT_EQ(fs::path(lists().continuousList[0].localFile).parent_path(), Updfiles("continuous"));
  EXPECT_EQ(run_->resultFlags, kResultPackageDownloaded);
}

// A failed or cut download leaves no file, flags its entry and ends the
// step; the lists after it are not asked for, and the connections close.
TEST_F(PackageDownloadThroughFetcher, AFailedOrCutPackageEndsTheStepWithItsCode) {
  const struct {
    const char* name;
    ScriptedFetcher::Answer second;
  } cases[] = {
      {"refused", {"", kUpdNotFound}},
      {"cut", {"the first half of", kUpdConnectionClosed}},
      {"too large", {"more than the entry said", kUpdSourceUnreadable}},
      {"aborted", {"some", kUpdStopped}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fetcher_ = std::make_unique<ScriptedFetcher>();
    MakeParts(dir_.file(std::string("data-") + c.name));
    Add(lists().updateList, "em001_64", "http://peer/a.nup", 0);
    Add(lists().updateList, "em002_64", "http://peer/b.nup", 0);
    Add(lists().reverseList, "em003_64", "http://peer/r.nup", 0);
    fetcher_->On("http://peer/a.nup", {"first"});
    fetcher_->On("http://peer/b.nup", c.second);
    fetcher_->On("http://peer/r.nup", {"reverse"});

    EXPECT_EQ(DownloadPackages(Record()), c.second.result);

    EXPECT_EQ(fetcher_->log(), (std::vector<std::string>{"begin", "fetch http://peer/a.nup",
                                                        "fetch http://peer/b.nup", "close"}));
    const _COMPONENT_INFO& failed = lists().updateList[1];
    EXPECT_NE(failed.flags & kComponentDownloadFailed, 0u);
    EXPECT_FALSE(fs::exists(fetcher_->asked()[1].path));
    EXPECT_EQ(PackagesIn(Updfiles()), std::vector<std::string>{lists().updateList[0].localFile});
    EXPECT_TRUE(FileHolds(lists().updateList[0].localFile, "first"));
    EXPECT_EQ(PackageLocation(lists().reverseList[0]), "http://peer/r.nup");
    // The first package did arrive.
    EXPECT_EQ(run_->resultFlags, kResultPackageDownloaded);
  }
}

}  // namespace
}  // namespace upd::test
