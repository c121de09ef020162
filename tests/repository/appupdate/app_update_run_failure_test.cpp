#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "repository/appupdate/app_update_run_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr UPD_ERROR kHashMismatch = 0x1101;

class AppUpdateRunFailureTest : public AppRunFixture {
 protected:
  // Requests nginx saw for a path ending in suffix.
  size_t RequestsFor(const std::string& suffix) {
    size_t count = 0;
    for (const auto& entry : web_.AccessLog()) {
      if (entry.request.find(suffix) != std::string::npos) ++count;
    }
    return count;
  }
};

TEST_F(AppUpdateRunFailureTest, APackageThatIsNotTheOneListedNeverReachesTheHost) {
  Resource package = Package();
  package.hash = std::string(40, 'a');
  Publish(kProduct, {package});
  AppRunCall call(allocator_);
  EXPECT_EQ(Run(call), kHashMismatch);
  EXPECT_EQ(call.Steps(), (Steps{{kHashMismatch, 1}}));
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_INSTALL_PACKAGE).empty());
  EXPECT_TRUE(TempFiles().empty()) << "the temporary package is deleted";
  EXPECT_EQ(Phases(), (std::vector<uint32_t>{6, 0}));
}

TEST_F(AppUpdateRunFailureTest, ATamperedDocumentStopsBeforeAnyPackage) {
  Publish(kProduct, {Package()});
  const std::string signed_path = dir_.file("tampered.bin");
  WriteFile(dir_.file("good.bin"), ReadFile(web_.root() + "/repo/suite/home/metadata3"));
  ASSERT_TRUE(SignKit({"tamper", "flip-payload", dir_.file("good.bin"), signed_path}));
  web_.PutFile("repo/suite/home/metadata3", ReadFile(signed_path));
  AppRunCall call(allocator_);
  EXPECT_EQ(Run(call), kHashMismatch);
  EXPECT_EQ(call.Steps(), (Steps{{kHashMismatch, 1}, {kHashMismatch, 2}}));
  EXPECT_EQ(RequestsFor("app-1.0.0.5.bin"), 0u);
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_INSTALL_PACKAGE).empty());
}

// Two products: whatever fails, neither installed package changes and no
// temporary file is left beside them.
class ProductFailureTest : public AppUpdateRunFailureTest {
 protected:
  void SetUp() override {
    AppUpdateRunFailureTest::SetUp();
    Publish(kProduct, {});
    for (const char* name : {"a", "b"}) {
      const std::string path = dir_.file(std::string("installed/") + name + ".bin");
      fs::create_directories(fs::path(path).parent_path());
      WriteFile(path, std::string("old ") + name);
      AddProduct(products_, name, path);
    }
  }

  UPD_ERROR RunProducts(AppRunCall& call) {
    call.params.skipApplication = 1;
    call.params.products = *products_.Array();
    return Run(call);
  }

  void ExpectNothingMoved() {
    EXPECT_EQ(ReadFile(dir_.file("installed/a.bin")), "old a");
    EXPECT_EQ(ReadFile(dir_.file("installed/b.bin")), "old b");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.file("installed")),
                            fs::directory_iterator()),
              2);
  }

  PackageProductList products_;
};

TEST_F(ProductFailureTest, ASecondDownloadFailingMovesNothing) {
  Publish("tools.a", {ProductPackage("a", "new a")});
  Resource missing = ProductPackage("b", "new b");
  Publish("tools.b", {missing});
  fs::remove(web_.root() + "/repo/tools/b/packages/b.bin");
  AppRunCall call(allocator_);
  const UPD_ERROR code = RunProducts(call);
  EXPECT_NE(code, kUpdOk);
  EXPECT_EQ(call.Steps(), (Steps{{code, 4}}));
  EXPECT_EQ(call.result.outcome, 4u);
  ExpectNothingMoved();
}

TEST_F(ProductFailureTest, ATamperedSecondPackageMovesNothing) {
  Publish("tools.a", {ProductPackage("a", "new a")});
  Resource b = ProductPackage("b", "new b");
  Publish("tools.b", {b});
  web_.PutFile("repo/tools/b/packages/b.bin", "new B");
  AppRunCall call(allocator_);
  EXPECT_EQ(RunProducts(call), kHashMismatch);
  EXPECT_EQ(call.Steps(), (Steps{{kHashMismatch, 4}}));
  ExpectNothingMoved();
}

TEST_F(ProductFailureTest, AProductWithoutAPackagePathStopsBeforeAnyDownload) {
  Publish("tools.a", {ProductPackage("a", "new a")});
  Publish("tools.b", {ProductPackage("b", "new b")});
  Publish("tools.c", {ProductPackage("c", "new c")});
  AddProduct(products_, "c", "");
  AppRunCall call(allocator_);
  EXPECT_EQ(RunProducts(call), kUpdTempFileFailed);
  EXPECT_EQ(RequestsFor("packages/"), 0u);
  ExpectNothingMoved();
}

}  // namespace
}  // namespace upd::test

namespace upd::test {
namespace {

TEST_F(AppUpdateRunFailureTest, AChangeLogTheHostCannotTakeEndsTheRunBeforeTheInstall) {
  Resource package = Package();
  package.extra = R"(, "changelog": "notes")";
  Publish(kProduct, {package}, R"(, "notes": {"document": {"path": "notes/1.0.0.5.html"}})");
  allocator_.FailCall(1);  // the change log's URL is the run's first host string
  AppRunCall call(allocator_);
  EXPECT_EQ(Run(call), kUpdOutOfMemory);
  EXPECT_EQ(Text(call.result.changelogUrl), "");
  EXPECT_EQ(call.Steps(), (Steps{{kUpdOutOfMemory, 1}, {kUpdOutOfMemory, 2}}));
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_INSTALL_PACKAGE).empty());
  EXPECT_EQ(Phases(), (std::vector<uint32_t>{6, 0}));
}

}  // namespace
}  // namespace upd::test
