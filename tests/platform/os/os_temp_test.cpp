#include "platform/os/os_temp.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "platform/os/os_error.h"
#include "support/temp_dir.h"

namespace {

using upd::test::TempDir;

// Sets or clears TMPDIR for one test and restores it afterwards.
class ScopedTmpdir {
 public:
  explicit ScopedTmpdir(const char* value) {
    if (const char* old = getenv("TMPDIR")) old_ = old;
    if (value != nullptr) {
      setenv("TMPDIR", value, 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  ~ScopedTmpdir() {
    if (old_) {
      setenv("TMPDIR", old_->c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
  }
  ScopedTmpdir(const ScopedTmpdir&) = delete;
  ScopedTmpdir& operator=(const ScopedTmpdir&) = delete;

 private:
  std::optional<std::string> old_;
};

// The name must be folder + prefix + "." + six characters, an empty file
// with mode 0600 that stays on disk.
void ExpectTempFile(const std::string& name, const std::string& folder, const std::string& prefix) {
  ASSERT_EQ(name.size(), folder.size() + prefix.size() + 7) << name;
  EXPECT_EQ(name.substr(0, folder.size() + prefix.size() + 1), folder + prefix + ".") << name;
  EXPECT_NE(name.substr(name.size() - 6), "XXXXXX") << name;
  struct stat st {};
  ASSERT_EQ(stat(name.c_str(), &st), 0) << name;
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 0);
}

TEST(OsGetTempFolder, UsesTmpdirElseTmp) {
  TempDir dir;
  char b[4096];
  {
    ScopedTmpdir env(dir.path().c_str());
    EXPECT_EQ(OsGetTempFolder(b, sizeof b), 0);
    EXPECT_EQ(std::string(b), dir.path().string() + "/");
  }
  {
    ScopedTmpdir env((dir.path().string() + "/").c_str());
    EXPECT_EQ(OsGetTempFolder(b, sizeof b), 0);
    EXPECT_EQ(std::string(b), dir.path().string() + "/");
  }
  {
    ScopedTmpdir env(nullptr);
    EXPECT_EQ(OsGetTempFolder(b, sizeof b), 0);
    EXPECT_STREQ(b, "/tmp/");
    EXPECT_EQ(OsGetTempFolder(b, 4), 0);
    EXPECT_STREQ(b, "/tm");
  }
}

TEST(OsGetTempFileName, WithoutTmpdirUsesTmp) {
  ScopedTmpdir env(nullptr);
  char name[4096];
  ASSERT_EQ(OsGetTempFileName("NSFX", name, sizeof name, nullptr), 0);
  ExpectTempFile(name, "/tmp/", "NSFX");
  unlink(name);
}

TEST(OsGetTempFileName, UnderTmpdirOrTheGivenFolder) {
  TempDir dir;
  const std::string folder = dir.path().string() + "/";
  char first[4096];
  char second[4096];
  {
    ScopedTmpdir env(dir.path().c_str());
    ASSERT_EQ(OsGetTempFileName("upd", first, sizeof first, nullptr), 0);
    ExpectTempFile(first, folder, "upd");
  }
  ASSERT_EQ(mkdir(dir.file("given").c_str(), 0700), 0);
  ASSERT_EQ(OsGetTempFileName("upd", second, sizeof second, dir.file("given").c_str()), 0);
  ExpectTempFile(second, dir.file("given") + "/", "upd");
  EXPECT_STRNE(first, second);
}

TEST(OsGetTempFileName, Failures) {
  TempDir dir;
  char name[4096];
  EXPECT_EQ(OsGetTempFileName("p", name, sizeof name, dir.file("missing").c_str()), -1);
  EXPECT_EQ(OsGetLastError(), 11u);
  // A name cut by the buffer no longer ends in the six X that make it unique.
  EXPECT_EQ(OsGetTempFileName("prefix", name, dir.path().string().size() + 6, dir.path().c_str()),
            -1);
  EXPECT_EQ(OsGetLastError(), 10u);
  EXPECT_EQ(OsGetTempFileName("p", name, 0, nullptr), -1);
}

}  // namespace
