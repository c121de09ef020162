// Each kind of catalogue through DownloadCatalogue against nginx: the server
// folder it is asked for under, the files it is kept in, and the category
// its sections must offer.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "catalogue_fixture.h"
#include "platform/util/update_errors.h"
#include "updater/api/run_binding.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

std::string CatalogueOf(const std::string& category) {
  return "[MODULE_" + category + "]\r\nname=module\r\ncategory=" + category +
         "\r\nplatform=x64\r\nbuild=7\r\nfile=module.nup\r\n";
}

struct KindCase {
  const char* name;
  CatalogueKind kind;
  const char* folder;    // below the configured server
  const char* category;  // what its sections must offer
  const char* other;     // a category it does not take
  const char* (*catalogue)(const UPDATER_CONTEXT&);
  const char* (*last)(const UPDATER_CONTEXT&);
};

class CatalogueKindTest : public CatalogueFetchTest,
                          public ::testing::WithParamInterface<KindCase> {
 protected:
  UPD_ERROR Download(CatalogueKind kind) {
    context_->settings = settings();
    context_->session->Reset();
    UpdateRun run = BindRun(*context_);
    CatalogueRun catalogue = CatalogueRunOf(run, *context_->session);
    return DownloadCatalogue(catalogue, kind, false, 1).code();
  }
};

TEST_P(CatalogueKindTest, TheKindNamesItsFolderFilesAndCategory) {
  const KindCase& c = GetParam();
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  const std::string folder = std::string("cat/") + c.folder;
  SetServer(web.Url("/cat"));

  // A catalogue of another category is not taken, and nothing is kept.
  web.PutFile(folder + "update.ver", CatalogueOf(c.other));
  EXPECT_EQ(Download(c.kind), kUpdCategoryMissing);
  EXPECT_FALSE(fs::exists(c.last(*context_)));

  web.PutFile(folder + "update.ver", CatalogueOf(c.category));
  ASSERT_EQ(Download(c.kind), kUpdOk);
  EXPECT_EQ(ReadFile(c.catalogue(*context_)), CatalogueOf(c.category));
  EXPECT_EQ(ReadFile(c.last(*context_)), CatalogueOf(c.category));
  EXPECT_EQ(Requests(web, "/" + folder + "update.ver"), 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CatalogueKindTest,
    ::testing::Values(
        KindCase{"Current", CatalogueKind::kCurrent, "", "engine", "dll",
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.currentVerPath; },
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.currentLastVerPath; }},
        KindCase{"MirrorEngine", CatalogueKind::kMirrorEngine, "", "engine", "dylib",
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.updVerPath; },
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.lastUpdVerPath; }},
        KindCase{"MirrorDll", CatalogueKind::kMirrorDll, "dll/", "dll", "engine",
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.updDllVerPath; },
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.lastUpdDllVerPath; }},
        KindCase{"MirrorDylib", CatalogueKind::kMirrorDylib, "dylib/", "dylib", "dll",
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.updDylibVerPath; },
                 [](const UPDATER_CONTEXT& c) -> const char* { return c.lastUpdDylibVerPath; }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace upd::test
