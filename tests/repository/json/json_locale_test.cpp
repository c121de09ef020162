// Numbers under a locale whose decimal mark is a comma, as a host process may
// have set. The locale is compiled at test time into the test's own folder.
#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "json_test_util.h"
#include "repository/json/json_parser.h"
#include "repository/json/json_writer.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

using wexajson::kDocumentDepth;
using wexajson::Parse;

// The process-wide locale, as a host sets it; restored after the test.
class CommaLocale : public testing::Test {
 protected:
  void SetUp() override {
    const std::string target = dir_.file("de_DE.UTF-8");
    if (RunCommand("localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "localedef could not build de_DE.UTF-8 (Debian package locales missing)";
    }
    previous_ = setlocale(LC_ALL, nullptr);
    setenv("LOCPATH", dir_.path().c_str(), 1);
    const bool loaded = setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    unsetenv("LOCPATH");
    if (!loaded) GTEST_SKIP() << "de_DE.UTF-8 does not load";
    ASSERT_STREQ(localeconv()->decimal_point, ",");
  }
  void TearDown() override { setlocale(LC_ALL, previous_.c_str()); }

  TempDir dir_;
  std::string previous_;
};

TEST_F(CommaLocale, NumbersAreReadAndWrittenWithAPoint) {
  // The locale really reads "2.5" as 2 here, which the parser must not do.
  char* end = nullptr;
  EXPECT_EQ(std::strtod("2.5", &end), 2.0);

  const wexajson::Value root = Parse("[2.5, \"0.25\", 1e20]", 0, kDocumentDepth);
  EXPECT_EQ(Describe(root), "[d(2.5),\"0.25\",d(1e+20)]");
  EXPECT_EQ(root.At(1).AsDouble(0), 0.25);
  EXPECT_EQ(root.At(0).AsString(""), "2.500000");
  EXPECT_EQ(root.At(0).AsWString(L""), L"2.500000");
  EXPECT_EQ(wexajson::ToText(root), "[2.5,\"0.25\",1e+20]");
}

}  // namespace
}  // namespace upd::test
