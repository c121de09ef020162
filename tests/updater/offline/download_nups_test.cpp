#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "offline_fixture.h"
#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "testhost/allocator_host.h"

namespace upd::test {
namespace {

using testhost::AllocatorHost;

std::string Text(const HOST_STRING& string) {
  return string.capacity > 15 ? std::string(string.heapText, string.length)
                              : std::string(string.inlineText, string.length);
}

void FreeText(HOST_STRING& string) {
  if (string.capacity > 15) string.allocator->Free(string.heapText);
}

// The section of an engine package the catalogue offers.
std::string Section(const std::string& module, const std::string& group, const std::string& file,
                    size_t size, const std::string& platform = "x64") {
  return "[" + module + "]\r\ncategory=engine\r\nplatform=" + platform + "\r\ngroup=" + group +
         "\r\ntype=" + module + "\r\nbuild=200\r\nlevel=0\r\nversion=1.200\r\nfile=" + file +
         "\r\nsize=" + std::to_string(size) + "\r\n";
}

class DownloadNupsTest : public OfflineFixture {
 protected:
  void SetUp() override {
    OfflineFixture::SetUp();
    params_.settings = host_.settings();
    params_.dataFolder = data_.c_str();
    params_.groups = "engine";
    params_.platformIds = platforms_;
    params_.platformCount = 1;
    result_.cbSize = 36;
    result_.packages.allocator = allocator_.allocator();
  }

  void TearDown() override {
    auto* records = static_cast<UPD_NUP_INFO*>(result_.packages.elements);
    for (uint64_t i = 0; i < result_.packages.count; ++i) {
      for (HOST_STRING* s : {&records[i].moduleName, &records[i].version, &records[i].packagePath,
                             &records[i].fileName}) {
        FreeText(*s);
      }
    }
    if (records != nullptr) allocator_.allocator()->Free(records);
    OfflineFixture::TearDown();
  }

  UPD_ERROR Download() { return LIB(UpdDownloadNups)(&params_, &result_); }

  std::string data_ = dir_.file("data");
  uint32_t platforms_[1] = {1};
  AllocatorHost allocator_;
  UPD_DOWNLOAD_NUPS_PARAMS params_{};
  UPD_DOWNLOAD_NUPS_RESULT result_{};
};

// The download of the engine group's packages: one 176-byte record per
// package of that group; a package of another group left in the update
// folder is deleted.
TEST_F(DownloadNupsTest, DescribesTheGroupsPackagesAndDeletesTheOthers) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running()) << web.ErrorLog();
  const std::string em1 = MakeNup(web.root() + "/em1.nup", Full("em001_64", 200));
  const std::string em2 = MakeNup(web.root() + "/em2.nup", Full("em002_64", 200).Group("beta"));
  WriteFile(web.root() + "/update.ver",
            Section("em001_64", "engine", "em1.nup", ReadFile(em1).size()) +
                Section("em002_64", "beta", "em2.nup", ReadFile(em2).size()));
  const std::string stale = MakeNup(data_ + "/updfiles/zel0000AAAA.nup",
                                    Full("em003_64", 3).Group("beta"));
  std::memcpy(host_.settings()->updateServer, web.Url("/").c_str(), web.Url("/").size() + 1);

  ASSERT_EQ(Download(), kUpdOk);

  EXPECT_EQ(result_.cbSize, 36u);
  ASSERT_EQ(uint64_t{result_.packages.count}, 1u);
  const UPD_NUP_INFO& info = static_cast<const UPD_NUP_INFO*>(result_.packages.elements)[0];
  EXPECT_EQ(info.cbSize, 176u);
  EXPECT_EQ(info.build, 200u);
  EXPECT_EQ(info.baseBuild, 0xFFFFFFFFu);
  EXPECT_EQ(info.platformId, 1u);
  EXPECT_EQ(Text(info.moduleName), "em001_64");
  EXPECT_EQ(Text(info.version), "1.200");
  EXPECT_EQ(Text(info.fileName), "em001_64.dat");
  EXPECT_EQ(ReadFile(Text(info.packagePath)), ReadFile(em1));
  EXPECT_EQ(info.moduleName.allocator, info.packagePath.allocator);
  EXPECT_FALSE(fs::exists(stale));
  // Only the named group's package was fetched.
  for (const AccessLogEntry& entry : web.AccessLog(2)) {
    EXPECT_EQ(entry.request.find("em2.nup"), std::string::npos) << entry.request;
  }
}

struct RefusalCase {
  const char* name;
  void (*spoil)(UPD_DOWNLOAD_NUPS_PARAMS&, UPD_DOWNLOAD_NUPS_RESULT&);
  UPD_ERROR code;
};

// Argument refusals answer before any traffic: the server sees nothing.
TEST_F(DownloadNupsTest, RefusalsComeBeforeAnyTraffic) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running()) << web.ErrorLog();
  WriteFile(web.root() + "/update.ver", Section("em001_64", "engine", "em1.nup", 10));
  std::memcpy(host_.settings()->updateServer, web.Url("/").c_str(), web.Url("/").size() + 1);
  const RefusalCase cases[] = {
      {"result size 35", [](auto&, auto& r) { r.cbSize = 35; }, kUpdResultTooSmall},
      {"no settings", [](auto& p, auto&) { p.settings = nullptr; }, kUpdNoSettings},
      {"no data folder", [](auto& p, auto&) { p.dataFolder = nullptr; }, kUpdInvalidRequest},
      {"no groups", [](auto& p, auto&) { p.groups = nullptr; }, kUpdInvalidRequest},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.name);
    UPD_DOWNLOAD_NUPS_PARAMS params = params_;
    UPD_DOWNLOAD_NUPS_RESULT result = result_;
    c.spoil(params, result);
    EXPECT_EQ(LIB(UpdDownloadNups)(&params, &result), c.code);
  }
  EXPECT_EQ(LIB(UpdDownloadNups)(nullptr, &result_), kUpdNoSettings);
  EXPECT_EQ(LIB(UpdDownloadNups)(&params_, nullptr), kUpdResultTooSmall);
  EXPECT_EQ(web.AccessLog(0).size(), 0u);
  EXPECT_FALSE(fs::exists(data_));
}

}  // namespace
}  // namespace upd::test
