// The catalogue step against hostile servers: a gzip bomb, an endless body
// or a length past the document limit fails the server with 0x3101 on both
// roads without writing past the limit, and a redirect without a usable
// Location fails with 0x1203; the run catalogue keeps what it held and no
// temporary file or kept copy stays behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue_fixture.h"
#include "platform/util/update_errors.h"
#include "support/file_size_limit.h"
#include "support/hostile_bodies.h"
#include "updater/engine/catalogue/catalogue_buffer.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

constexpr char kOldCatalogue[] = "[ENGINE_old]\r\nname=loader\r\n";

class CatalogueBoundFailureTest : public CatalogueFetchTest {
 protected:
  // The configured road takes the plain form into a file, the chosen one
  // the signed form into memory; the run catalogue holds an older one.
  void UseRoad(bool chosen, const ScriptedPeer& peer) {
    SetServer(chosen ? "AUTOSELECT" : peer.Url("/srv/"));
    SetSecondServer(chosen ? peer.Url("/srv/") : "");
    fs::create_directories(UpdateFolder());
    WriteFile(context_->updVerPath, kOldCatalogue);
  }

  // The files under the update folder.
  std::vector<std::string> UpdateFolderFiles() const {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(UpdateFolder())) {
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
    return files;
  }
};

TEST_F(CatalogueBoundFailureTest, AHostileBodyFailsTheServerWithinTheDocumentLimit) {
  struct Case {
    const char* name;
    ScriptedConnection answer;
  };
  const Case kCases[] = {
      {"gzip bomb", GzipBomb(10'000'000)},
      {"endless body", EndlessBody()},
      {"endless chunked body", EndlessBody(/*chunked=*/true)},
      {"200 MiB announced", Announcing(uint64_t{200} << 20)},
  };
  for (const bool chosen : {false, true}) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(std::string(chosen ? "chosen road, " : "configured road, ") + c.name);
      ScriptedPeer peer(dir_.path().string(), {}, ScriptedPeer::Options().Otherwise(c.answer));
      ASSERT_TRUE(peer.running());
      UseRoad(chosen, peer);
      const std::vector<std::string> before = UpdateFolderFiles();
      {
        const FileSizeLimit cap(CCatalogueBuffer::kMaxBody);
        ASSERT_TRUE(cap.active());
        EXPECT_EQ(Fetch(1), kUpdOutOfMemory);
      }
      EXPECT_EQ(RunCatalogue(), kOldCatalogue);
      EXPECT_EQ(UpdateFolderFiles(), before);
      EXPECT_FALSE(peer.Requests().empty());
    }
  }
}

TEST_F(CatalogueBoundFailureTest, ARedirectWithoutLocationLeavesTheRunCatalogueAsItWas) {
  const std::string page = "<html><body>Moved</body></html>";
  for (const bool chosen : {false, true}) {
    for (const uint32_t status : {301u, 302u, 307u, 308u}) {
      SCOPED_TRACE(std::string(chosen ? "chosen road, " : "configured road, ") +
                   std::to_string(status));
      ScriptedPeer peer(dir_.path().string(), {},
                        ScriptedPeer::Options().Otherwise(
                            {script::ReadRequest(),
                             script::Send(HttpResponse("HTTP/1.1 " + std::to_string(status) +
                                                           " Moved",
                                                       page, "Content-Type: text/html\r\n"))}));
      ASSERT_TRUE(peer.running());
      UseRoad(chosen, peer);
      const std::vector<std::string> before = UpdateFolderFiles();
      EXPECT_EQ(Fetch(1), kUpdUnsupportedScheme);
      EXPECT_EQ(RunCatalogue(), kOldCatalogue);
      EXPECT_EQ(UpdateFolderFiles(), before);
    }
  }
}

}  // namespace
}  // namespace upd::test
