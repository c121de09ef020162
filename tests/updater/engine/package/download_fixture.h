#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/store/profile_cache.h"
#include "platform/util/host_binding.h"
#include "platform/util/strings.h"
#include "support/net_servers.h"
#include "support/sign_kit.h"
#include "support/temp_dir.h"
#include "testhost/engine_standin.h"
#include "testhost/event_host.h"
#include "updater/engine/package/package_download.h"
#include "updater/engine/session/download_session.h"

namespace upd::test {

// The file at path holds exactly bytes (reported by size, not dumped).
inline ::testing::AssertionResult FileHolds(const std::string& path, const std::string& bytes) {
  if (!std::filesystem::is_regular_file(path)) {
    return ::testing::AssertionFailure() << "no file " << path;
  }
  const std::string held = ReadFile(path);
  if (held == bytes) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << path << " holds " << held.size()
                                       << " bytes, not the " << bytes.size() << " expected";
}

// Client sockets of this process still connected to port (its keep-alive
// connections), from the kernel's table: state 01 is ESTABLISHED.
inline int EstablishedTo(uint16_t port) {
  int count = 0;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::istringstream lines(ReadFile(table));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      const uint16_t remote_port =
          static_cast<uint16_t>(std::stoul(remote.substr(remote.find(':') + 1), nullptr, 16));
      if (remote_port == port && state == "01") ++count;
    }
  }
  return count;
}

// What a run keeps for the package download, made here without a library
// context: the test's own folders ("data/updfiles/" and the session's
// "data/cache"), settings of an event host, the lists, the catalogue pair,
// the server root and the result flags.
struct DownloadParts {
  HostBinding host;
  CUpdateLists lists;
  std::unique_ptr<CDownloadSession> session;
  std::string catalogue;
  std::string lastCatalogue;
  char serverRoot[UPD_PATH_SIZE] = {};
  uint32_t resultFlags = 0;
};

// The package download on its parts, with packages made by the signing kit
// around engine stand-in module files.
class PackageDownloadTest : public ::testing::Test {
 protected:
  PackageDownloadTest() { ProfileCacheClear(); }
  ~PackageDownloadTest() override { ProfileCacheClear(); }

  void SetUp() override { MakeParts(dir_.file("data")); }

  void MakeParts(const std::string& data_folder) {
    data_ = data_folder;
    std::filesystem::create_directories(Updfiles());
    run_ = std::make_unique<DownloadParts>();
    run_->host.settings = host_.settings();
    SafeStrCopy(run_->host.updateFolder, sizeof run_->host.updateFolder,
                (Updfiles() + "/").c_str());
    run_->catalogue = Updfiles("upd.ver");
    run_->lastCatalogue = Updfiles("lastupd.ver");
    run_->session = std::make_unique<CDownloadSession>((data_ + "/cache").c_str());
  }

  // The step's record on the parts.
  PackageDownload Record() {
    return {run_->host,       *run_->session,   run_->lists, run_->catalogue.c_str(),
            run_->serverRoot, run_->resultFlags};
  }

  std::string Updfiles(const std::string& name = "") const {
    return name.empty() ? data_ + "/updfiles" : data_ + "/updfiles/" + name;
  }

  // A signed package whose payload is a stand-in module file of module at
  // build; its bytes.
  std::string MakePackage(const std::string& path, const std::string& module, uint32_t build = 1,
                          const std::string& padding = "") {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string payload_path = dir_.file("payload-" + module + ".bin");
    WriteFile(payload_path, testhost::ModuleFileText({module, 3, 2, build, "1.0"}, padding));
    EXPECT_TRUE(SignKit({"nup", path, payload_path, "category=engine", "platform=x64",
                         "type=" + module, "filename=" + module + ".dat",
                         "build=" + std::to_string(build)}));
    return ReadFile(path);
  }

  // A package served by web at /name; its bytes.
  std::string Serve(const WebServer& web, const std::string& name, const std::string& module,
                    const std::string& padding = "") {
    return MakePackage(web.root() + "/" + name, module, 1, padding);
  }

  // An entry selected for download.
  static _COMPONENT_INFO& Add(CListBase& list, const std::string& module, const std::string& url,
                              uint32_t size, uint32_t category = kCategoryEngine,
                              uint32_t list_kind = kListPlain) {
    _COMPONENT_INFO entry;
    entry.flags = kComponentHasBuild | kComponentSelected;
    SafeStrCopy(entry.name, sizeof entry.name, module.c_str());
    SafeStrCopy(entry.module, sizeof entry.module, module.c_str());
    entry.platform = 2;
    entry.category = category;
    entry.build = 1;
    entry.listKind = list_kind;
    entry.url = url;
    entry.size = size;
    list.Add(entry);
    return list[list.GetSize() - 1];
  }

  // A local package on disk in the local list, as the folder scan leaves it.
  _COMPONENT_INFO& AddLocal(const std::string& module, const std::string& path,
                            uint32_t list_kind = kListPlain, int32_t level = 0,
                            uint32_t category = kCategoryEngine) {
    WriteFile(path, "older package of " + module);
    _COMPONENT_INFO& entry = Add(lists().localList, module, path, 10, category, list_kind);
    entry.url.clear();
    entry.localFile = path;
    entry.flags = kComponentHasBuild | kComponentPresent;
    entry.level = level;
    return entry;
  }

  // The "zel*.nup" files directly in folder.
  static std::vector<std::string> PackagesIn(const std::string& folder) {
    std::vector<std::string> found;
    if (!std::filesystem::exists(folder)) return found;
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
      const std::string name = item.path().filename().string();
      if (item.is_regular_file() && name.rfind("zel", 0) == 0) found.push_back(item.path());
    }
    return found;
  }

  // Events of the package download, in the order the host saw them.
  std::vector<uint32_t> DownloadEvents() const {
    std::vector<uint32_t> seen;
    for (const testhost::RecordedEvent& event : host_.events()) {
      if (event.event == UPD_EVENT_STATUS || event.event == UPD_EVENT_CONFIRM_DOWNLOAD ||
          event.event == UPD_EVENT_FILE || event.event == UPD_EVENT_PACKAGES_DOWNLOADED) {
        seen.push_back(event.event);
      }
    }
    return seen;
  }

  // The sum of the event 3 values per file name.
  std::map<std::string, uint64_t> ProgressByName() const {
    std::map<std::string, uint64_t> sums;
    for (const testhost::RecordedEvent& event : host_.EventsOf(UPD_EVENT_FILE)) {
      const auto record = event.As<UPD_FILE_EVENT>();
      sums[record.name] += record.value;
    }
    return sums;
  }

  void AskAbove(uint32_t limit_kib) {
    host_.settings()->confirmLargeDownload = 1;
    host_.settings()->largeDownloadLimitKiB = limit_kib;
  }

  UPD_ERROR Download() { return DownloadPackages(Record()); }
  CUpdateLists& lists() { return run_->lists; }

  TempDir dir_;
  std::string data_;
  testhost::EventHost host_;
  std::unique_ptr<DownloadParts> run_;
};

}  // namespace upd::test
