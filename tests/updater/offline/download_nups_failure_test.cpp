#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "offline_fixture.h"
#include "platform/util/update_errors.h"
#include "support/net_servers.h"
#include "testhost/allocator_host.h"

namespace upd::test {
namespace {

using DownloadNupsFailureTest = OfflineFixture;

// A failed catalogue or package download is returned as it is, and the
// host's result record stays as the host left it.
TEST_F(DownloadNupsFailureTest, AFailedDownloadLeavesTheResultUntouched) {
  const struct {
    const char* name;  // also the case's folder
    bool catalogue;
  } cases[] = {{"no-catalogue", false}, {"package-missing", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = dir_.file(c.name);
    fs::create_directories(folder);
    NginxServer web(folder);
    ASSERT_TRUE(web.running()) << web.ErrorLog();
    if (c.catalogue) {
      WriteFile(web.root() + "/update.ver",
                "[em001_64]\r\ncategory=engine\r\nplatform=x64\r\ngroup=engine\r\n"
                "type=em001_64\r\nbuild=200\r\nlevel=0\r\nfile=gone.nup\r\nsize=10\r\n");
    }
    std::memcpy(host_.settings()->updateServer, web.Url("/").c_str(), web.Url("/").size() + 1);
    const std::string data = folder + "/data";
    const uint32_t platforms[] = {1};
    UPD_DOWNLOAD_NUPS_PARAMS params{};
    params.settings = host_.settings();
    params.dataFolder = data.c_str();
    params.groups = "engine";
    params.platformIds = platforms;
    params.platformCount = 1;
    testhost::AllocatorHost allocator;
    UPD_DOWNLOAD_NUPS_RESULT result{};
    result.cbSize = 100;
    result.packages.allocator = allocator.allocator();

    const UPD_ERROR code = LIB(UpdDownloadNups)(&params, &result);

    EXPECT_NE(code, kUpdOk);
    EXPECT_NE(code, kUpdNoContext);
    EXPECT_EQ(result.cbSize, 100u);
    EXPECT_EQ(uint64_t{result.packages.count}, 0u);
    EXPECT_TRUE(result.packages.elements == nullptr);
    EXPECT_EQ(allocator.live(), 0u);
  }
}

}  // namespace
}  // namespace upd::test
