#include "updater/engine/package/package_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>

#include "support/sign_kit.h"
#include "support/temp_dir.h"

namespace upd::test {
namespace {

std::span<const uint8_t> Bytes(const std::string& text, size_t n) {
  return {reinterpret_cast<const uint8_t*>(text.data()), n};
}

// The start of a file frames the content exactly as the whole file does once
// it holds the literal's fixed fields, and not at all before.
TEST(PackageLayout, StartOfAFileFramesTheWholeFilesContent) {
  TempDir dir;
  WriteFile(dir.file("payload"), std::string(3000, 'p'));
  ASSERT_TRUE(SignKit({"nup", dir.file("package.nup"), dir.file("payload"), "filename=a.dat"}));
  const std::string file = ReadFile(dir.file("package.nup"));
  ByteRange whole;
  ASSERT_TRUE(LocatePackageContent(Bytes(file, file.size()), &whole));
  ASSERT_GT(whole.offset, 0u);
  for (const size_t cut : {size_t{1}, size_t{2}, size_t{64}, size_t(whole.offset) - 1,
                           size_t(whole.offset), size_t(whole.offset) + 1, file.size() / 2,
                           file.size() - 1, file.size()}) {
    SCOPED_TRACE(cut);
    ByteRange content;
    const bool found = LocatePackageContent(Bytes(file, cut), file.size(), &content);
    EXPECT_EQ(found, cut >= whole.offset);
    if (found) {
      EXPECT_EQ(content, whole);
    }
  }
  // A bare container is the whole file; a start longer than the file is refused.
  const std::string bare = "[update_info]\r\nfilesize=0\r\n";
  ByteRange content;
  ASSERT_TRUE(LocatePackageContent(Bytes(bare, 5), 1000, &content));
  EXPECT_EQ(content, (ByteRange{0, 1000}));
  EXPECT_FALSE(LocatePackageContent(Bytes(bare, bare.size()), 5, &content));
}

}  // namespace
}  // namespace upd::test
