#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "../api/library_fixture.h"
#include "support/sign_kit.h"
#include "updater/engine/mirror/mirror_markers.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kSizeTooSmall = 0x2302;

// Application packages staged for the mirror under the data folder, some
// with a licence marker.
class PcuListsTest : public LibraryFixture {
 protected:
  // The package reader's temporary files go to the test's folder.
  void SetUp() override {
    fs::create_directories(dir_.file("tmp"));
    ASSERT_EQ(setenv("TMPDIR", dir_.file("tmp").c_str(), 1), 0);
    LibraryFixture::SetUp();
  }
  void TearDown() override {
    LibraryFixture::TearDown();
    unsetenv("TMPDIR");
  }

  std::string Staging(const std::string& name = "") const {
    return Data() + "/updfiles/tempMirrorPCU/" + name;
  }

  // marker: 0 none, 1 not agreed, 2 agreed.
  std::string Stage(const std::string& file, const std::string& app, int marker) {
    fs::create_directories(Staging());
    const std::string payload = dir_.file("payload-" + app);
    WriteFile(payload, "installer of " + app);
    EXPECT_TRUE(SignKit({"nup", Staging(file), payload, "category=component", "name=" + app,
                         "type=" + app, "filename=" + app + ".bin", "platform=winnt64", "build=7",
                         "display_name=App " + app}));
    if (marker != 0) {
      EXPECT_EQ(WriteMarkerFile(MarkerFileName(Staging(file)).c_str(), file.c_str(), marker == 2),
                0u);
    }
    return Staging(file);
  }

  void StageThree() {
    Stage("zel00000001.nup", "appA", 2);
    Stage("zel00000002.nup", "appB", 1);
    Stage("zel00000003.nup", "appC", 0);
  }

  // The entries of a filled list buffer: display name, path, agreed; sorted.
  static std::vector<std::tuple<std::string, std::string, uint32_t>> Entries(
      const std::vector<unsigned char>& buffer) {
    UPD_PCU_LIST_HEADER header;
    std::memcpy(&header, buffer.data(), sizeof header);
    EXPECT_EQ(header.cbSize, 12u);
    EXPECT_EQ(header.firstEntry, 12u);
    std::vector<std::tuple<std::string, std::string, uint32_t>> entries;
    for (uint32_t i = 0; i < header.count; ++i) {
      UPD_PCU_LIST_ENTRY entry;
      std::memcpy(&entry, buffer.data() + 12 + i * sizeof entry, sizeof entry);
      EXPECT_EQ(entry.cbSize, 4232u);
      entries.emplace_back(entry.displayName, entry.packagePath, entry.agreed);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
  }
};

TEST_F(PcuListsTest, AnEmptyFolderGivesTheBareHeader) {
  for (const bool made : {false, true}) {
    SCOPED_TRACE(made);
    if (made) fs::create_directories(Staging());
    std::vector<unsigned char> buffer(12, 0xEE);
    uint64_t size = buffer.size();
    ASSERT_EQ(LIB(UpdGetListPCUInTempFolderEx)(Data().c_str(), buffer.data(), &size), 0u);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(buffer, (std::vector<unsigned char>{12, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 0}));
  }
}

TEST_F(PcuListsTest, EveryStagedPackageWithItsMarkersState) {
  StageThree();
  uint64_t size = 0;
  ASSERT_EQ(LIB(UpdGetListPCUInTempFolderEx)(Data().c_str(), nullptr, &size), 0u);
  ASSERT_EQ(size, 12u + 3 * 4232u);
  std::vector<unsigned char> buffer(size);
  ASSERT_EQ(LIB(UpdGetListPCUInTempFolderEx)(Data().c_str(), buffer.data(), &size), 0u);
  EXPECT_EQ(Entries(buffer),
            (std::vector<std::tuple<std::string, std::string, uint32_t>>{
                {"App appA", Staging("zel00000001.nup"), 1},
                {"App appB", Staging("zel00000002.nup"), 0},
                {"App appC", Staging("zel00000003.nup"), 0}}));
}

// The filter names packages in any case; only those count.
TEST_F(PcuListsTest, TheFilterCountsTheNamedPackagesWhateverTheirCase) {
  StageThree();
  uint64_t size = 0;
  ASSERT_EQ(LIB(UpdGetListPcuInTempFolderExEx)(Data().c_str(), "APPA,appc", nullptr, &size), 0u);
  ASSERT_EQ(size, 12u + 2 * 4232u);
  std::vector<unsigned char> buffer(size);
  ASSERT_EQ(LIB(UpdGetListPcuInTempFolderExEx)(Data().c_str(), "APPA,appc", buffer.data(), &size),
            0u);
  EXPECT_EQ(Entries(buffer), (std::vector<std::tuple<std::string, std::string, uint32_t>>{
                                 {"App appA", Staging("zel00000001.nup"), 1},
                                 {"App appC", Staging("zel00000003.nup"), 0}}));
}

TEST_F(PcuListsTest, TheNameListHoldsEveryDisplayName) {
  StageThree();
  uint64_t size = 0;
  EXPECT_EQ(LIB(UpdGetListPCUInTempFolder)(Data().c_str(), nullptr, &size), kSizeTooSmall);
  ASSERT_EQ(size, 27u);
  std::string names(size, 'x');
  ASSERT_EQ(LIB(UpdGetListPCUInTempFolder)(Data().c_str(), names.data(), &size), 0u);
  EXPECT_EQ(size, 27u);
  std::vector<std::string> listed;
  for (size_t at = 0; at < names.size(); at += listed.back().size() + 1) {
    listed.emplace_back(names.c_str() + at);
  }
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"App appA", "App appB", "App appC"}));
}

// Too little room is told the size needed and nothing is written.
TEST_F(PcuListsTest, TooLittleRoomGivesTheSizeNeeded) {
  StageThree();
  struct Case {
    const char* name;
    UPD_ERROR (*call)(const char* data, void* buffer, uint64_t* size);
    uint64_t needed;
    UPD_ERROR code;
  };
  const Case cases[] = {
      {"Ex",
       [](const char* data, void* buffer, uint64_t* size) {
         return LIB(UpdGetListPCUInTempFolderEx)(data, buffer, size);
       },
       12 + 3 * 4232, 2},
      {"ExEx",
       [](const char* data, void* buffer, uint64_t* size) {
         return LIB(UpdGetListPcuInTempFolderExEx)(data, "appb", buffer, size);
       },
       12 + 4232, 2},
      {"names",
       [](const char* data, void* buffer, uint64_t* size) {
         return LIB(UpdGetListPCUInTempFolder)(data, static_cast<char*>(buffer), size);
       },
       27, kSizeTooSmall},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<unsigned char> buffer(c.needed, 0xEE);
    uint64_t size = c.needed - 1;
    EXPECT_EQ(c.call(Data().c_str(), buffer.data(), &size), c.code);
    EXPECT_EQ(size, c.needed);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](unsigned char b) { return b == 0xEE; }));
  }
}

TEST_F(PcuListsTest, AgreeingRewritesTheMarkerUnderItsStoredName) {
  const std::string package = Stage("zel00000002.nup", "appB", 1);
  ASSERT_FALSE(ReadMarkerFile(MarkerFileName(package).c_str(), "zel00000002.nup", nullptr, 0));
  ASSERT_EQ(LIB(UpdChangeEULAStatusAsAgreed)(package.c_str()), 0u);
  EXPECT_TRUE(ReadMarkerFile(MarkerFileName(package).c_str(), "ZEL00000002.NUP", nullptr, 0));

  const std::string unmarked = Stage("zel00000003.nup", "appC", 0);
  EXPECT_EQ(LIB(UpdChangeEULAStatusAsAgreed)(unmarked.c_str()), 0x1017u);
  EXPECT_FALSE(fs::exists(MarkerFileName(unmarked)));
  WriteFile(MarkerFileName(unmarked), "");
  EXPECT_EQ(LIB(UpdChangeEULAStatusAsAgreed)(unmarked.c_str()), 0x1017u);
}

// A catalogue of three application sections: room for two is told -3.
TEST_F(PcuListsTest, CatalogueComponentsNeedTheLastCatalogue) {
  UPD_COMPONENT_ENTRY entries[3] = {};
  EXPECT_EQ(LIB(UpdGetAllPCUs)(context_, entries, sizeof entries), 0x1011);
  std::string catalogue;
  for (const char* app : {"APP_a", "APP_b", "APP_c"}) {
    catalogue += std::string("[") + app + "]\r\ncategory=component\r\nplatform=winnt64\r\n" +
                 "display_name=" + app + "\r\nbuild=4\r\n";
  }
  fs::create_directories(Data() + "/updfiles");
  WriteFile(UpdateFile("lastupd.ver"), catalogue);
  EXPECT_EQ(LIB(UpdGetAllPCUs)(context_, entries, 2 * sizeof entries[0]), -3);
  ASSERT_EQ(LIB(UpdGetAllPCUs)(context_, entries, sizeof entries), 3);
  EXPECT_STREQ(entries[0].sectionName, "APP_a");
  EXPECT_STREQ(entries[2].sectionPrefix, "APP");
}

// Missing arguments are refused, never followed.
TEST_F(PcuListsTest, MissingArgumentsAreRefused) {
  uint64_t size = 0;
  char buffer[16];
  EXPECT_EQ(LIB(UpdGetListPCUInTempFolder)(Data().c_str(), buffer, nullptr), 0x2301u);
  // Without a data folder there is no package folder to list (not the
  // relative "updfiles/tempMirrorPCU/" of the working folder).
  StageThree();
  const fs::path working = fs::current_path();
  fs::current_path(Data());
  EXPECT_EQ(LIB(UpdGetListPCUInTempFolder)(nullptr, nullptr, &size), 0u);
  fs::current_path(working);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(LIB(UpdGetListPCUInTempFolderEx)(nullptr, buffer, &size), 0x1301u);
  EXPECT_EQ(LIB(UpdGetListPCUInTempFolderEx)(Data().c_str(), buffer, nullptr), 0x1301u);
  EXPECT_EQ(LIB(UpdGetListPcuInTempFolderExEx)(Data().c_str(), nullptr, buffer, &size), 0x1301u);
  EXPECT_EQ(LIB(UpdGetListPcuInTempFolderExEx)(nullptr, "a", buffer, &size), 0x1301u);
  EXPECT_EQ(LIB(UpdChangeEULAStatusAsAgreed)(nullptr), 0x1301u);
  EXPECT_EQ(LIB(UpdChangeEULAStatusAsAgreed)(""), 0x1301u);
  EXPECT_EQ(LIB(UpdGetAllPCUs)(nullptr, nullptr, 0), 0x3001);
}

}  // namespace
}  // namespace upd::test
