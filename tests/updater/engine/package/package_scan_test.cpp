#include "updater/engine/package/package_scan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../package_fixture.h"
#include "platform/util/update_errors.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

using PackageScanTest = PackageFolderTest;

// The packages of most tests are unsigned: only their headers are read.
constexpr FolderScan kHeaders{.skipSignature = true};

TEST_F(PackageScanTest, ReadsTheHeaderIntoAFreshRecord) {
  const std::string package = Path("a.nup");
  ASSERT_TRUE(MakePackage(
      package, EngineKeys("em001_64", {"name=EM001", "build=1234", "level=2", "base=1200",
                                       "size=777", "group=engine,beta", "version=1.2"})));
  _COMPONENT_INFO record;
  record.flags = kComponentDropped;
  record.basePath = "stale";
  ASSERT_EQ(ReadUpdateInfoSection(package.c_str(), &record, true), kUpdOk);
  EXPECT_EQ(record.flags, kComponentHasBuild | kComponentPresent);
  EXPECT_STREQ(record.name, "EM001");
  EXPECT_STREQ(record.module, "em001_64");
  EXPECT_EQ(record.category, kCategoryEngine);
  EXPECT_EQ(record.platform, 1u);
  EXPECT_EQ(record.build, 1234u);
  EXPECT_EQ(record.level, 2);
  EXPECT_EQ(record.base, 1200u);
  EXPECT_EQ(record.size, 777u);
  EXPECT_STREQ(record.group, "engine,beta");
  EXPECT_STREQ(record.version, "1.2");
  EXPECT_EQ(record.filename, "em001_64.dat");
  EXPECT_EQ(record.localFile, package);
  EXPECT_EQ(record.basePath, "");
  EXPECT_EQ(record.listKind, kListPlain);
  EXPECT_TRUE(TmpIsEmpty());
}

// The header is the section "update_info": without "name" that is the name.
TEST_F(PackageScanTest, AHeaderWithoutNameOrSizeKeepsTheReaderDefaults) {
  const std::string package = Path("a.nup");
  ASSERT_TRUE(MakePackage(package, EngineKeys("em001_64", {"build=5"})));
  _COMPONENT_INFO record;
  ASSERT_EQ(ReadUpdateInfoSection(package.c_str(), &record, true), kUpdOk);
  EXPECT_STREQ(record.name, "update_info");
  EXPECT_EQ(record.size, std::nullopt);
  EXPECT_EQ(record.level, std::nullopt);
}

TEST_F(PackageScanTest, RefusedPackagesAnswerTheirCodes) {
  WriteFile(Path("garbage.nup"), std::string(3000, 'x'));
  ASSERT_TRUE(MakePackage(Path("unknown-category.nup"),
                          {"category=firmware", "platform=x64", "type=em001_64"}));
  ASSERT_TRUE(MakePackage(Path("unknown-platform.nup"),
                          {"category=engine", "platform=sparc", "type=em001_64"}));
  ASSERT_TRUE(MakePackage(Path("unsigned.nup"), EngineKeys("em001_64")));
  ASSERT_TRUE(MakePackage(Path("foreign.nup"), EngineKeys("em001_64", {"--foreign"}), true));
  ASSERT_TRUE(
      MakePackage(Path("bad-crc.nup"), EngineKeys("em001_64", {"--corrupt-payload"}), true));
  const struct {
    const char* file;
    bool skip_signature;
    UPD_ERROR expected;
  } cases[] = {
      {"missing.nup", true, kUpdMissing},
      {"garbage.nup", true, kUpdBadFile},
      {"unknown-category.nup", true, kUpdBadFile},
      {"unknown-platform.nup", true, kUpdBadFile},
      {"unsigned.nup", false, kUpdSignatureMismatch},
      {"foreign.nup", false, kUpdSignatureMismatch},
      {"bad-crc.nup", false, kUpdBadFile},
      // Without the signature check only the header is read.
      {"unsigned.nup", true, kUpdOk},
      {"foreign.nup", true, kUpdOk},
      {"bad-crc.nup", true, kUpdOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + (c.skip_signature ? " header" : " whole"));
    _COMPONENT_INFO record;
    EXPECT_EQ(ReadUpdateInfoSection(Path(c.file).c_str(), &record, c.skip_signature), c.expected);
    EXPECT_TRUE(TmpIsEmpty());
  }
}

TEST_F(PackageScanTest, SignedPackagesAreReadWithTheSignatureChecked) {
  const std::string package = Path("signed.nup");
  ASSERT_TRUE(MakePackage(package, EngineKeys("em001_64", {"build=9"}), true));
  _COMPONENT_INFO record;
  ASSERT_EQ(ReadUpdateInfoSection(package.c_str(), &record, false), kUpdOk);
  EXPECT_EQ(record.build, 9u);
  EXPECT_EQ(record.localFile, package);
}

// Invalid packages are deleted, everything else in the folder stays.
TEST_F(PackageScanTest, ScanKeepsEnginePackagesAndDeletesInvalidOnes) {
  const std::string folder = Path("updfiles");
  ASSERT_TRUE(MakePackage(folder + "/engine.nup", EngineKeys("em001_64", {"build=3"})));
  ASSERT_TRUE(MakePackage(folder + "/dll.nup", {"category=dll", "platform=x64", "type=lib",
                                                "filename=lib.so", "build=4"}));
  ASSERT_TRUE(MakePackage(folder + "/refused.nup", {"category=firmware"}));
  WriteFile(folder + "/corrupt.nup", "no header here");
  WriteFile(folder + "/notes.txt", "not a package");
  fs::create_directories(folder + "/folder.nup");

  CListBase list;
  const FolderScan scan{.pattern = "*.nup",
                        .flagsToSet = kComponentSelected,
                        .onlyEngine = true,
                        .skipDuplicates = false,
                        .skipSignature = true};
  EXPECT_EQ(ScanFolderToList(folder.c_str(), &list, 0, scan), 1u);
  ASSERT_EQ(list.GetSize(), 1);
  EXPECT_STREQ(list[0].module, "em001_64");
  EXPECT_EQ(list[0].flags, kComponentHasBuild | kComponentPresent | kComponentSelected);
  EXPECT_EQ(list[0].size, fs::file_size(folder + "/engine.nup"));
  EXPECT_EQ(list[0].localFile, folder + "/engine.nup");

  EXPECT_TRUE(fs::exists(folder + "/engine.nup"));
  EXPECT_TRUE(fs::exists(folder + "/dll.nup"));
  EXPECT_TRUE(fs::exists(folder + "/notes.txt"));
  EXPECT_TRUE(fs::is_directory(folder + "/folder.nup"));
  EXPECT_FALSE(fs::exists(folder + "/corrupt.nup"));
  EXPECT_FALSE(fs::exists(folder + "/refused.nup"));
  EXPECT_TRUE(TmpIsEmpty());
}

TEST_F(PackageScanTest, ScanWithTheSignatureCheckDeletesUntrustedPackages) {
  const std::string folder = Path("packages");
  ASSERT_TRUE(MakePackage(folder + "/genuine.nup", EngineKeys("em001_64"), true));
  ASSERT_TRUE(MakePackage(folder + "/foreign.nup", EngineKeys("em002_64", {"--foreign"}), true));
  ASSERT_TRUE(
      MakePackage(folder + "/bad-crc.nup", EngineKeys("em003_64", {"--corrupt-payload"}), true));
  ASSERT_TRUE(MakePackage(folder + "/unsigned.nup", EngineKeys("em004_64")));

  CListBase header_only;
  EXPECT_EQ(ScanFolderToList(folder.c_str(), &header_only, 0, {.skipSignature = true}), 4u);

  CListBase checked;
  EXPECT_EQ(ScanFolderToList(folder.c_str(), &checked, 0, {.skipSignature = false}), 1u);
  ASSERT_EQ(checked.GetSize(), 1);
  EXPECT_STREQ(checked[0].module, "em001_64");
  EXPECT_TRUE(fs::exists(folder + "/genuine.nup"));
  EXPECT_FALSE(fs::exists(folder + "/foreign.nup"));
  EXPECT_FALSE(fs::exists(folder + "/bad-crc.nup"));
  EXPECT_FALSE(fs::exists(folder + "/unsigned.nup"));
}

TEST_F(PackageScanTest, ScanStoresFromTheStartIndexAndCanSkipDuplicates) {
  ASSERT_TRUE(MakePackage(Path("one/a.nup"), EngineKeys("em001_64", {"build=1", "level=0"})));
  ASSERT_TRUE(MakePackage(Path("two/a.nup"), EngineKeys("em001_64", {"build=1", "level=0"})));
  ASSERT_TRUE(MakePackage(Path("two/b.nup"), EngineKeys("em002_64", {"build=1", "level=0"})));

  CListBase list;
  list.SetSize(3);
  SafeStrCopy(list[2].module, sizeof list[2].module, "kept at 2");
  EXPECT_EQ(ScanFolderToList(Path("one").c_str(), &list, 1, kHeaders), 1u);
  ASSERT_EQ(list.GetSize(), 3);
  EXPECT_STREQ(list[1].module, "em001_64");
  EXPECT_STREQ(list[2].module, "kept at 2");

  // The copy of one/a.nup in two/ is the same package.
  FolderScan skip = kHeaders;
  skip.skipDuplicates = true;
  EXPECT_EQ(ScanFolderToList(Path("two").c_str(), &list, 3, skip), 1u);
  ASSERT_EQ(list.GetSize(), 4);
  EXPECT_STREQ(list[3].module, "em002_64");
  EXPECT_EQ(ScanFolderToList(Path("two").c_str(), &list, 4, kHeaders), 2u);
  EXPECT_EQ(list.GetSize(), 6);
}

TEST_F(PackageScanTest, ScanOfAMissingFolderStoresNothing) {
  CListBase list;
  EXPECT_EQ(ScanFolderToList(Path("absent").c_str(), &list, 0, kHeaders), 0u);
  EXPECT_EQ(list.GetSize(), 0);
}

TEST_F(PackageScanTest, DeleteSelectedFilesDeletesFlaggedFilesAndTheModulesOfRawFiles) {
  const struct {
    const char* file;
    uint32_t flags;
    bool deleted;
  } records[] = {
      {"dropped.nup", kComponentDropped, true},
      {"failed.nup", kComponentDownloadFailed, true},
      {"kept.nup", kComponentPresent, false},
      {"module.dat.RAW", kComponentDropped, true},
  };
  CListBase list;
  for (const auto& r : records) {
    WriteFile(Path(r.file), "x");
    _COMPONENT_INFO record;
    record.localFile = Path(r.file);
    record.flags = r.flags;
    list.Add(record);
  }
  WriteFile(Path("module.dat"), "the module the raw file came with");
  _COMPONENT_INFO without_file;
  without_file.flags = kComponentDropped;
  list.Add(without_file);

  DeleteSelectedFiles(list, kComponentDropped | kComponentDownloadFailed);
  for (const auto& r : records) EXPECT_EQ(fs::exists(Path(r.file)), !r.deleted) << r.file;
  EXPECT_FALSE(fs::exists(Path("module.dat")));
}

}  // namespace
}  // namespace upd::test
