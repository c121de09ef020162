// Catalogues that the run's catalogue only refers to ("ver" references),
// fetched from nginx and merged into the run's lists.

#include "updater/engine/lists/catalogue_merge.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "../catalogue/catalogue_fixture.h"
#include "platform/util/update_errors.h"
#include "updater/api/run_binding.h"
#include "updater/engine/common/component_info.h"
#include "updater/engine/session/download_session.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

class CatalogueMerge : public CatalogueFetchTest {
 protected:
  void SetUp() override {
    CatalogueFetchTest::SetUp();
    context_->settings = settings();
    fs::create_directories(UpdateFolder());
  }
  void TearDown() override {
    context_->settings = nullptr;
    CatalogueFetchTest::TearDown();
  }

  // A reference read from the run's catalogue and resolved against its server.
  void AddReference(CListBase& list, const char* section, const std::string& url) {
    _COMPONENT_INFO entry;
    std::strcpy(entry.name, section);
    entry.flags = kComponentReference | kComponentResolved;
    entry.url = url;
    list.Add(entry);
  }

  static std::string Component(const std::string& section, const std::string& file) {
    return "[" + section + "]\r\nname=" + section + "\r\ncategory=engine\r\nplatform=x64\r\n" +
           "build=9\r\nfile=" + file + "\r\n";
  }

  // The merge on the context's run, as the list builder runs it.
  UPD_ERROR Merge() {
    UpdateRun run = BindRun(*context_);
    CatalogueRun catalogue = CatalogueRunOf(run, *context_->session);
    return MergeComponentVerFiles(catalogue, context_->lists, run_catalogue_);
  }

  // The run's catalogue object the merge replaces with each one it takes.
  Catalogue run_catalogue_ = Catalogue::FromText("[MAIN]\r\n", CatalogueTrust::kSignatureVerified);

  bool LeftoverDownloads() const {
    for (const auto& entry : fs::directory_iterator(UpdateFolder())) {
      const std::string name = entry.path().filename().string();
      if (name.size() == 15 && name.rfind("upd", 0) == 0) return true;  // "upd%08X.ver"
    }
    return false;
  }
};

TEST_F(CatalogueMerge, ReferredCatalogueIsReadIntoTheListsAndAppendedToTheLastOne) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  const std::string component =
      Component("COMP_A", "pkgs/a.nup") + Component("CONTINUOUS_COMP_A", "/abs/c.nup");
  web.PutFile("comp/upd1.ver", component);
  WriteFile(context_->updVerPath, "[MAIN]\r\nver=comp/upd1.ver\r\n");
  WriteFile(context_->lastUpdVerPath, "[MAIN]\r\n");
  const std::string url = web.Url("/comp/upd1.ver");
  AddReference(context_->lists.updateList, "COMP_A", url);
  AddReference(context_->lists.continuousList, "CONTINUOUS_COMP_A", url);
  AddReference(context_->lists.updateList, "COMP_B", web.Url("/comp/missing.ver"));

  ASSERT_EQ(Merge(), kUpdOk);
  const _COMPONENT_INFO& a = context_->lists.updateList[0];
  EXPECT_EQ(a.flags & (kComponentReference | kComponentResolved), kComponentResolved);
  EXPECT_EQ(a.build, 9u);
  EXPECT_EQ(a.url, web.Url("/comp/pkgs/a.nup"));
  const _COMPONENT_INFO& c = context_->lists.continuousList[0];
  EXPECT_EQ(c.flags & kComponentReference, 0u);
  EXPECT_EQ(c.url, web.Url("/abs/c.nup"));
  // The failed fetch of the second catalogue ends the merge; its reference stays.
  EXPECT_NE(context_->lists.updateList[1].flags & kComponentReference, 0u);
  EXPECT_EQ(RunCatalogue(), component);
  // The object the later steps read is the catalogue now on disk, and it
  // proved nothing of its origin.
  ASSERT_TRUE(run_catalogue_.IsLoaded());
  EXPECT_EQ(run_catalogue_.FindSection("MAIN"), nullptr);
  EXPECT_NE(run_catalogue_.FindSection("CONTINUOUS_COMP_A"), nullptr);
  EXPECT_EQ(run_catalogue_.Trust(), CatalogueTrust::kUnchecked);
  EXPECT_EQ(LastCatalogue(), "[MAIN]\r\n" + component);
  EXPECT_EQ(Requests(web, "/comp/upd1.ver", 2), 1u);
  EXPECT_FALSE(LeftoverDownloads());
}

TEST_F(CatalogueMerge, NothingReferredChangesNothing) {
  WriteFile(context_->updVerPath, "[MAIN]\r\n");
  _COMPONENT_INFO plain;
  std::strcpy(plain.name, "PLAIN");
  plain.url = "http://127.0.0.1:1/never.ver";
  context_->lists.updateList.Add(plain);
  ASSERT_EQ(Merge(), kUpdOk);
  EXPECT_EQ(RunCatalogue(), "[MAIN]\r\n");
  EXPECT_NE(run_catalogue_.FindSection("MAIN"), nullptr);
  EXPECT_EQ(run_catalogue_.Trust(), CatalogueTrust::kSignatureVerified);
  EXPECT_FALSE(LeftoverDownloads());
}

}  // namespace
}  // namespace upd::test
