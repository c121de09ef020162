#include "updater/engine/package/package_download.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "download_fixture.h"
#include "platform/util/update_errors.h"
#include "updater/engine/lists/list_reconcile.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// The GET requests the server answered (each download asks with HEAD first).
std::vector<std::string> Gets(const NetServer& server, size_t at_least = 0) {
  std::vector<std::string> lines;
  for (const AccessLogEntry& entry : server.AccessLog(at_least)) {
    if (entry.request.rfind("GET ", 0) == 0) lines.push_back(entry.request);
  }
  return lines;
}

// Body bytes the server sent per file name, as its access log has them.
std::map<std::string, uint64_t> SentByName(const NetServer& server, size_t at_least) {
  std::map<std::string, uint64_t> sent;
  for (const AccessLogEntry& entry : server.AccessLog(at_least)) {
    if (entry.request.rfind("GET /", 0) != 0) continue;
    const std::string path = entry.request.substr(5, entry.request.find(' ', 5) - 5);
    sent[path] += entry.bytes;
  }
  return sent;
}

std::string Get(const std::string& path) { return "GET " + path + " HTTP/1.1"; }

std::string Folder(const std::string& path) { return fs::path(path).parent_path().string(); }

class PackageDownload : public PackageDownloadTest {
 protected:
  void SetUp() override {
    PackageDownloadTest::SetUp();
    ASSERT_TRUE(web_.running());
    SafeStrCopy(run_->serverRoot, sizeof run_->serverRoot, web_.Url("/").c_str());
  }

  // Bodies as they are on disk, so that the sizes on the wire are the files' sizes.
  NginxServer web_{dir_.path().string(),
                   NginxServer::Options().ServerConf(
                       "gzip off;"
                       "location = /status/403.nup { return 403; }"
                       "location = /status/500.nup { return 500; }"
                       "location = /status/503.nup { return 503; }")};
};

// An entry through a run's steps: read from the catalogue (listed), marked to
// install by the list step, then downloaded or failed; an entry whose module is
// already at its build loses its marks and is not fetched. The URL stays and the
// file on disk is apart from it.
TEST_F(PackageDownload, AnEntryMovesThroughTheStepsOfARun) {
  const std::string bytes = Serve(web_, "served.nup", "em001_64");
  struct Case {
    const char* name;
    const char* path;  // on the server
    bool mark_for_install;
    bool installed_at_its_build;
    UpdError code;
    uint32_t flags;  // the bits as they are after the download step
    bool downloaded;
  };
  const Case cases[] = {
      {"listed", "/served.nup", false, false, kUpdOk, kComponentHasBuild, false},
      {"selected, downloaded", "/served.nup", true, false, kUpdOk,
       kComponentHasBuild | kComponentInstallMarks | kComponentPresent, true},
      {"selected, failed", "/missing.nup", true, false, kUpdNotFound,
       kComponentHasBuild | kComponentInstallMarks | kComponentPresent | kComponentDownloadFailed,
       false},
      {"installed already", "/served.nup", true, true, kUpdOk, kComponentHasBuild, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lists().updateList.SetSize(0);
    _COMPONENT_INFO& added = Add(lists().updateList, "em001_64", web_.Url(c.path), 0);
    added.flags = kComponentHasBuild;
    added.size = std::nullopt;
    EXPECT_FALSE(IsSelectedForDownload(added));
    if (c.mark_for_install) {
      MarkForInstall(added);
      EXPECT_TRUE(IsSelectedForDownload(added));
      EXPECT_TRUE(IsToInstall(added));
    }
    if (c.installed_at_its_build) {
      CInstalledList installed;
      _INSTALLED_COMPONENT_INFO module;
      SafeStrCopy(module.name, sizeof module.name, "em001_64");
      module.type = kEngineModuleType;
      module.platform = 2;
      module.build = 1;
      installed.Add(module);
      MarkUpToDateModules(installed, lists().updateList);
      EXPECT_FALSE(IsSelectedForDownload(lists().updateList[0]));
    }

    EXPECT_EQ(Download(), c.code);

    const _COMPONENT_INFO& entry = lists().updateList[0];
    EXPECT_EQ(entry.flags, c.flags);
    EXPECT_EQ(IsPresent(entry), c.mark_for_install && !c.installed_at_its_build);
    EXPECT_EQ(HasDownloadFailed(entry), c.code != kUpdOk);
    EXPECT_FALSE(IsSelectedForDownload(entry));
    EXPECT_EQ(entry.url, web_.Url(c.path));
    EXPECT_EQ(!entry.localFile.empty(), IsPresent(entry));
    if (c.downloaded) {
      EXPECT_EQ(Folder(entry.localFile), Updfiles());
      EXPECT_TRUE(FileHolds(entry.localFile, bytes));
      EXPECT_EQ(PackageLocation(entry), entry.localFile);
      fs::remove(entry.localFile);
    } else if (entry.localFile.empty()) {
      EXPECT_EQ(PackageLocation(entry), entry.url);
    } else {
      EXPECT_FALSE(fs::exists(entry.localFile));
    }
  }
}

TEST_F(PackageDownload, TheFourListsComeInOrderWithTheirEvents) {
  const std::string level = Serve(web_, "level.nup", "em001_64");
  const std::string continuous = Serve(web_, "cont.nup", "em002_64");
  const std::string preliminary = Serve(web_, "prel.nup", "em003_64");
  const std::string reverse = Serve(web_, "rev.nup", "em004_64", "a longer payload");
  // Entries the step must pass over: not selected, already present, dropped.
  Add(lists().updateList, "em005_64", web_.Url("/level.nup"), 7).flags = kComponentHasBuild;
  Add(lists().updateList, "em006_64", web_.Url("/level.nup"), 7).flags |= kComponentPresent;
  Add(lists().updateList, "em007_64", web_.Url("/level.nup"), 7).flags |= kComponentDropped;
  // Lists are worked through in their fixed order, whatever order they are filled in.
  Add(lists().reverseList, "em004_64", web_.Url("/rev.nup"), reverse.size());
  Add(lists().preliminaryList, "em003_64", web_.Url("/prel.nup"), preliminary.size());
  Add(lists().continuousList, "em002_64", web_.Url("/cont.nup"), continuous.size());
  Add(lists().updateList, "em001_64", web_.Url("/level.nup"), level.size());
  AskAbove(0);
  host_.Answer(UPD_EVENT_CONFIRM_DOWNLOAD, 1);

  ASSERT_EQ(Download(), kUpdOk);

  EXPECT_EQ(Gets(web_, 8), (std::vector<std::string>{Get("/level.nup"), Get("/cont.nup"),
                                                     Get("/prel.nup"), Get("/rev.nup")}));
  const struct {
    const _COMPONENT_INFO& entry;
    std::string folder;
    const std::string& bytes;
  } expected[] = {{lists().updateList[3], Updfiles(), level},
                  {lists().continuousList[0], Updfiles("continuous"), continuous},
                  {lists().preliminaryList[0], Updfiles("preliminary"), preliminary},
                  {lists().reverseList[0], Updfiles("reverse"), reverse}};
  for (const auto& each : expected) {
    SCOPED_TRACE(each.entry.module);
    EXPECT_EQ(Folder(each.entry.localFile), each.folder);
    EXPECT_EQ(PackagesIn(each.folder), std::vector<std::string>{each.entry.localFile});
    EXPECT_TRUE(FileHolds(each.entry.localFile, each.bytes));
    EXPECT_EQ(each.entry.flags, kComponentHasBuild | kComponentSelected | kComponentPresent);
  }
  EXPECT_EQ(lists().updateList[0].flags, kComponentHasBuild);
  EXPECT_EQ(PackageLocation(lists().updateList[0]), web_.Url("/level.nup"));

  const uint64_t total = level.size() + continuous.size() + preliminary.size() + reverse.size();
  const std::vector<uint32_t> events = DownloadEvents();
  ASSERT_GE(events.size(), 4u);
  EXPECT_EQ(events[0], UPD_EVENT_STATUS);
  EXPECT_EQ(events[1], UPD_EVENT_CONFIRM_DOWNLOAD);
  EXPECT_EQ(events.back(), UPD_EVENT_PACKAGES_DOWNLOADED);
  for (size_t i = 2; i + 1 < events.size(); ++i) EXPECT_EQ(events[i], UPD_EVENT_FILE) << i;

  const auto status = host_.EventsOf(UPD_EVENT_STATUS).at(0).As<UPD_STATUS_EVENT>();
  EXPECT_EQ(status.kind, 1u);
  EXPECT_EQ(status.value, total);
  EXPECT_EQ(status.word, 0u);
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_CONFIRM_DOWNLOAD).at(0).As<UPD_CONFIRM_DOWNLOAD_EVENT>().size,
            total);
  // Each event 3 carries the bytes of one block: together the whole package,
  // as much as the server logged as sent.
  const std::map<std::string, uint64_t> progress = ProgressByName();
  EXPECT_EQ(progress, SentByName(web_, 8));
  EXPECT_EQ(progress, (std::map<std::string, uint64_t>{{"level.nup", level.size()},
                                                       {"cont.nup", continuous.size()},
                                                       {"prel.nup", preliminary.size()},
                                                       {"rev.nup", reverse.size()}}));
  const testhost::RecordedEvent root = host_.EventsOf(UPD_EVENT_PACKAGES_DOWNLOADED).at(0);
  ASSERT_EQ(root.record.size(), 256u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(root.record.data())), web_.Url("/"));
  EXPECT_EQ(root.record.back(), 0);
  EXPECT_EQ(run_->resultFlags, kResultPackageDownloaded);
}

TEST_F(PackageDownload, WithoutAHostCallbackNothingIsAskedOrAnnounced) {
  const std::string bytes = Serve(web_, "a.nup", "em001_64");
  Add(lists().updateList, "em001_64", web_.Url("/a.nup"), 1u << 30);
  AskAbove(1);
  host_.settings()->eventCallback = nullptr;

  ASSERT_EQ(Download(), kUpdOk);

  EXPECT_TRUE(FileHolds(lists().updateList[0].localFile, bytes));
  EXPECT_TRUE(host_.events().empty());
}

TEST_F(PackageDownload, NothingSelectedCreatesNoFileAndNoEvent32) {
  Add(lists().updateList, "em001_64", web_.Url("/a.nup"), 5).flags = kComponentHasBuild;
  Add(lists().continuousList, "em002_64", web_.Url("/b.nup"), 5).flags |= kComponentPresent;

  ASSERT_EQ(Download(), kUpdOk);

  EXPECT_TRUE(PackagesIn(Updfiles()).empty());
  EXPECT_FALSE(fs::exists(Updfiles("continuous")));
  EXPECT_EQ(DownloadEvents(), std::vector<uint32_t>{UPD_EVENT_STATUS});
  EXPECT_EQ(host_.EventsOf(UPD_EVENT_STATUS).at(0).As<UPD_STATUS_EVENT>().value, 0u);
  EXPECT_EQ(run_->resultFlags, 0u);
  EXPECT_TRUE(web_.AccessLog().empty());
}

TEST_F(PackageDownload, OnlyEnginePackagesRaiseEvent32) {
  const std::string bytes = Serve(web_, "lib.nup", "lib");
  Add(lists().updateList, "lib", web_.Url("/lib.nup"), bytes.size(), kCategoryDll);

  ASSERT_EQ(Download(), kUpdOk);

  EXPECT_TRUE(FileHolds(lists().updateList[0].localFile, bytes));
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_PACKAGES_DOWNLOADED).empty());
  EXPECT_EQ(run_->resultFlags, kResultPackageDownloaded);
}

// The total compares with the limit as an unsigned 64-bit number and is
// announced whole; only the 32-bit size of event 20 saturates.
TEST_F(PackageDownload, LargeDownloadsAreAskedForAboveTheLimit) {
  constexpr uint64_t kGiB = uint64_t{1} << 30;
  const struct {
    const char* name;
    uint64_t total;
    uint32_t answer;
    bool asked;
    uint32_t asked_size;
    UPD_ERROR result;
  } cases[] = {
      {"at the limit", 4096 * 1024, 0, false, 0, kUpdOk},
      {"one byte above, declined", 4096 * 1024 + 1, 0, true, 4096 * 1024 + 1, kUpdStopped},
      {"one byte above, accepted", 4096 * 1024 + 1, 1, true, 4096 * 1024 + 1, kUpdOk},
      {"3 GiB", 3 * kGiB, 0, true, static_cast<uint32_t>(3 * kGiB), kUpdStopped},
      {"5 GiB", 5 * kGiB, 0, true, 0xFFFFFFFFu, kUpdStopped},
  };
  const std::string bytes = Serve(web_, "a.nup", "em001_64");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host_.Clear();
    lists().Clear();
    run_->resultFlags = 0;
    const std::string older = Updfiles(std::string("older-") + c.name);
    AddLocal("em009_64", older).flags |= kComponentDropped;
    // The total is made of entries of at most 4 GiB - 1 bytes each.
    uint64_t left = c.total;
    while (left > 0) {
      const uint64_t part = std::min<uint64_t>(left, 0xFFFFFFF0u);
      Add(lists().updateList, "em001_64", web_.Url("/a.nup"), static_cast<uint32_t>(part));
      left -= part;
    }
    AskAbove(4096);
    host_.Answer(UPD_EVENT_CONFIRM_DOWNLOAD, c.answer);

    EXPECT_EQ(Download(), c.result);

    EXPECT_EQ(host_.EventsOf(UPD_EVENT_STATUS).at(0).As<UPD_STATUS_EVENT>().value, c.total);
    const auto asked = host_.EventsOf(UPD_EVENT_CONFIRM_DOWNLOAD);
    ASSERT_EQ(asked.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(asked[0].As<UPD_CONFIRM_DOWNLOAD_EVENT>().size, c.asked_size);
    }
    if (c.result == kUpdStopped) {
      EXPECT_TRUE(PackagesIn(Updfiles()).empty());
      EXPECT_EQ(lists().updateList[0].flags, kComponentHasBuild | kComponentSelected);
    } else {
      EXPECT_TRUE(FileHolds(lists().updateList[0].localFile, bytes));
    }
    // A dropped local package goes on every path.
    EXPECT_FALSE(fs::exists(older));
    for (const std::string& path : PackagesIn(Updfiles())) fs::remove(path);
  }
}

// The first failure ends the step: its file is deleted and no later entry
// is started, but the local package it was to replace is deleted all the same.
TEST_F(PackageDownload, AFailedPackageEndsTheStepAndLeavesNoFile) {
  const std::string present = Serve(web_, "present.nup", "em002_64");
  Add(lists().updateList, "em001_64", web_.Url("/missing.nup"), 100);
  Add(lists().updateList, "em002_64", web_.Url("/present.nup"), present.size());
  Add(lists().continuousList, "em003_64", web_.Url("/present.nup"), present.size(),
      kCategoryEngine, kListContinuous);
  const std::string twin = Updfiles("zelOLD00001.nup");
  const std::string other = Updfiles("zelOLD00002.nup");
  AddLocal("EM001_64", twin);
  AddLocal("em002_64", other);

  EXPECT_EQ(Download(), kUpdNotFound);

  const _COMPONENT_INFO& failed = lists().updateList[0];
  EXPECT_EQ(failed.flags, kComponentHasBuild | kComponentSelected | kComponentPresent |
                              kComponentDownloadFailed);
  EXPECT_EQ(Folder(failed.localFile), Updfiles());
  EXPECT_FALSE(fs::exists(failed.localFile));
  EXPECT_EQ(lists().updateList[1].flags, kComponentHasBuild | kComponentSelected);
  EXPECT_EQ(PackageLocation(lists().updateList[1]), web_.Url("/present.nup"));
  EXPECT_EQ(lists().continuousList[0].flags, kComponentHasBuild | kComponentSelected);
  // The HEAD of the first is answered 404; nothing else is asked for.
  const std::vector<AccessLogEntry> log = web_.AccessLog(1);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].request, "HEAD /missing.nup HTTP/1.1");
  EXPECT_FALSE(fs::exists(twin));
  EXPECT_TRUE(fs::exists(other));
  EXPECT_EQ(PackagesIn(Updfiles()), std::vector<std::string>{other});
  EXPECT_TRUE(host_.EventsOf(UPD_EVENT_PACKAGES_DOWNLOADED).empty());
  EXPECT_EQ(run_->resultFlags, 0u);
}

// A new package replaces the local package of the same category, module
// (any case of A to Z), platform, level and list kind, and no other.
TEST_F(PackageDownload, ADownloadDropsOnlyItsLocalTwins) {
  const std::string bytes = Serve(web_, "a.nup", "em001_64");
  Add(lists().updateList, "em001_64", web_.Url("/a.nup"), bytes.size());
  struct Local {
    const char* name;
    const char* module;
    uint32_t category;
    uint32_t platform;
    int32_t level;
    uint32_t list_kind;
    bool deleted;
  };
  const Local locals[] = {
      {"same", "em001_64", kCategoryEngine, 2, 0, kListPlain, true},
      {"other case", "EM001_64", kCategoryEngine, 2, 0, kListPlain, true},
      {"other module", "em001_65", kCategoryEngine, 2, 0, kListPlain, false},
      {"other category", "em001_64", kCategoryDll, 2, 0, kListPlain, false},
      {"other platform", "em001_64", kCategoryEngine, 1, 0, kListPlain, false},
      {"other level", "em001_64", kCategoryEngine, 2, 1, kListPlain, false},
      {"other list kind", "em001_64", kCategoryEngine, 2, 0, kListContinuous, false},
  };
  for (const Local& local : locals) {
    AddLocal(local.module, Updfiles(local.name), local.list_kind, local.level, local.category)
        .platform = local.platform;
  }

  ASSERT_EQ(Download(), kUpdOk);

  for (const Local& local : locals) {
    EXPECT_EQ(fs::exists(Updfiles(local.name)), !local.deleted) << local.name;
  }
  EXPECT_TRUE(FileHolds(lists().updateList[0].localFile, bytes));
}

// Without a new local file the entry fails with 0x1002 before any request:
// a folder too long for the name pattern (which then holds no name), or a
// folder that is a file.
TEST_F(PackageDownload, NoLocalFileNoDownload) {
  const std::string long_folder = dir_.file(std::string(4085, 'f'));
  const std::string file_folder = Updfiles("plain-file");
  WriteFile(file_folder, "not a folder");
  for (const std::string& folder : {long_folder, file_folder}) {
    SCOPED_TRACE(folder.size());
    lists().Clear();
    Add(lists().updateList, "em001_64", web_.Url("/a.nup"), 10);
    const ::PackageDownload download = Record();
    PackageDownloadJob job(download);

    EXPECT_EQ(DownloadNupPackage(job, lists().updateList, folder.c_str(), "level"),
              kUpdNoUniqueName);

    const _COMPONENT_INFO& entry = lists().updateList[0];
    EXPECT_EQ(entry.flags, kComponentHasBuild | kComponentSelected | kComponentPresent |
                               kComponentDownloadFailed);
    EXPECT_EQ(PackageLocation(entry), web_.Url("/a.nup"));
  }
  EXPECT_EQ(ReadFile(file_folder), "not a folder");
  EXPECT_TRUE(web_.AccessLog().empty());
  EXPECT_EQ(run_->resultFlags, 0u);
}

// A package that the catalogue carries inline is written from it, without
// a request. Event 32 carries at most 255 characters of the server root.
TEST_F(PackageDownload, InlinePackagesComeFromTheCatalogue) {
  WriteFile(run_->catalogue,
            "[em001_64]\r\nfile=dataPkg1\r\n[dataPkg1]\r\ndata0000=SW5saW5lIHBh\r\n"
            "data0001=Y2thZ2UgYnl0ZXM=\r\n");
  ProfileCacheRemoveFile(run_->catalogue.c_str());
  Add(lists().updateList, "em001_64", "dataPkg1", 20);
  const std::string root = "http://" + std::string(300, 'r') + "/";
  SafeStrCopy(run_->serverRoot, sizeof run_->serverRoot, root.c_str());

  ASSERT_EQ(Download(), kUpdOk);

  EXPECT_TRUE(FileHolds(lists().updateList[0].localFile, "Inline package bytes"));
  EXPECT_EQ(Folder(lists().updateList[0].localFile), Updfiles());
  EXPECT_TRUE(web_.AccessLog().empty());
  const auto announced = host_.EventsOf(UPD_EVENT_PACKAGES_DOWNLOADED);
  ASSERT_EQ(announced.size(), 1u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(announced[0].record.data())),
            root.substr(0, 255));
}

// Whatever the server answers, its code reaches the caller unchanged and
// the failed package leaves no file.
TEST_F(PackageDownload, TheServersFailureIsTheStepsResult) {
  const struct {
    const char* path;
    UPD_ERROR result;
  } cases[] = {{"/missing.nup", kUpdNotFound},
               {"/status/403.nup", kUpdForbidden},
               {"/status/500.nup", kUpdServerError},
               {"/status/503.nup", kUpdServiceUnavailable}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    lists().Clear();
    Add(lists().updateList, "em001_64", web_.Url(c.path), 10);

    EXPECT_EQ(Download(), c.result);

    EXPECT_NE(lists().updateList[0].flags & kComponentDownloadFailed, 0u);
    EXPECT_TRUE(PackagesIn(Updfiles()).empty());
  }
}

// nginx keeps a connection open after an answer; the step closes it however it ends.
TEST_F(PackageDownload, TheStepLeavesNoConnectionOpen) {
  const std::string bytes = Serve(web_, "a.nup", "em001_64");
  // A download of the session alone keeps its connection, which the check sees.
  const std::string url = web_.Url("/a.nup");
  FetchFileArgs fetch;
  fetch.url = url.c_str();
  const std::string copy = dir_.file("copy.nup");
  fetch.target = copy.c_str();
  ASSERT_EQ(run_->session->FetchFile(fetch), kUpdOk);
  ASSERT_EQ(EstablishedTo(web_.port()), 1);

  for (const char* path : {"/a.nup", "/missing.nup"}) {
    SCOPED_TRACE(path);
    lists().Clear();
    Add(lists().updateList, "em001_64", web_.Url(path), bytes.size());
    const UPD_ERROR result = Download();
    EXPECT_EQ(result, std::string(path) == "/a.nup" ? kUpdOk : kUpdNotFound);
    EXPECT_EQ(EstablishedTo(web_.port()), 0);
  }
}

// The end of the step runs also when an exception passes through it.
TEST_F(PackageDownload, AnExceptionStillClosesAndDeletes) {
  const std::string bytes = Serve(web_, "a.nup", "em001_64");
  Add(lists().updateList, "em001_64", web_.Url("/a.nup"), bytes.size());
  const std::string twin = Updfiles("zelOLD00001.nup");
  AddLocal("em001_64", twin);
  host_.OnEvent(UPD_EVENT_FILE, [](uint32_t, void*) -> uint32_t {
    throw std::runtime_error("host failure");
  });

  EXPECT_THROW(static_cast<void>(Download()), std::runtime_error);

  EXPECT_EQ(EstablishedTo(web_.port()), 0);
  EXPECT_FALSE(fs::exists(twin));
}

// A package of a local file is copied only when the catalogue that named it
// was itself read from a local source: a server must not make the library
// copy local files into its folders.
TEST_F(PackageDownloadTest, LocalPackagesOnlyForACatalogueReadLocally) {
  const std::string bytes = MakePackage(dir_.file("local/a.nup"), "em001_64");
  const struct {
    const char* name;
    uint32_t listing;
    UPD_ERROR result;
  } cases[] = {{"catalogue over HTTP", kProtocolHttp, kUpdUnsupportedScheme},
               {"catalogue over HTTPS", kProtocolHttps, kUpdUnsupportedScheme},
               {"catalogue from a folder", kProtocolFile, kUpdOk}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    lists().Clear();
    run_->session->listingProtocol = c.listing;
    // Left by a catalogue fetch: packages are no listings, whatever the word says.
    run_->session->sessionWord = CDownloadSession::kListingBit;
    Add(lists().updateList, "em001_64", "FILE:" + dir_.file("local/a.nup"), bytes.size());

    EXPECT_EQ(Download(), c.result);

    const _COMPONENT_INFO& entry = lists().updateList[0];
    if (c.result == kUpdOk) {
      EXPECT_TRUE(FileHolds(entry.localFile, bytes));
      fs::remove(entry.localFile);
    } else {
      EXPECT_NE(entry.flags & kComponentDownloadFailed, 0u);
      EXPECT_TRUE(PackagesIn(Updfiles()).empty());
    }
  }
}

// A package cut off is kept in the session's cache under its key and the
// next attempt asks for the rest only.
TEST_F(PackageDownloadTest, APackageCutOffIsResumedFromTheCache) {
  const std::string bytes = MakePackage(dir_.file("pkg.nup"), "em001_64", 1,
                                        std::string(64 * 1024, 'x'));
  const size_t half = bytes.size() / 2;
  const std::string size = std::to_string(bytes.size());
  // One request per connection: the HEAD that opens each download, then the GET.
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Length: " + size + "\r\nConnection: close\r\n\r\n";
  const std::string rest = HttpResponse(
      "HTTP/1.1 206 Partial Content", bytes.substr(half),
      "Connection: close\r\nContent-Range: bytes " + std::to_string(half) + "-" +
          std::to_string(bytes.size() - 1) + "/" + size + "\r\n");
  const ScriptedConnection answer_head{script::ReadRequest(), script::Send(head), script::Close()};
  ScriptedPeer peer(
      dir_.path().string(),
      {answer_head,
       ScriptedConnection{script::ReadRequest(), script::Send(head + bytes)}.CutAfter(head.size() +
                                                                                     half),
       answer_head, ScriptedConnection{script::ReadRequest(), script::Send(rest), script::Close()}});
  ASSERT_TRUE(peer.running());
  Add(lists().updateList, "em001_64", peer.Url("/pkg.nup"), bytes.size());

  ASSERT_EQ(Download(), kUpdOk);

  EXPECT_TRUE(FileHolds(lists().updateList[0].localFile, bytes));
  std::vector<std::string> gets;
  for (const ScriptedPeer::Request& request : peer.Requests()) {
    if (request.raw.rfind("GET ", 0) == 0) gets.push_back(request.raw);
  }
  ASSERT_EQ(gets.size(), 2u);
  EXPECT_EQ(gets[0].find("Range:"), std::string::npos);
  EXPECT_NE(gets[1].find("Range: bytes=" + std::to_string(half) + "-"), std::string::npos)
      << gets[1];
  // The finished download leaves nothing in the cache.
  EXPECT_TRUE(PackagesIn(data_ + "/cache").empty());
}

TEST(PackageDownloadNames, CacheKeysNameListModulePlatformLanguageBaseAndBuild) {
  _COMPONENT_INFO entry;
  entry.category = kCategoryEngine;
  SafeStrCopy(entry.module, sizeof entry.module, "em001_64");
  entry.platform = 2;
  entry.language = 1033;
  entry.base = std::nullopt;
  entry.build = 4200000000u;
  EXPECT_EQ(PackageCacheKey("level", entry), "level-3-em001_64-2-1033-4294967295-4200000000");
  entry.base = 7;
  EXPECT_EQ(PackageCacheKey("reverse", entry), "reverse-3-em001_64-2-1033-7-4200000000");
  const std::string long_name(200, 'n');
  const std::string key = PackageCacheKey(long_name.c_str(), entry);
  EXPECT_EQ(key, long_name.substr(0, kPackageCacheKeySize - 1));
}

TEST(PackageDownloadNames, FolderJoining) {
  const std::string fits = std::string(4083, 'a') + "/";      // the pattern just fits
  const std::string too_long = std::string(4084, 'a') + "/";  // one character more
  const std::string no_slash(4085, 'a');
  const struct {
    std::string folder;
    std::string joined;
  } cases[] = {
      {"", "zel%08X.nup"},
      {"/u", "/u/zel%08X.nup"},
      {"/u/", "/u/zel%08X.nup"},
      {fits, fits + "zel%08X.nup"},
      {too_long, too_long},
      {no_slash, no_slash + "/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JoinPackageFolder(c.folder.c_str(), "zel%08X.nup"), c.joined) << c.folder.size();
  }
}

}  // namespace
}  // namespace upd::test
