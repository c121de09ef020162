#include "platform/util/url_helpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/util/path_helpers.h"
#include "support/python_oracle.h"

namespace {

TEST(IsRemotePath, SchemesAndSharePaths) {
  const struct {
    const char* path;
    bool remote;
    bool share;
  } kCases[] = {
      {"http://h/x", true, false},   {"//srv/share", true, true}, {"//srv/a://b", true, false},
      {"/local/path", false, false}, {"/", false, false},         {"", false, false},
      {"c:/x", false, false},        {"file:///x", true, false},
  };
  for (const auto& c : kCases) {
    const RemotePathFlags flags = IsRemotePath(c.path);
    EXPECT_EQ(flags.remote, c.remote) << c.path;
    EXPECT_EQ(flags.share, c.share) << c.path;
  }
  EXPECT_FALSE(IsRemotePath(nullptr).remote);
}

struct ServerRootCase {
  const char* url;
  const char* root;
  const char* normalised;
};

TEST(GetServerRoot, RootOfUrlsSharesAndDrives) {
  const ServerRootCase kCases[] = {
      {"scheme://host/p/f", "scheme://host", "scheme://host/p/f/"},
      {"//srv/share/d", "//srv/share", "//srv/share/d/"},
      {"FILE://srv/share/d", "FILE://srv/share", "FILE://srv/share/d/"},
      {"file://srv/share/d/e", "file://srv/share", "file://srv/share/d/e/"},
      {"\\\\srv\\share\\d", "//srv/share", "//srv/share/d/"},
      {"http://host", "http://host", "http://host/"},
      {"http://host/", "http://host", "http://host/"},
      // A share root keeps its share name also when nothing follows it.
      {"//srv/share", "//srv/share", "//srv/share/"},
      {"//srv", "//srv", "//srv/"},
      // A ':' at position 1 is a drive letter, not a scheme.
      {"c:\\upd\\x", "c:", "c:/upd/x/"},
  };
  for (const auto& c : kCases) {
    char url[kPathSize];
    char root[kPathSize];
    std::strcpy(url, c.url);
    std::memset(root, 'Z', sizeof root);
    GetServerRoot(url, sizeof url, root, sizeof root);
    EXPECT_STREQ(root, c.root) << c.url;
    EXPECT_STREQ(url, c.normalised) << c.url;
  }
}

// For plain network URLs the root is the scheme and the authority that
// Python's urllib.parse reads from the same text.
TEST(GetServerRoot, AgreesWithUrllibOnNetworkUrls) {
  const std::vector<std::string> urls = {
      "http://update.example.com/v1/dir",
      "https://[2001:db8::1]:8443/a/b",
      "http://user@host:8080/x",
      "http://host:80",
      "https://h/a/b/c/d.ver",
  };
  const std::vector<std::string> expected = upd::test::RunPythonOracle(
      "import sys, urllib.parse\n"
      "for line in open(sys.argv[1]).read().splitlines():\n"
      "    u = urllib.parse.urlsplit(line)\n"
      "    print(u.scheme + '://' + u.netloc)\n",
      urls);
  ASSERT_EQ(expected.size(), urls.size());
  for (size_t i = 0; i < urls.size(); ++i) {
    char url[kPathSize];
    char root[kPathSize];
    std::strcpy(url, urls[i].c_str());
    GetServerRoot(url, sizeof url, root, sizeof root);
    EXPECT_EQ(root, expected[i]) << urls[i];
  }
}

TEST(GetServerRoot, BoundedOutputs) {
  char url[16] = "http://a/bcdefg";  // 15 characters: no room for the '/'
  char root[6];
  GetServerRoot(url, sizeof url, root, sizeof root);
  EXPECT_STREQ(url, "http://a/bcdefg");
  EXPECT_STREQ(root, "http:");

  char url2[32] = "http://a/b";
  GetServerRoot(url2, sizeof url2, nullptr, 0);
  EXPECT_STREQ(url2, "http://a/b/");
}

struct ResolveCase {
  const char* path;
  const char* resolved;
};

constexpr const char* kBase = "scheme://host/dir/";
constexpr const char* kRoot = "scheme://host";

TEST(ResolvePath, RulesApplyInOrder) {
  const ResolveCase kCases[] = {
      {"sub/file", "scheme://host/dir/sub/file"},
      {"sub\\file", "scheme://host/dir/sub/file"},
      {"/file", "scheme://host/file"},
      {"\\file", "scheme://host/file"},
      // "//" takes the root's scheme before the "://" test is reached.
      {"//other/x", "scheme://other/x"},
      // A leading '/' wins over a "://" further on.
      {"/go?to=http://x", "scheme://host/go?to=http://x"},
      {"http://elsewhere/y", "http://elsewhere/y"},
      {"c:/local/file", "c:/local/file"},
      {"c:\\local\\file", "c:/local/file"},
      // A share path only gets its separators turned.
      {"\\\\srv\\share\\f", "//srv/share/f"},
      {"", "scheme://host/dir/"},
  };
  for (const auto& c : kCases) {
    char path[kPathSize];
    std::strcpy(path, c.path);
    ResolvePath(path, sizeof path, kBase, kRoot);
    EXPECT_STREQ(path, c.resolved) << c.path;
  }
}

TEST(ResolvePath, DoubleSlashStaysWithoutSchemeInRoot) {
  char path[kPathSize] = "//srv/x";
  ResolvePath(path, sizeof path, "/local/base/", "/local");
  EXPECT_STREQ(path, "//srv/x");
}

// Relative references without dots resolve as RFC 3986 (urllib.parse.urljoin)
// resolves them against the same base.
TEST(ResolvePath, AgreesWithUrljoin) {
  constexpr const char* kHttpBase = "http://host/dir/";
  const std::vector<std::string> paths = {"a",     "a/b/c.nup", "/abs/x", "//h2/p", "https://h3/q",
                                          "x?y=1", "/"};
  std::vector<std::string> lines;
  for (const std::string& p : paths) lines.push_back(std::string(kHttpBase) + "\t" + p);
  const std::vector<std::string> expected = upd::test::RunPythonOracle(
      "import sys, urllib.parse\n"
      "for line in open(sys.argv[1]).read().splitlines():\n"
      "    base, rel = line.split('\\t')\n"
      "    print(urllib.parse.urljoin(base, rel))\n",
      lines);
  ASSERT_EQ(expected.size(), paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    char path[kPathSize];
    std::strcpy(path, paths[i].c_str());
    ResolvePath(path, sizeof path, kHttpBase, "http://host");
    EXPECT_EQ(path, expected[i]) << paths[i];
  }
}

// A 4000-character base and a 200-character path: the join is cut at the
// buffer, never written past it (AddressSanitizer watches the heap copy).
TEST(ResolvePath, LongJoinsAreCutNotOverrun) {
  const std::string base = "http://h/" + std::string(3991, 'b') + "/";
  ASSERT_EQ(base.size(), 4001u);
  const std::string rel(200, 'p');
  std::vector<char> path(kPathSize);
  std::memcpy(path.data(), rel.c_str(), rel.size() + 1);
  ResolvePath(path.data(), path.size(), base.c_str(), "http://h");
  const std::string result(path.data());
  EXPECT_EQ(result.size(), kPathSize - 1);
  EXPECT_EQ(result, (base + rel).substr(0, kPathSize - 1));

  std::vector<char> small(32);
  std::memcpy(small.data(), "/file", 6);
  ResolvePath(small.data(), small.size(), base.c_str(), base.c_str());
  EXPECT_EQ(std::string(small.data()), base.substr(0, 31));
}

struct HostPortCase {
  const char* text;
  const char* host;
  uint32_t port;
};

TEST(SplitHostPort, FormsAndFailures) {
  const HostPortCase kCases[] = {
      {"[::1]:8080", "::1", 8080},
      {"h:0x1F90", "h", 8080},
      {"h:010", "h", 8},
      {"host:80/path", "host", 80},
      // A host without a port still names the host to resolve.
      {"name", "name", 0},
      {"127.0.0.1", "127.0.0.1", 0},
      {"[::1]", "::1", 0},
      {"::1", "::1", 0},
      {"fe80::1:2", "fe80::1:2", 0},
      {"h:", "h", 0},
      {"h:x", "h", 0},
      {"h:4294967296", "h", 0},
      {":81", "", 81},
      // Malformed bracket forms name no host.
      {"[::1]8080", "", 0},
      {"[::1", "", 0},
  };
  for (const auto& c : kCases) {
    char host[64];
    std::strcpy(host, "stale");
    EXPECT_EQ(SplitHostPort(c.text, host, sizeof host), c.port) << c.text;
    EXPECT_STREQ(host, c.host) << c.text;
  }
}

TEST(SplitHostPort, AgreesWithUrllibOnDecimalPorts) {
  const std::vector<std::string> texts = {"[::1]:8080", "example.com:443", "[fe80::1:2]:1",
                                          "10.0.0.1:65535"};
  const std::vector<std::string> expected = upd::test::RunPythonOracle(
      "import sys, urllib.parse\n"
      "for line in open(sys.argv[1]).read().splitlines():\n"
      "    u = urllib.parse.urlsplit('//' + line)\n"
      "    print(u.hostname + '\\t' + str(u.port))\n",
      texts);
  ASSERT_EQ(expected.size(), texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    char host[64];
    const uint32_t port = SplitHostPort(texts[i].c_str(), host, sizeof host);
    EXPECT_EQ(std::string(host) + "\t" + std::to_string(port), expected[i]) << texts[i];
  }
}

TEST(SplitHostPort, HostBufferBounds) {
  char host[5];
  EXPECT_EQ(SplitHostPort("longhost:7", host, sizeof host), 7u);
  EXPECT_STREQ(host, "long");

  char untouched[4] = "abc";
  EXPECT_EQ(SplitHostPort("h:1", untouched, 0), 0u);
  EXPECT_STREQ(untouched, "abc");
}

}  // namespace
