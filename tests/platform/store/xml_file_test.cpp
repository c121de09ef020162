#include "platform/store/xml_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "platform/store/xml_document.h"
#include "platform/store/xml_parser.h"
#include "support/temp_dir.h"
#include "xml_test_util.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

XmlDocumentPtr SampleDocument(size_t modules) {
  XmlDocumentPtr document = MemStoreCreate(0);
  _XML_NODE* root = MemStoreCreateRoot(document.get(), L"BACKUP");
  EXPECT_EQ(MemStoreSetAttribute(document.get(), root, L"VERSION", L"2"), kXmlOk);
  _XML_NODE* snapshot = MemStoreAddChild(document.get(), root, L"SNAPSHOT");
  for (size_t i = 0; i < modules; ++i) {
    _XML_NODE* module = MemStoreAddChild(document.get(), snapshot, L"MODULE");
    EXPECT_EQ(MemStoreSetAttribute(document.get(), module, L"ID", std::to_wstring(i).c_str()),
              kXmlOk);
  }
  return document;
}

std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(XmlFileTest, SaveThenLoadGivesTheSameDocument) {
  TempDir dir;
  XmlDocumentPtr document = SampleDocument(3);
  const std::string path = dir.file("db.xml");
  ASSERT_EQ(MemStoreSaveFile(document.get(), MemStoreGetRoot(document.get()), path.c_str()),
            kXmlOk);
  EXPECT_EQ(ReadFile(path), Serialized(document.get())) << "no NUL is written";
  XmlDocumentPtr loaded;
  ASSERT_EQ(MemStoreLoadFile(&loaded, path.c_str(), kXmlDefaultDepth), kXmlOk);
  EXPECT_EQ(Serialized(loaded.get()), Serialized(document.get()));
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"db.xml"}) << "no temporary file stays";
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST(XmlFileTest, LoadRefusesMissingEmptyAndMalformedFiles) {
  TempDir dir;
  XmlDocumentPtr document;
  EXPECT_EQ(MemStoreLoadFile(&document, dir.file("none.xml").c_str(), 500), kXmlFailure);
  EXPECT_EQ(document, nullptr);
  WriteFile(dir.file("empty.xml"), "");
  EXPECT_EQ(MemStoreLoadFile(&document, dir.file("empty.xml").c_str(), 500), kXmlFailure);
  EXPECT_EQ(MemStoreLoadFile(&document, dir.path().c_str(), 500), kXmlFailure) << "a folder";
  WriteFile(dir.file("bad.xml"), "<A><B></A>");
  EXPECT_EQ(MemStoreLoadFile(&document, dir.file("bad.xml").c_str(), 500), kXmlFailure);
  ASSERT_NE(document, nullptr) << "the rootless document is handed out for release";
  EXPECT_EQ(MemStoreGetRoot(document.get()), nullptr);
  WriteFile(dir.file("deep.xml"), Nested(20));
  EXPECT_EQ(MemStoreLoadFile(&document, dir.file("deep.xml").c_str(), 20), kXmlFailure);
  EXPECT_EQ(MemStoreLoadFile(&document, dir.file("deep.xml").c_str(), 21), kXmlOk);
}

TEST(XmlFileTest, ASaveThatCannotBeWrittenLeavesTheOldFileWhole) {
  TempDir dir;
  const std::string path = dir.file("config.xml");
  WriteFile(path, "<old/>");
  XmlDocumentPtr big = SampleDocument(2000);
  // Writes past the file-size limit fail with EFBIG, as a full disk would.
  auto* previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const uint32_t rc = MemStoreSaveFile(big.get(), MemStoreGetRoot(big.get()), path.c_str());
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
  std::signal(SIGXFSZ, previous_handler);
  EXPECT_EQ(rc, kXmlFailure);
  EXPECT_EQ(ReadFile(path), "<old/>");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"config.xml"});
}

TEST(XmlFileTest, UnwritableDocumentOrFolderFails) {
  TempDir dir;
  XmlDocumentPtr bad = ParseXml("<A v=\"&bogus;\"/>");
  ASSERT_NE(bad, nullptr);
  const std::string path = dir.file("a.xml");
  WriteFile(path, "<old/>");
  EXPECT_EQ(MemStoreSaveFile(bad.get(), MemStoreGetRoot(bad.get()), path.c_str()), kXmlFailure);
  EXPECT_EQ(ReadFile(path), "<old/>");
  XmlDocumentPtr good = SampleDocument(1);
  EXPECT_EQ(
      MemStoreSaveFile(good.get(), MemStoreGetRoot(good.get()), dir.file("missing/a.xml").c_str()),
      kXmlFailure);
}

TEST(XmlFileTest, SaveThroughALinkReplacesTheFileItNames) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  const std::string target = dir.file("real/db.xml");
  WriteFile(target, "<old/>");
  fs::create_symlink(target, dir.path() / "link.xml");
  XmlDocumentPtr document = SampleDocument(1);
  ASSERT_EQ(MemStoreSaveFile(document.get(), MemStoreGetRoot(document.get()),
                             dir.file("link.xml").c_str()),
            kXmlOk);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.xml"));
  EXPECT_EQ(ReadFile(target), Serialized(document.get()));
}

TEST(XmlFileTest, ReplacingAFileKeepsItsModeAndOwner) {
  TempDir dir;
  const std::string path = dir.file("config.xml");
  WriteFile(path, "<old/>");
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  ASSERT_EQ(::chown(path.c_str(), 1234, 5678), 0) << "tests run as root";
  XmlDocumentPtr document = SampleDocument(1);
  ASSERT_EQ(MemStoreSaveFile(document.get(), MemStoreGetRoot(document.get()), path.c_str()),
            kXmlOk);
  EXPECT_EQ(ReadFile(path), Serialized(document.get()));
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0644u);
  EXPECT_EQ(after.st_uid, 1234u);
  EXPECT_EQ(after.st_gid, 5678u);
}

TEST(XmlFileTest, DescriptorPathIsWrittenInPlace) {
  TempDir dir;
  const std::string path = dir.file("fd.xml");
  WriteFile(path, std::string(5000, 'x'));
  const int fd = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  XmlDocumentPtr document = SampleDocument(1);
  const std::string fd_path = "/dev/fd/" + std::to_string(fd);
  EXPECT_EQ(MemStoreSaveFile(document.get(), MemStoreGetRoot(document.get()), fd_path.c_str()),
            kXmlOk);
  ::close(fd);
  EXPECT_EQ(ReadFile(path), Serialized(document.get()));
}

}  // namespace
}  // namespace upd::test
