#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "net/http/download_cache.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"
#include "session_fixture.h"
#include "support/file_size_limit.h"
#include "support/hostile_bodies.h"
#include "support/net_servers.h"
#include "support/test_bytes.h"

// The session's size bounds against hostile servers: a download past its
// bound leaves no file and nothing in the cache (an older partial of its key
// goes too), one cut within its bound still resumes, what nobody announced
// is bounded by the named defaults, and a FILE source too large is not read.
namespace {

namespace fs = std::filesystem;
using upd::test::FileSizeLimit;
using upd::test::HttpResponse;
using upd::test::RandomBytes;
using upd::test::ReadFile;
using upd::test::ScriptedConnection;
using upd::test::ScriptedPeer;
using upd::test::WriteFile;
namespace script = upd::test::script;

constexpr char kKey[] = "level-3-em001_64-1-0-0-200";

class DownloadBoundFailureTest : public upd::test::SessionTest {
 protected:
  FetchFileArgs Fetch(const std::string& url, const std::string& target, TransferBound bound) {
    url_ = url;
    target_ = target;
    FetchFileArgs args;
    args.url = url_.c_str();
    args.target = target_.c_str();
    args.settings = host_.settings();
    args.cacheKey = kKey;
    args.extraFlag = 1;
    args.sizeBound = bound;
    return args;
  }

  // The files of the cache folder other than its index.
  std::vector<std::string> CachedFiles() const {
    std::vector<std::string> files;
    if (!fs::exists(dir_.file("cache"))) return files;
    for (const auto& entry : fs::directory_iterator(dir_.file("cache"))) {
      if (entry.path().filename() != CDownloadCache::kIndexName) {
        files.push_back(entry.path().filename().string());
      }
    }
    return files;
  }

  bool KeyCached() const {
    char path[UPD_PATH_SIZE];
    return CDownloadCache(dir_.file("cache")).Lookup(kKey, path, sizeof path) == kUpdOk;
  }

 private:
  std::string url_;
  std::string target_;
};

// The first attempt is cut within the bound and kept in the cache; the
// second, which asks for the rest, gets a hostile answer.
TEST_F(DownloadBoundFailureTest, ADownloadPastItsBoundLeavesNothingInTheCache) {
  constexpr uint64_t kBound = 100000;
  const std::string cut_head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
  struct Case {
    const char* name;
    ScriptedConnection second;
  };
  const Case kCases[] = {
      {"gzip bomb", upd::test::GzipBomb(10'000'000)},
      {"endless body", upd::test::EndlessBody()},
      {"rest announced past the bound",
       ScriptedConnection{script::ReadRequest(),
                          script::Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes "
                                       "40000-140000/140001\r\nContent-Length: 100001\r\n\r\n"),
                          script::Stall()}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ScriptedPeer peer(dir_.path().string(),
                      {ScriptedConnection{script::ReadRequest(),
                                          script::Send(cut_head + std::string(kBound, 'c'))}
                           .CutAfter(cut_head.size() + 40000)},
                      ScriptedPeer::Options().Otherwise(c.second));
    ASSERT_TRUE(peer.running());
    const std::string target = dir_.file("zel1.nup");
    {
      const FileSizeLimit cap(kBound);
      ASSERT_TRUE(cap.active());
      EXPECT_EQ(session().FetchFile(Fetch(peer.Url("/p/em.nup"), target, {kBound})),
                kUpdSourceUnreadable);
    }
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_NE(requests[1].raw.find("\r\nRange: bytes=40000-\r\n"), std::string::npos);
    EXPECT_FALSE(fs::exists(target));
    EXPECT_FALSE(KeyCached());
    EXPECT_TRUE(CachedFiles().empty());
  }
}

TEST_F(DownloadBoundFailureTest, ADownloadCutWithinItsBoundStillResumes) {
  const std::string body = RandomBytes(3000, 17);
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 3000\r\n\r\n";
  ScriptedPeer peer(
      dir_.path().string(),
      {ScriptedConnection{script::ReadRequest(), script::Send(head + body)}.CutAfter(
           head.size() + 1000),
       {script::ReadRequest(),
        script::Send(HttpResponse("HTTP/1.1 206 Partial Content", body.substr(1000),
                                  "Content-Range: bytes 1000-2999/3000\r\n"))}});
  ASSERT_TRUE(peer.running());
  const std::string target = dir_.file("zel1.nup");
  EXPECT_EQ(session().FetchFile(Fetch(peer.Url("/p/em.nup"), target, {body.size()})), kUpdOk);
  EXPECT_EQ(ReadFile(target), body);
  const auto requests = peer.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_NE(requests[1].raw.find("\r\nRange: bytes=1000-\r\n"), std::string::npos);
  EXPECT_TRUE(CachedFiles().empty());
}

// Announced lengths one past the defaults are refused before a byte is read.
TEST_F(DownloadBoundFailureTest, WhatNobodyAnnouncedIsBoundedByTheDefaults) {
  ScriptedPeer peer(dir_.path().string(),
                    {upd::test::Announcing(kDefaultFileDownloadBytes + 1),
                     upd::test::Announcing(kDefaultMemoryDownloadBytes + 1)});
  ASSERT_TRUE(peer.running());
  DownloadFileArgs to_file = ToFile(peer.Url("/f.bin"), dir_.file("out.bin"));
  to_file.extraFlag = 1;
  EXPECT_EQ(session().DownloadFile(to_file), kUpdSourceUnreadable);
  EXPECT_FALSE(fs::exists(dir_.file("out.bin")));

  CBuffer buffer;
  DownloadFileArgs to_memory = ToFile(peer.Url("/f.bin"), "");
  to_memory.target = nullptr;
  to_memory.buffer = &buffer;
  to_memory.extraFlag = 1;
  EXPECT_EQ(session().DownloadFile(to_memory), kUpdSourceUnreadable);
  EXPECT_EQ(buffer.Capacity(), 0u);
}

TEST_F(DownloadBoundFailureTest, AFileSourcePastItsBoundIsNotRead) {
  const std::string source = dir_.file("share/em.nup");
  fs::create_directories(dir_.file("share"));
  const std::string bytes = RandomBytes(2000, 19);
  WriteFile(source, bytes);
  const std::string url = "FILE:" + source;
  for (const uint64_t bound : {uint64_t{1999}, uint64_t{2000}}) {
    SCOPED_TRACE(bound);
    const bool fits = bound >= bytes.size();
    DownloadFileArgs args = ToFile(url, dir_.file("out.bin"));
    args.sizeBound = TransferBound{bound, kUpdBadFile};
    EXPECT_EQ(session().DownloadFile(args), fits ? kUpdOk : kUpdBadFile);
    EXPECT_EQ(fs::exists(dir_.file("out.bin")), fits);
    CBuffer buffer;
    args.target = nullptr;
    args.buffer = &buffer;
    EXPECT_EQ(session().DownloadFile(args), fits ? kUpdOk : kUpdBadFile);
    EXPECT_EQ(buffer.Length(), fits ? bytes.size() : 0u);
  }
}

}  // namespace
