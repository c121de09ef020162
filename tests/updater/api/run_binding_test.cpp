// The records a working call hands the engine refer to the context's own
// fields: a part bound to the wrong field would send a step to another
// catalogue, list or flag word.

#include "updater/api/run_binding.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "support/temp_dir.h"
#include "updater/api/context.h"
#include "updater/backup/backup_store.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

class RunBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("modules"));
    context_.reset(
        UpdInitialize(dir_.file("data").c_str(), dir_.file("modules").c_str(), "1.0", ""));
    ASSERT_NE(context_, nullptr);
  }

  TempDir dir_;
  std::unique_ptr<UPDATER_CONTEXT, void (*)(UPDATER_CONTEXT*)> context_{nullptr, UpdUninitialize};
};

TEST_F(RunBinding, EveryCataloguePathIsTheContextsOwn) {
  const CataloguePaths paths = CataloguePathsOf(*context_);
  const std::string folder = context_->updateFolder;
  const struct {
    const char* bound;
    const char* field;
    const char* name;
  } cases[] = {
      {paths.updVer, context_->updVerPath, "upd.ver"},
      {paths.updDllVer, context_->updDllVerPath, "upd_dll.ver"},
      {paths.updDylibVer, context_->updDylibVerPath, "upd_dylib.ver"},
      {paths.lastUpdVer, context_->lastUpdVerPath, "lastupd.ver"},
      {paths.lastUpdDllVer, context_->lastUpdDllVerPath, "lastupd_dll.ver"},
      {paths.lastUpdDylibVer, context_->lastUpdDylibVerPath, "lastupd_dylib.ver"},
      {paths.modVer, context_->modVerPath, "mod.ver"},
      {paths.current, context_->currentVerPath, "upd.ver"},
      {paths.currentLast, context_->currentLastVerPath, "lastupd.ver"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.bound, c.field);
    EXPECT_EQ(std::string(c.bound), folder + c.name);
  }
}

TEST_F(RunBinding, TheRunAndItsServicesAreTheContextsParts) {
  UpdateRun run = BindRun(*context_);
  EXPECT_EQ(&run.host, static_cast<HostBinding*>(context_.get()));
  EXPECT_EQ(&run.lists, &context_->lists);
  EXPECT_EQ(&run.serverState, &context_->serverState);
  EXPECT_EQ(&run.installed, &context_->installed);
  EXPECT_EQ(run.server.catalogueBaseUrl, context_->catalogueBaseUrl);
  EXPECT_EQ(run.server.serverRoot, context_->serverRoot);
  EXPECT_EQ(&run.resultFlags, &context_->resultFlags);
  EXPECT_EQ(&run.lastResult, &context_->lastResult);
  EXPECT_EQ(&run.times.lastAttempt, &context_->lastAttemptTime);
  EXPECT_EQ(&run.times.lastUpdate, &context_->lastUpdateTime);
  // The cancellation polls the token of the call, which UpdAbortUpdate
  // cancels; the token of a later call is not cancelled by that abort.
  EXPECT_FALSE(run.cancellation.IsCancelled());
  context_->runCancel = context_->abort.TokenFromNow();
  const UpdateRun call = BindRun(*context_);
  EXPECT_FALSE(call.cancellation.IsCancelled());
  UpdAbortUpdate(context_.get());
  EXPECT_TRUE(call.cancellation.IsCancelled());
  context_->runCancel = context_->abort.TokenFromNow();
  EXPECT_FALSE(BindRun(*context_).cancellation.IsCancelled());

  const EngineServices services = BindServices(*context_);
  EXPECT_EQ(&services.session, context_->session.get());
  EXPECT_EQ(&services.backupStore, context_->backupStore.get());
  EXPECT_EQ(&services.installer, context_->moduleInstaller.get());
  EXPECT_EQ(&services.pcuManager, context_->pcuManager.get());
  EXPECT_EQ(&services.mirror, context_->mirror.get());
  // No pico folder was named.
  EXPECT_EQ(services.pico, nullptr);
}

// The steps' own records take the run's parts, not copies of them.
TEST_F(RunBinding, StepRecordsReferToTheRun) {
  UpdateRun run = BindRun(*context_);
  const CatalogueRun catalogue = CatalogueRunOf(run, *context_->session);
  EXPECT_EQ(&catalogue.state, &context_->serverState);
  EXPECT_EQ(&catalogue.lastResult, &context_->lastResult);
  EXPECT_EQ(catalogue.catalogues.current, context_->currentVerPath);
  EXPECT_EQ(catalogue.server.serverRoot, context_->serverRoot);
  const ListBuild build = ListBuildOf(run);
  EXPECT_EQ(&build.lists, &context_->lists);
  EXPECT_EQ(&build.installed, &context_->installed);
  EXPECT_EQ(&build.catalogue, &run.catalogue);
  EXPECT_EQ(&build.lastAttemptTime, &context_->lastAttemptTime);
  const PackageDownload download = PackageDownloadOf(run, *context_->session);
  EXPECT_EQ(download.catalogue, context_->currentVerPath);
  EXPECT_EQ(download.serverRoot, context_->serverRoot);
  EXPECT_EQ(&download.resultFlags, &context_->resultFlags);
  const InstallTarget target = InstallTargetOf(run, context_->backupStore.get());
  EXPECT_EQ(&target.reverseList, &context_->lists.reverseList);
  EXPECT_EQ(&target.baseNupList, &context_->installed.baseNupList);
  EXPECT_EQ(target.backupStore, context_->backupStore.get());
  const MirrorPass pass = MirrorPassOf(run);
  EXPECT_EQ(&pass.lists, &context_->lists);
  EXPECT_EQ(pass.lastCatalogue, context_->currentLastVerPath);
}

}  // namespace
}  // namespace upd::test
