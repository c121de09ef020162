#include "updater/engine/session/mirror_source_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(MakeMirrorSourcePath, KeepsEachUrlUnderTheFolder) {
  const struct {
    const char* folder;
    const char* url;
    const char* extra;
    const char* expected;
  } cases[] = {
      {"/data/updfiles/", "http://srv:8080/a/update.ver", "",
       "/data/updfiles/srv_8080/a/update.ver"},
      {"/data/updfiles", "http://srv:8080/a/update.ver", nullptr,
       "/data/updfiles/srv_8080/a/update.ver"},
      // Only the host's colons change: the folder's and the path's stay.
      {"/srv:data/", "https://host:443/a:b/update.ver", "", "/srv:data/host_443/a:b/update.ver"},
      {"/d/", "https://[::1]:8443/u/update.ver", "", "/d/[__1]_8443/u/update.ver"},
      {"/d/", "c:/mirror/update.ver", "", "/d/c/mirror/update.ver"},
      {"/d/", "c:\\mirror\\update.ver", "", "/d/c\\mirror\\update.ver"},
      {"/d/", "//srv/share/update.ver", "", "/d/srv/share/update.ver"},
      {"/d/", "\\\\srv\\share\\update.ver", "", "/d/srv\\share\\update.ver"},
      {"/d/", "FILE://srv/share/update.ver", "", "/d/srv/share/update.ver"},
      {"/d/", "http://srv/a/update.ver", "dll", "/d/srv/a/update.ver/dll"},
      {"/d/", "http://srv/a..b/.hidden/update.ver", "", "/d/srv/a..b/.hidden/update.ver"},
      {"/d/", "file:///srv/update.ver", "", "/d//srv/update.ver"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    char out[256];
    ASSERT_TRUE(MakeMirrorSourcePath(c.folder, c.url, c.extra, out, sizeof out));
    EXPECT_STREQ(out, c.expected);
  }
}

// None of these may name a place outside the folder, or any place at all.
TEST(MakeMirrorSourcePath, RefusesDotSegmentsAndUrlsWithoutAForm) {
  const struct {
    const char* url;
    const char* extra;
  } cases[] = {
      {"http://srv/../update.ver", ""},
      {"http://srv/a/./update.ver", ""},
      {"http://../update.ver", ""},
      {"http://./update.ver", ""},
      {"http://srv/a/..", ""},
      {"http://srv/a\\..\\..\\update.ver", ""},
      {"//srv/../../etc/passwd", ""},
      {"c:/../update.ver", ""},
      {"http://srv/a/update.ver", ".."},
      {"http://srv/a/update.ver", "dll/../../x"},
      {"relative/update.ver", ""},
      {"/single/slash/update.ver", ""},
      {"ht:", ""},
      {"c:", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.url) + " + " + c.extra);
    char out[256];
    std::strcpy(out, "stale");
    EXPECT_FALSE(MakeMirrorSourcePath("/d/", c.url, c.extra, out, sizeof out));
    EXPECT_STREQ(out, "");
  }
}

// A cut path would name another file, so a path that does not fit is refused.
TEST(MakeMirrorSourcePath, RefusesAPathThatDoesNotFit) {
  const char* url = "http://srv/a/update.ver";
  const size_t needed = std::strlen("/d/srv/a/update.ver") + 1;
  char out[64];
  EXPECT_TRUE(MakeMirrorSourcePath("/d/", url, "", out, needed));
  std::strcpy(out, "stale");
  EXPECT_FALSE(MakeMirrorSourcePath("/d/", url, "", out, needed - 1));
  EXPECT_STREQ(out, "");
}

}  // namespace
