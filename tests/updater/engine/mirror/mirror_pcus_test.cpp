#include "updater/engine/mirror/mirror_pcus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/event_host.h"
#include "updater/engine/mirror/mirror.h"
#include "updater/engine/mirror/mirror_markers.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// Application packages staged in "tempMirrorPCU" beside their markers, and
// a mirror whose callback records what it hears.
class MirrorPcuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.file("modules"));
    context_ = UpdInitialize(dir_.file("data").c_str(), dir_.file("modules").c_str(), "1.0", "h");
    ASSERT_NE(context_, nullptr);
    mirror_ = std::make_unique<MIRROR_SETTINGS>();
    std::memset(mirror_.get(), 0, sizeof *mirror_);
    mirror_->enabled = 1;
    mirror_->callback = &Record;
    mirror_->callbackContext = this;
    SafeStrCopy(mirror_->mirrorFolder, sizeof mirror_->mirrorFolder, Mirror().c_str());
    SafeStrCopy(mirror_->sectionNames, sizeof mirror_->sectionNames, "app1,app2");
    fs::create_directories(Mirror());
    host_.settings()->mirrorSettings = mirror_.get();
  }
  void TearDown() override { UpdUninitialize(context_); }

  static uint32_t Record(uint32_t code, void* data, void* self) {
    auto* test = static_cast<MirrorPcuTest*>(self);
    test->codes_.push_back(code);
    if (code == MIRROR_EVENT_ERROR) test->codes_.push_back(*static_cast<uint32_t*>(data));
    return code == MIRROR_EVENT_GET_UPDATE_HASH ? 1 : 0;
  }

  std::string Mirror() const { return dir_.file("mirror"); }
  std::string Staging(const std::string& name = "") const {
    return dir_.file("data/updfiles/tempMirrorPCU/") + name;
  }

  // A signed application package staged under name with its marker.
  std::string Stage(const std::string& name, const std::string& app, bool agreed) {
    fs::create_directories(Staging());
    const std::string payload = dir_.file("payload-" + app);
    WriteFile(payload, "installer of " + app);
    EXPECT_TRUE(SignKit({"nup", Staging(name), payload, "category=component", "name=" + app, "type=" + app, "filename=" + app + ".bin",
                         "platform=winnt64", "build=7", "display_name=App " + app}));
    EXPECT_EQ(WriteMarkerFile(MarkerFileName(Staging(name)).c_str(), name.c_str(), agreed),
              kUpdOk);
    return ReadFile(Staging(name));
  }

  // The mirror's packages, by a hash of their content.
  std::vector<size_t> MirrorPackages() const {
    std::vector<size_t> packages;
    for (const auto& item : fs::directory_iterator(Mirror())) {
      if (item.path().extension() == ".nup") {
        packages.push_back(std::hash<std::string>{}(ReadFile(item.path())));
      }
    }
    return packages;
  }

  UPD_ERROR Copy() {
    codes_.clear();
    return UpdCopyPcusToMirror(context_, host_.settings());
  }

  TempDir dir_;
  testhost::EventHost host_;
  UPDATER_CONTEXT* context_ = nullptr;
  std::unique_ptr<MIRROR_SETTINGS> mirror_;
  std::vector<uint32_t> codes_;
};

TEST_F(MirrorPcuTest, AgreedPackagesMoveAndTheOthersWait) {
  const std::string first = Stage("zel00000001.nup", "app1", true);
  Stage("zel00000002.nup", "app2", false);

  ASSERT_EQ(Copy(), kUpdOk);
  // Code 5, then code 0 with 0x3404; the agreed package still moves.
  EXPECT_EQ(codes_, (std::vector<uint32_t>{MIRROR_EVENT_AGREEMENT_PENDING, MIRROR_EVENT_ERROR,
                                           kUpdPcuNotAgreed}));
  EXPECT_EQ(MirrorPackages(), std::vector<size_t>{std::hash<std::string>{}(first)});
  EXPECT_FALSE(fs::exists(Staging("zel00000001.nup")));
  EXPECT_FALSE(fs::exists(Staging("zel00000001.nup.inf")));
  EXPECT_TRUE(fs::exists(Staging("zel00000002.nup.inf")));
  const std::string catalogue = ReadFile(Mirror() + "/update.ver");
  EXPECT_NE(catalogue.find("[app1]"), std::string::npos) << catalogue;
  EXPECT_NE(catalogue.find("agreed=1"), std::string::npos) << catalogue;
  EXPECT_EQ(catalogue.find("[app2]"), std::string::npos) << catalogue;

  // Once agreed the second follows, and the empty staging folder goes.
  ASSERT_EQ(WriteMarkerFile(Staging("zel00000002.nup.inf").c_str(), "zel00000002.nup", true),
            kUpdOk);
  ASSERT_EQ(Copy(), kUpdOk);
  EXPECT_EQ(MirrorPackages().size(), 2u);
  EXPECT_FALSE(fs::exists(Staging()));
  EXPECT_NE(ReadFile(Mirror() + "/update.ver").find("[app2]"), std::string::npos);
}

TEST_F(MirrorPcuTest, WithoutACallbackANotAgreedPackageIsReported) {
  Stage("zel00000002.nup", "app2", false);
  mirror_->callback = nullptr;
  EXPECT_EQ(Copy(), kUpdPcuNotAgreed);
  EXPECT_TRUE(MirrorPackages().empty());
  EXPECT_FALSE(fs::exists(Mirror() + "/update.ver"));
  EXPECT_TRUE(fs::exists(Staging("zel00000002.nup")));
}

// An agreed package that fails its check is not published.
TEST_F(MirrorPcuTest, ATamperedAgreedPackageStaysOut) {
  Stage("zel00000001.nup", "app1", true);
  ASSERT_TRUE(SignKit({"tamper", "flip-payload", Staging("zel00000001.nup"), dir_.file("t.nup")}));
  fs::copy_file(dir_.file("t.nup"), Staging("zel00000001.nup"),
                fs::copy_options::overwrite_existing);
  EXPECT_EQ(Copy(), kUpdOk);
  EXPECT_TRUE(MirrorPackages().empty());
}

TEST_F(MirrorPcuTest, TheEntryChecksComeFirst) {
  EXPECT_EQ(UpdCopyPcusToMirror(nullptr, host_.settings()), kUpdNoContext);
  EXPECT_EQ(UpdCopyPcusToMirror(context_, nullptr), kUpdNoSettings);
  host_.settings()->mirrorSettings = nullptr;
  EXPECT_EQ(UpdCopyPcusToMirror(context_, host_.settings()), kUpdNoMirrorSettings);
}

}  // namespace
}  // namespace upd::test
