// The catalogue object: the document parsed once with its trust, read as the
// profile reader reads the same file, and handed back by the catalogue step
// for the steps after it (nginx serves the catalogues).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "../catalogue_file_fixture.h"
#include "catalogue_fixture.h"
#include "platform/store/profile_cache.h"
#include "platform/util/update_errors.h"
#include "updater/api/run_binding.h"
#include "updater/engine/catalogue/catalogue.h"

namespace upd::test {
namespace {

using CatalogueObject = CatalogueTest;

TEST_F(CatalogueObject, SectionsAndKeysInFileOrder) {
  const Catalogue catalogue =
      Catalogue::FromText("ignored\r\n[B]\r\nk=1\r\n[A]\r\nk=\"two\"\r\nn=-7\r\n[B]\r\nk=dup\r\n",
                          CatalogueTrust::kSignatureVerified);
  ASSERT_TRUE(catalogue.IsLoaded());
  EXPECT_EQ(catalogue.Trust(), CatalogueTrust::kSignatureVerified);
  ASSERT_EQ(catalogue.SectionCount(), 3u);
  EXPECT_STREQ(catalogue.SectionName(0), "B");
  EXPECT_STREQ(catalogue.SectionName(1), "A");
  // A duplicate section stays separate; lookups see the first.
  EXPECT_EQ(catalogue.FindSection("B"), catalogue.SectionAt(0));
  EXPECT_EQ(catalogue.Value("B", "k"), "1");
  EXPECT_EQ(catalogue.Value("A", "k"), "\"two\"");
  EXPECT_FALSE(catalogue.Value("A", "absent").has_value());
  EXPECT_FALSE(catalogue.Value("C", "k").has_value());
  EXPECT_EQ(catalogue.Int("A", "n", 5), -7);
  EXPECT_EQ(catalogue.Int("A", "absent", 5), 5);
  EXPECT_EQ(catalogue.FindSection("C"), nullptr);
}

// CopyText gives what ProfileGetString gives for the same file, quotes and
// cuts included: the steps read the object where they read the file before.
TEST_F(CatalogueObject, CopyTextReadsAsTheProfileReaderReadsTheFile) {
  const std::string text =
      "[S]\r\nplain=abc\r\nquoted=\"abc\"\r\nlone=\"\r\nempty=\"\"\r\nhalf=\"abc\r\n"
      "long=abcdefghij\r\nlongq=\"abcdefghij\"\r\n";
  const std::string path = WriteCatalogue(text);
  const Catalogue catalogue = InMemory(text);
  for (const char* key : {"plain", "quoted", "lone", "empty", "half", "long", "longq", "none"}) {
    for (const uint32_t size : {2u, 3u, 6u, 64u}) {
      SCOPED_TRACE(std::string(key) + " in " + std::to_string(size));
      std::vector<char> from_file(size, 'x');
      std::vector<char> from_object(size, 'x');
      const uint32_t file_count =
          ProfileGetString("S", key, "dflt", from_file.data(), size, path.c_str());
      const uint32_t object_count = catalogue.CopyText("S", key, "dflt", from_object.data(), size);
      EXPECT_EQ(object_count, file_count);
      EXPECT_EQ(from_object, from_file);
    }
  }
}

TEST_F(CatalogueObject, WhatDidNotLoadReadsAsNoCatalogue) {
  const Catalogue missing = FromTestFile("absent.ver");
  EXPECT_FALSE(missing.IsLoaded());
  EXPECT_EQ(missing.SectionCount(), 0u);
  EXPECT_FALSE(Catalogue().IsLoaded());
  // An empty file is a catalogue without sections, not a missing one.
  WriteCatalogue("", "empty.ver");
  const Catalogue empty = FromTestFile("empty.ver");
  EXPECT_TRUE(empty.IsLoaded());
  EXPECT_EQ(empty.SectionCount(), 0u);
  EXPECT_TRUE(InMemory("").IsLoaded());
}

TEST_F(CatalogueObject, MovingHandsTheDocumentOverAndLeavesAnEmptyOne) {
  Catalogue source = Catalogue::FromText("[A]\r\nk=v\r\n", CatalogueTrust::kSignatureVerified);
  Catalogue taken = std::move(source);
  EXPECT_EQ(taken.Value("A", "k"), "v");
  EXPECT_EQ(taken.Trust(), CatalogueTrust::kSignatureVerified);
  // NOLINTNEXTLINE(bugprone-use-after-move): the moved-from state is defined.
  EXPECT_FALSE(source.IsLoaded());
  EXPECT_EQ(source.SectionCount(), 0u);
  EXPECT_EQ(source.Trust(), CatalogueTrust::kUnchecked);
  source = std::move(taken);
  EXPECT_EQ(source.Value("A", "k"), "v");
}

// The catalogue step on the context's run, handing its catalogue back.
class CatalogueStep : public CatalogueFetchTest {
 protected:
  void SetUp() override {
    CatalogueFetchTest::SetUp();
    context_->settings = settings();
  }
  void TearDown() override {
    context_->settings = nullptr;
    CatalogueFetchTest::TearDown();
  }

  Result<Catalogue> Step() {
    context_->session->Reset();
    UpdateRun run = BindRun(*context_);
    CatalogueRun catalogue = CatalogueRunOf(run, *context_->session);
    return DownloadCatalogue(catalogue, CatalogueKind::kCurrent, true, 3);
  }
};

TEST_F(CatalogueStep, HandsBackTheCatalogueTakenWithWhatItProved) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  PutSigned(web, "signed/update.ver.signed", EngineCatalogue("s"));
  web.PutFile("signed/update.ver", EngineCatalogue("never"));
  web.PutFile("plain/update.ver", EngineCatalogue("p"));
  web.PutFile("configured/update.ver", EngineCatalogue("c"));
  struct Case {
    const char* name;
    std::string server;  // "" draws from the stored default server
    std::string stored;
    const char* section;
    CatalogueTrust trust;
  };
  const std::vector<Case> cases = {
      {"signed form verified", "", web.Url("/signed/"), "ENGINE_s",
       CatalogueTrust::kSignatureVerified},
      {"plain form, signed one missing", "", web.Url("/plain/"), "ENGINE_p",
       CatalogueTrust::kUnchecked},
      {"configured server", web.Url("/configured/"), "", "ENGINE_c", CatalogueTrust::kUnchecked},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetServer(c.server.empty() ? "AUTOSELECT" : c.server);
    WriteStore({"DefaultServerCount=1", "DefaultServer0=" + c.stored});
    Result<Catalogue> taken = Step();
    ASSERT_TRUE(taken.ok()) << std::hex << taken.code();
    EXPECT_EQ(taken->Trust(), c.trust);
    ASSERT_EQ(taken->SectionCount(), 1u);
    EXPECT_STREQ(taken->SectionName(0), c.section);
    EXPECT_EQ(taken->Value(c.section, "build"), "7");
    // The files the host and later runs read are written as before.
    EXPECT_EQ(RunCatalogue(), EngineCatalogue(std::string(c.section).substr(7)));
    EXPECT_EQ(LastCatalogue(), RunCatalogue());
  }
}

// After a redirect the object is the catalogue of the server redirected to,
// not the one that redirected; a refused catalogue gives its code and no
// object.
TEST_F(CatalogueStep, TheObjectIsTheLastCatalogueTakenOrNone) {
  NginxServer first(dir_.path().string());
  NginxServer second(dir_.path().string());
  ASSERT_TRUE(first.running() && second.running());
  second.PutFile("b/update.ver", EngineCatalogue("b"));
  first.PutFile("named/update.ver",
                EngineCatalogue("a") + "[VER]\r\nver=" + second.Url("/b/") + "\r\n");
  first.PutFile("dll/update.ver", "[DLL_A]\r\nname=a\r\ncategory=dll\r\nplatform=x64\r\n");

  SetServer(first.Url("/named/"));
  Result<Catalogue> redirected = Step();
  ASSERT_TRUE(redirected.ok());
  EXPECT_NE(redirected->FindSection("ENGINE_b"), nullptr);
  EXPECT_EQ(redirected->FindSection("ENGINE_a"), nullptr);
  EXPECT_EQ(redirected->FindSection("VER"), nullptr);

  SetServer(first.Url("/dll/"));
  const Result<Catalogue> refused = Step();
  EXPECT_FALSE(refused.ok());
  EXPECT_EQ(refused.code(), kUpdCategoryMissing);
  EXPECT_EQ(context_->lastResult, kUpdCategoryMissing);
}

// The step reads nothing through the profile cache, yet readers that still
// use it (the inline sections of package and pico downloads, the host's
// component list) see the file on disk, not what the cache held before:
// the catalogue taken, and also one refused after it replaced the file.
TEST_F(CatalogueStep, ReadersThroughTheCacheSeeTheNewCatalogue) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("cat/update.ver", EngineCatalogue("new"));
  SetServer(web.Url("/cat/"));
  std::filesystem::create_directories(std::filesystem::path(context_->updVerPath).parent_path());
  WriteFile(context_->updVerPath, EngineCatalogue("old"));
  WriteFile(context_->lastUpdVerPath, EngineCatalogue("old"));
  char text[64] = {};
  ASSERT_GT(ProfileGetString("ENGINE_old", "file", "", text, sizeof text, context_->updVerPath),
            0u);
  ASSERT_GT(ProfileGetString("ENGINE_old", "file", "", text, sizeof text, context_->lastUpdVerPath),
            0u);

  const Result<Catalogue> taken = Step();
  ASSERT_TRUE(taken.ok());
  EXPECT_NE(taken->FindSection("ENGINE_new"), nullptr);
  for (const char* path : {context_->updVerPath, context_->lastUpdVerPath}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ProfileGetString("ENGINE_old", "file", "", text, sizeof text, path), 0u);
    ProfileGetString("ENGINE_new", "file", "", text, sizeof text, path);
    EXPECT_STREQ(text, "loader_new.nup");
  }

  web.PutFile("dll/update.ver", "[DLL_A]\r\nname=a\r\ncategory=dll\r\nplatform=x64\r\n");
  SetServer(web.Url("/dll/"));
  EXPECT_EQ(Step().code(), kUpdCategoryMissing);
  EXPECT_EQ(ProfileGetString("DLL_A", "name", "", text, sizeof text, context_->updVerPath), 1u);
  EXPECT_STREQ(text, "a");
}

}  // namespace
}  // namespace upd::test
