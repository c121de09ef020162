#include <gtest/gtest.h>

#include "library_fixture.h"

namespace upd::test {
namespace {

// The exports the interface keeps without a function (the README's "What it
// does not do" names them): each answers 3 through the loaded library.
TEST(StubExportsTest, EachAnswersNotSupported) {
  ASSERT_TRUE(Library().loaded()) << Library().error();
  const struct {
    const char* name;
    UPD_ERROR (*call)();
  } cases[] = {
      {"UpdGetScannerVersion", LIB(UpdGetScannerVersion)},
      {"UpdGetScannerVersionEx", LIB(UpdGetScannerVersionEx)},
      {"UpdSetupEngines", LIB(UpdSetupEngines)},
      {"UpdSetupEngines2", LIB(UpdSetupEngines2)},
      {"UpdCopyPCUs2Mirror", LIB(UpdCopyPCUs2Mirror)},
      {"UpdRunSetup", LIB(UpdRunSetup)},
      {"UpdExtractEULAFromNUP", LIB(UpdExtractEULAFromNUP)},
      {"UpdBackupCreateSnapshot", LIB(UpdBackupCreateSnapshot)},
  };
  for (const auto& c : cases) {
    ASSERT_NE(c.call, nullptr) << c.name << " is not exported";
    EXPECT_EQ(c.call(), 3u) << c.name;
  }
}

}  // namespace
}  // namespace upd::test
