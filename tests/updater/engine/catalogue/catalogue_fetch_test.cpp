// The catalogue step against nginx: the configured server's plain
// catalogue with its validators, the chosen server's signed catalogue and
// what happens when its signed form is missing, broken or refused, the
// fall-over between default servers, and the category test.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "catalogue_fixture.h"
#include "platform/util/update_errors.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// Files of the update folder named like the configured road's temporary
// download ("upd.XXXXXX").
std::vector<std::string> TemporaryDownloads(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("upd.", 0) == 0 && name != "upd.ver") names.push_back(name);
  }
  return names;
}

using ConfiguredServer = CatalogueFetchTest;

TEST_F(ConfiguredServer, NotModifiedTakesTheKeptCopyAndLeavesNoTemporaryFile) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("cat/update.ver", EngineCatalogue("one"));
  SetServer(web.Url("/cat"));

  ASSERT_EQ(Fetch(), kUpdOk);
  EXPECT_EQ(RunCatalogue(), EngineCatalogue("one"));
  EXPECT_EQ(LastCatalogue(), EngineCatalogue("one"));
  EXPECT_EQ(ReadFile(KeptCopy(web, "/cat/update.ver")), EngineCatalogue("one"));
  EXPECT_EQ(context_->serverState.newCatalogue, 1);
  EXPECT_EQ(context_->serverState.keptCatalogue, 0);
  EXPECT_EQ(std::string(context_->serverRoot), web.Url("/cat/"));

  fs::remove(context_->updVerPath);
  ASSERT_EQ(Fetch(), kUpdOk);
  // The second fetch's first request (a HEAD with the kept validators) is
  // answered not modified.
  EXPECT_EQ(web.AccessLog(3).at(2).status, 304);
  EXPECT_EQ(RunCatalogue(), EngineCatalogue("one"));
  EXPECT_EQ(context_->serverState.newCatalogue, 0);
  EXPECT_EQ(context_->serverState.keptCatalogue, 1);
  EXPECT_TRUE(TemporaryDownloads(UpdateFolder()).empty());
  // A configured server is taken as it is: no signed form is asked for.
  EXPECT_EQ(Asked(web, "/cat/update.ver.signed"), 0u);
}

// A catalogue must offer the wanted category (engine here), or carry "LB".
TEST_F(ConfiguredServer, CatalogueWithoutTheCategoryIsRefusedAndForgotten) {
  struct Case {
    std::string text;
    UPD_ERROR expected;
  };
  const std::string dll_only = "[DLL_A]\r\nname=a\r\ncategory=dll\r\nplatform=x64\r\nbuild=1\r\n";
  const std::vector<Case> cases = {
      {dll_only, kUpdCategoryMissing},
      {dll_only + "[LB]\r\nx=1\r\n", kUpdOk},
      {"", kUpdCategoryMissing},
      {EngineCatalogue("e"), kUpdOk},
  };
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string folder = "/c" + std::to_string(i) + "/";
    web.PutFile(folder.substr(1) + "update.ver", cases[i].text);
    SetServer(web.Url(folder));
    EXPECT_EQ(Fetch(), cases[i].expected);
    EXPECT_EQ(context_->lastResult, cases[i].expected);
    EXPECT_EQ(fs::exists(KeptCopy(web, folder + "update.ver")), cases[i].expected == kUpdOk);
  }
}

// Event 25 comes before the catalogue step leaves the configured server; a
// host that answers 1 keeps a mirror server, unless the development
// channel is on.
TEST_F(ConfiguredServer, HostDecliningTheFallBackKeepsAMirror) {
  struct Case {
    uint32_t answer;
    uint32_t devel;
    UPD_ERROR expected;
  };
  const std::vector<Case> cases = {
      {1, 0, kUpdMirrorFallbackRefused},
      {0, 0, kUpdOk},
      {1, 1, kUpdOk},
  };
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("mirror/update.ver", EngineCatalogue("m"));
  SetServer(web.Url("/mirror/"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer * 10 + c.devel);
    host_.Clear();
    host_.Answer(UPD_EVENT_SERVER_FALLBACK, c.answer);
    settings()->develChannel = c.devel;
    EXPECT_EQ(Fetch(), c.expected);
    EXPECT_EQ(context_->lastResult, c.expected);
    EXPECT_EQ(host_.EventsOf(UPD_EVENT_SERVER_FALLBACK).size(), 1u);
  }
}

// The catalogue's "VER" redirect: another server, or "auto" for a draw over
// the servers it lists for the group.
TEST_F(ConfiguredServer, VerRedirectFetchesFromTheNamedOrDrawnServer) {
  NginxServer first(dir_.path().string());
  NginxServer second(dir_.path().string());
  ASSERT_TRUE(first.running() && second.running());
  second.PutFile("b/update.ver", EngineCatalogue("b"));
  const std::string lists = "[SERVERS]\r\nlist=" + second.Url("/") + "\r\n[LINKS]\r\n0=b/\r\n";
  first.PutFile("named/update.ver",
                EngineCatalogue("a") + "[VER]\r\nver=" + second.Url("/b/") + "\r\n");
  first.PutFile("auto/update.ver", EngineCatalogue("a") + "[VER]\r\nver=auto\r\n" + lists);
  first.PutFile("none/update.ver", EngineCatalogue("a") + "[VER]\r\nver=auto\r\n");

  for (const char* folder : {"/named/", "/auto/"}) {
    SCOPED_TRACE(folder);
    SetServer(first.Url(folder));
    ASSERT_EQ(Fetch(), kUpdOk);
    EXPECT_EQ(RunCatalogue(), EngineCatalogue("b"));
    EXPECT_EQ(LastCatalogue(), EngineCatalogue("b"));
    EXPECT_EQ(std::string(context_->serverRoot), second.Url("/b/"));
  }
  // "auto" with no listed server: none delivered.
  SetServer(first.Url("/none/"));
  EXPECT_EQ(Fetch(), kUpdSourceUnreadable);
}

using ChosenServer = CatalogueFetchTest;

TEST_F(ChosenServer, SignedCatalogueGivesItsPayloadAndKeepsTheWholeMessage) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  const std::string signed_path = PutSigned(web, "srv/update.ver.signed", EngineCatalogue("s"));
  web.PutFile("srv/update.ver", EngineCatalogue("plain"));
  WriteStore({"DefaultServerCount=1", "DefaultServer0=" + web.Url("/srv/")});

  ASSERT_EQ(Fetch(), kUpdOk);
  EXPECT_EQ(RunCatalogue(), EngineCatalogue("s"));
  EXPECT_EQ(ReadFile(KeptCopy(web, "/srv/update.ver.signed")), ReadFile(signed_path));
  EXPECT_EQ(Asked(web, "/srv/update.ver"), 0u);
  EXPECT_EQ(context_->serverState.newCatalogue, 1);

  // Not modified: the kept message is checked again and its payload taken.
  fs::remove(context_->updVerPath);
  ASSERT_EQ(Fetch(), kUpdOk);
  EXPECT_EQ(web.AccessLog(3).at(2).status, 304);
  EXPECT_EQ(RunCatalogue(), EngineCatalogue("s"));
  EXPECT_EQ(context_->serverState.keptCatalogue, 1);
}

// A signed form that is there but does not verify is an attack on that
// server: it fails, its plain form is never fetched, and the next server
// (the second server here) delivers.
TEST_F(ChosenServer, BrokenSignedFormFailsTheServerWithoutTakingItsPlainForm) {
  struct Case {
    const char* name;
    std::vector<std::string> kit;  // how the bad server's signed form is made from a good one
  };
  const std::vector<Case> cases = {
      {"flipped signature", {"tamper", "flip-signature"}},
      {"flipped payload", {"tamper", "flip-payload"}},
      {"truncated", {"tamper", "truncate"}},
      {"foreign key", {}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    NginxServer bad(dir_.path().string());
    NginxServer good(dir_.path().string());
    ASSERT_TRUE(bad.running() && good.running());
    if (c.kit.empty()) {
      PutSigned(bad, "srv/update.ver.signed", EngineCatalogue("bad"), {"--foreign"});
    } else {
      const std::string intact = PutSigned(bad, "intact.signed", EngineCatalogue("bad"));
      fs::create_directories(bad.root() + "/srv");
      ASSERT_TRUE(SignKit({c.kit[0], c.kit[1], intact, bad.root() + "/srv/update.ver.signed"}));
    }
    bad.PutFile("srv/update.ver", EngineCatalogue("unchecked"));
    PutSigned(good, "srv/update.ver.signed", EngineCatalogue("good"));
    WriteStore({"DefaultServerCount=1", "DefaultServer0=" + bad.Url("/srv/")});
    SetSecondServer(good.Url("/srv/"));
    // A stale kept copy of the bad server's signed form goes too.
    WriteFile(KeptCopy(bad, "/srv/update.ver.signed"), "stale");

    ASSERT_EQ(Fetch(), kUpdOk);
    EXPECT_EQ(RunCatalogue(), EngineCatalogue("good"));
    EXPECT_EQ(Requests(bad, "/srv/update.ver.signed", 1), 1u);
    EXPECT_EQ(Asked(bad, "/srv/update.ver"), 0u);
    EXPECT_FALSE(fs::exists(KeptCopy(bad, "/srv/update.ver.signed")));
  }
}

TEST_F(ChosenServer, OnlyTheSecondServerLeftFailsWithTheSignatureCode) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  const std::string intact = PutSigned(web, "intact.signed", EngineCatalogue("x"));
  fs::create_directories(web.root() + "/srv");
  ASSERT_TRUE(SignKit({"tamper", "flip-signature", intact, web.root() + "/srv/update.ver.signed"}));
  web.PutFile("srv/update.ver", EngineCatalogue("unchecked"));
  SetSecondServer(web.Url("/srv/"));

  EXPECT_EQ(Fetch(), kUpdSignatureMismatch);
  EXPECT_FALSE(fs::exists(context_->updVerPath));
  EXPECT_EQ(Asked(web, "/srv/update.ver"), 0u);
}

// Only a missing signed form lets the plain one in, and a catalogue taken
// unchecked never changes the stored default servers; the signed one does.
TEST_F(ChosenServer, PlainFormIsTakenWhenTheSignedOneIsMissingButNeverRewritesServers) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  // The catalogue lists this server (weight 3) for group number 0.
  const std::string catalogue =
      EngineCatalogue("c") + "[SERVERS]\r\nlist=3@" + web.Url("/") + "\r\n[LINKS]\r\n0=srv/\r\n";
  web.PutFile("srv/update.ver", catalogue);
  WriteStore({"DefaultServerCount=1", "DefaultServer0=" + web.Url("/srv/")});
  const std::vector<std::string> stored = {web.Url("/srv/") + " 1"};
  ASSERT_EQ(StoredServers(), stored);

  ASSERT_EQ(Fetch(), kUpdOk);
  EXPECT_EQ(RunCatalogue(), catalogue);
  EXPECT_GT(Asked(web, "/srv/update.ver.signed", 2), 0u);
  EXPECT_EQ(StoredServers(), stored);

  PutSigned(web, "srv/update.ver.signed", catalogue);
  ASSERT_EQ(Fetch(), kUpdOk);
  EXPECT_EQ(RunCatalogue(), catalogue);
  EXPECT_EQ(StoredServers(), std::vector<std::string>{web.Url("/srv/") + " 3"});
}

// A catalogue that lists other default servers for the group sends the
// step to them in the next round, but only when its signature verified: an
// unchecked one can never move this or later runs elsewhere.
TEST_F(ChosenServer, RefreshRoundsFollowOnlyASignedServerList) {
  for (const bool sign : {true, false}) {
    SCOPED_TRACE(sign ? "signed" : "plain");
    NginxServer first(dir_.path().string());
    NginxServer listed(dir_.path().string());
    ASSERT_TRUE(first.running() && listed.running());
    const auto lists = [](const NginxServer& server) {
      return "[SERVERS]\r\nlist=2@" + server.Url("/") + "\r\n[LINKS]\r\n0=srv/\r\n";
    };
    const std::string moved = EngineCatalogue("first") + lists(listed);
    const std::string settled = EngineCatalogue("listed") + lists(listed);
    if (sign) {
      PutSigned(first, "srv/update.ver.signed", moved);
    } else {
      first.PutFile("srv/update.ver", moved);
    }
    PutSigned(listed, "srv/update.ver.signed", settled);
    WriteStore({"DefaultServerCount=1", "DefaultServer0=" + first.Url("/srv/")});

    ASSERT_EQ(Fetch(), kUpdOk);
    EXPECT_EQ(RunCatalogue(), sign ? settled : moved);
    EXPECT_EQ(LastCatalogue(), RunCatalogue());
    EXPECT_EQ(Asked(listed, "/srv/update.ver.signed") != 0, sign);
    EXPECT_EQ(StoredServers(), std::vector<std::string>{(sign ? listed : first).Url("/srv/") +
                                                        (sign ? " 2" : " 1")});
  }
}

// Stored weights 1 and 0: the first is always drawn. What it answers
// decides whether the step goes on to the second server.
TEST_F(ChosenServer, FailedDrawnServerFallsOverUnlessNoServerCanHelp) {
  struct Case {
    int status;
    UPD_ERROR expected;
    bool plain_asked;  // only a missing signed form leads to the plain one
    bool second_asked;
  };
  const std::vector<Case> cases = {
      {503, kUpdOk, false, true},
      {404, kUpdOk, true, true},  // no catalogue at all on the first
      {401, kUpdAccessDenied, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.status);
    const std::string tag = std::to_string(c.status);
    NginxServer first(dir_.path().string(),
                      NginxServer::Options().ServerConf("location /srv/ { return " + tag + "; }"));
    NginxServer zero(dir_.path().string());
    NginxServer second(dir_.path().string());
    ASSERT_TRUE(first.running() && zero.running() && second.running());
    zero.PutFile("srv/update.ver", EngineCatalogue("zero"));
    second.PutFile("srv/update.ver", EngineCatalogue("second"));
    WriteStore({"DefaultServerCount=2", "DefaultServer0=" + first.Url("/srv/"),
                "DefaultServerWeight0=1", "DefaultServer1=" + zero.Url("/srv/"),
                "DefaultServerWeight1=0"});
    SetSecondServer(second.Url("/srv/"));

    EXPECT_EQ(Fetch(), c.expected);
    EXPECT_GT(Asked(first, "/srv/update.ver.signed", 1), 0u);
    EXPECT_EQ(Asked(first, "/srv/update.ver") != 0, c.plain_asked);
    EXPECT_TRUE(zero.AccessLog().empty());
    EXPECT_EQ(!second.AccessLog().empty(), c.second_asked);
    if (c.expected == kUpdOk) {
      EXPECT_EQ(RunCatalogue(), EngineCatalogue("second"));
    }
  }
}

TEST_F(CatalogueFetchTest, StoppedContextRefusesWithoutAsking) {
  NginxServer web(dir_.path().string());
  ASSERT_TRUE(web.running());
  web.PutFile("cat/update.ver", EngineCatalogue("one"));
  SetServer(web.Url("/cat/"));
  context_->stopFlag = 1;
  EXPECT_EQ(UpdDownloadVERFile(context_, settings()), kUpdStopped);
  context_->stopFlag = 0;
  EXPECT_EQ(UpdDownloadVERFile(context_, settings()), kUpdOk);
  EXPECT_EQ(Requests(web, "/cat/update.ver", 2), 1u);
  EXPECT_EQ(RunCatalogue(), EngineCatalogue("one"));
}

}  // namespace
}  // namespace upd::test
