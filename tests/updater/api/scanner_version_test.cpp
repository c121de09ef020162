#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "library_fixture.h"
#include "platform/util/update_errors.h"
#include "testhost/engine_standin.h"

namespace upd::test {
namespace {

using upd::testhost::EngineStandIn;
using upd::testhost::ModuleFacts;
using upd::testhost::ModuleFileText;

// The scanner is the installed engine module of type 3 for this build's
// platform (x64, id 1), read through the host's engine.
class ScannerVersion : public LibraryFixture {
 protected:
  void SetUp() override {
    LibraryFixture::SetUp();
    engine_.ServeThrough(host_);
  }
  void Install(const std::string& file, const ModuleFacts& facts) {
    WriteFile(Modules() + "/" + file, ModuleFileText(facts, "module bytes"));
  }
  UPD_ERROR Get(uint32_t* build, char* version, uint64_t size) {
    return LIB(UpdGetScannerVersionEx2)(context_, host_.settings(), build, version, size);
  }

  EngineStandIn engine_;
};

TEST_F(ScannerVersion, TheFirstScannerOfThisPlatformAnswers) {
  Install("em000.dat", {"em000", 2, 1, 11, "not the scanner"});
  Install("em001.dat", {"em001", 3, 0, 22, "scanner of x86"});
  Install("em002.dat", {"em002", 3, 1, 4567, "12.3.4"});
  Install("em003.dat", {"em003", 3, 1, 9999, "a later one"});
  uint32_t build = 0;
  char version[16];
  std::memset(version, 'x', sizeof version);
  ASSERT_EQ(Get(&build, version, sizeof version), 0u);
  EXPECT_STREQ(version, "12.3.4");
  EXPECT_EQ(build, 4567u);
  EXPECT_TRUE(engine_.counts().Balanced());
  EXPECT_EQ(engine_.counts().requests, 1u);
}

TEST_F(ScannerVersion, TheVersionMustFitWithItsEnd) {
  Install("em002.dat", {"em002", 3, 1, 4567, "12.3.4"});
  const struct {
    uint64_t size;
    UPD_ERROR result;
    const char* version;
    uint32_t build;
  } cases[] = {
      {6, 2, "", 0},
      {7, 0, "12.3.4", 4567},
      {1, 2, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    uint32_t build = 7;
    char version[16] = "previous";
    EXPECT_EQ(Get(&build, version, c.size), c.result);
    EXPECT_STREQ(version, c.version);
    EXPECT_EQ(build, c.build);
  }
}

TEST_F(ScannerVersion, WithoutAScannerOrAnEngineNothingIsFound) {
  Install("em001.dat", {"em001", 3, 0, 22, "scanner of x86"});
  WriteFile(Modules() + "/em002.dat", "the engine cannot read this");
  uint32_t build = 7;
  char version[16] = "previous";
  EXPECT_EQ(Get(&build, version, sizeof version), kUpdNoInstalledModule);
  EXPECT_STREQ(version, "");
  EXPECT_EQ(build, 0u);

  Install("em002.dat", {"em002", 3, 1, 4567, "12.3.4"});
  host_.OnEvent(UPD_EVENT_ENGINE, [](uint32_t, void*) { return 0u; });
  EXPECT_EQ(Get(&build, version, sizeof version), kUpdNoInstalledModule);
  EXPECT_TRUE(engine_.counts().Balanced());
}

// The version is read also after UpdStopUpdates.
TEST_F(ScannerVersion, AStopDoesNotKeepTheVersionBack) {
  Install("em002.dat", {"em002", 3, 1, 4567, "12.3.4"});
  LIB(UpdStopUpdates)(context_);
  uint32_t build = 0;
  char version[16] = {};
  EXPECT_EQ(Get(&build, version, sizeof version), 0u);
  EXPECT_EQ(build, 4567u);
  LIB(UpdResetUpdate)(context_);
}

}  // namespace
}  // namespace upd::test
