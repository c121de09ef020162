#include "updater/engine/catalogue/catalogue_category.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../catalogue_file_fixture.h"

namespace upd::test {
namespace {

using CatalogueCategory = CatalogueTest;

TEST_F(CatalogueCategory, UnusableWithoutTheCategoryOrAnLbSection) {
  struct Case {
    std::string text;
    uint32_t category;
    bool unusable;
  };
  const std::string engine = "[E]\r\ncategory=Engine\r\n";
  const std::string dll = "[D]\r\ncategory=dll\r\n";
  const std::vector<Case> cases = {
      {engine, 3, false},
      {engine, 4, true},
      {dll + engine, 4, false},  // any section will do, not only the first
      {dll, 5, true},
      {dll + "[LB]\r\n", 5, false},
      {"[X]\r\ncategory=nonsense\r\n", 3, true},
      {"[X]\r\nname=x\r\n", 3, true},
      {"", 3, true},  // no section at all
      {"; only a comment\r\n", 3, true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const Catalogue catalogue = Catalogue::FromText(cases[i].text, CatalogueTrust::kUnchecked);
    EXPECT_EQ(CheckUpdateVerCategory(catalogue, cases[i].category), cases[i].unusable);
  }
}

// A catalogue that cannot be read is left to whoever reads it next.
TEST_F(CatalogueCategory, MissingCatalogueCountsAsUsable) {
  const Catalogue absent =
      Catalogue::FromFile(dir_.file("absent.ver").c_str(), CatalogueTrust::kUnchecked);
  EXPECT_FALSE(CheckUpdateVerCategory(absent, 3));
  EXPECT_FALSE(CheckUpdateVerCategory(Catalogue(), 3));
}

}  // namespace
}  // namespace upd::test
