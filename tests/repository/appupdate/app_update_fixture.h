#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/util/host_records.h"
#include "platform/util/update_errors.h"
#include "repository/client/host_lists.h"
#include "support/net_servers.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/allocator_host.h"
#include "updater/api/context.h"
#include "updater/api/library_fixture.h"
#include "updater/engine/catalogue/signed_buffer.h"

namespace upd::test {

// The installed version of the fixture's product ("1.0.0.0") as the
// repository numbers versions.
inline constexpr int64_t kBase = int64_t{1} << 48;

// One application resource of a "metadata3" document.
struct Resource {
  std::string id;
  int format = 8;
  int64_t versionId = kBase + 5;
  std::string version = "1.0.0.5";
  std::string path;      // of the package below the product folder
  std::string content;   // served at path
  std::string hash;      // empty: the SHA-1 of content
  std::string extra;     // more members of "application"
};

inline std::string Sha1(const std::string& content, const std::string& scratch) {
  WriteFile(scratch, content);
  std::string out;
  EXPECT_EQ(RunCommand("sha1sum '" + scratch + "' | cut -c1-40", &out), 0);
  out.resize(40);
  return out;
}

// The exports of the built library against a product repository that nginx
// serves from the test's folder; the host's arrays use an allocator of the
// test, and the temporary folder is the test's own.
class AppUpdateFixture : public LibraryFixture {
 protected:
  static constexpr char kProduct[] = "suite.home";

  void SetUp() override {
    LibraryFixture::SetUp();
    ASSERT_TRUE(web_.running());
    std::filesystem::create_directories(TempFolder());
    setenv("TMPDIR", TempFolder().c_str(), 1);
    UPDATER_SETTINGS& settings = *host_.settings();
    const std::string server = web_.Url("/repo/");
    std::strncpy(settings.updateServer, server.c_str(), sizeof settings.updateServer - 1);
    std::strcpy(settings.productName, kProduct);
    std::strcpy(settings.productVersion2, "1.0.0.0");
    std::strcpy(settings.language, "en-us");
  }
  void TearDown() override {
    LibraryFixture::TearDown();
    unsetenv("TMPDIR");
  }

  std::string TempFolder() const { return dir_.file("tmp"); }
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TempFolder())) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  // product's metadata3, signed as the repository signs it, offering the
  // resources (each package served at its path).
  void Publish(const std::string& product, std::vector<Resource> resources,
               const std::string& more_members = "") {
    std::string folder = product;
    std::replace(folder.begin(), folder.end(), '.', '/');
    std::string refs;
    std::string members;
    for (Resource& r : resources) {
      if (!r.content.empty()) web_.PutFile("repo/" + folder + "/" + r.path, r.content);
      if (r.hash.empty()) r.hash = Sha1(r.content, dir_.file("sha1.bin"));
      refs += std::string(refs.empty() ? "" : ", ") + R"({"reference": ")" + r.id + R"("})";
      members += ", \"" + r.id + R"(": {"application": {"id": ")" + r.id +
                 R"(", "format": )" + std::to_string(r.format) +
                 R"(, "version_id": )" + std::to_string(r.versionId) + R"(, "version": ")" +
                 r.version + R"(", "path": ")" + r.path + R"(", "size": )" +
                 std::to_string(r.content.size()) + R"(, "hash": ")" + r.hash +
                 R"(", "date": 1700000000)" + r.extra + "}}";
    }
    const std::string json = R"({"root": {"decision_tree": {"switch": {"var": "x", "cases": [)"
                             R"({"file": [)" + refs + "]}]}}}" + members + more_members + "}";
    PublishSigned("repo/" + folder + "/metadata3", json);
  }

  void PublishSigned(const std::string& relative, const std::string& text) {
    const std::string plain = dir_.file("plain.json");
    const std::string signed_path = dir_.file("signed.bin");
    WriteFile(plain, text);
    ASSERT_TRUE(SignKit({"sign", std::string(kRepositorySigner), plain, signed_path}));
    web_.PutFile(relative, ReadFile(signed_path));
  }

  // The events of the host in order, by number.
  std::vector<uint32_t> EventNumbers() const {
    std::vector<uint32_t> numbers;
    for (const auto& event : host_.events()) numbers.push_back(event.event);
    return numbers;
  }
  std::vector<uint32_t> Phases() const {
    std::vector<uint32_t> phases;
    for (const auto& event : host_.EventsOf(UPD_EVENT_PHASE)) phases.push_back(event.As<uint32_t>());
    return phases;
  }

  NginxServer web_{dir_.path().string()};
  testhost::AllocatorHost allocator_;
};

inline std::string Text(const HOST_STRING& string) { return std::string(HostStringView(&string)); }

}  // namespace upd::test
