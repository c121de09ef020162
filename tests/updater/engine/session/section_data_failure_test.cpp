#include <gtest/gtest.h>

#include "../catalogue_file_fixture.h"
#include "updater/engine/session/section_data.h"

namespace {

using upd::test::CatalogueTest;

// A full disk while the inline file is written is 0x1020, not success.
TEST_F(CatalogueTest, ExtractSectionDataReportsAFullDisk) {
  std::string text = "[BLOB]\n";
  for (int i = 0; i < 2000; ++i) {
    text += "data" + std::to_string(10000 + i).substr(1) + "=" + std::string(76, 'A') + "\n";
  }
  const std::string path = WriteCatalogue(text);
  EXPECT_EQ(ExtractSectionData("BLOB", "/dev/full", path.c_str()), 0x1020u);
  const std::string small = WriteCatalogue("[S]\ndata0000=SGVsbG8=\n", "small.ver");
  EXPECT_EQ(ExtractSectionData("S", "/dev/full", small.c_str()), 0x1020u);
}

}  // namespace
