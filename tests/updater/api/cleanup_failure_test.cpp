#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "library_fixture.h"

namespace upd::test {
namespace {

namespace fs = std::filesystem;

// An "em*.dat.old" file that cannot be deleted: the modules folder is
// sticky and the file belongs to root, while the clean-up runs in a child
// process under an unprivileged user. Every other deletion is still made.
class CleanupFailure : public LibraryFixture {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the clean-up as another user";
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr) GTEST_SKIP() << "no user nobody";
    uid_ = nobody->pw_uid;
    gid_ = nobody->pw_gid;
    LibraryFixture::SetUp();
  }

  void OwnByNobody(const std::string& path) { ASSERT_EQ(chown(path.c_str(), uid_, gid_), 0); }

  // UpdCleanupModules in a child that has dropped root; its answer, or -1.
  int CleanupAsNobody() {
    const pid_t child = fork();
    if (child == 0) {
      if (setgid(gid_) != 0 || setuid(uid_) != 0) _exit(255);
      const UPD_ERROR result = LIB(UpdCleanupModules)(context_, host_.settings());
      _exit(result == 0x1021 ? 1 : result == 0 ? 0 : 2);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    switch (WEXITSTATUS(status)) {
      case 0:
        return 0;
      case 1:
        return 0x1021;
      default:
        return -1;
    }
  }

  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

TEST_F(CleanupFailure, UndeletableOldModuleIsReportedAfterTheRestIsDeleted) {
  ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(Modules().c_str(), 01777), 0);
  fs::create_directories(Modules() + "/Modules/em002.d");
  WriteFile(Modules() + "/Modules/em002.d/em002.dat", "x");
  WriteFile(Modules() + "/em1.dat.old", "kept");
  WriteFile(Modules() + "/em2.dat.old", "x");
  WriteFile(Modules() + "/em3.dat.old", "x");
  for (const char* path : {"/Modules", "/Modules/em002.d", "/Modules/em002.d/em002.dat",
                           "/em2.dat.old", "/em3.dat.old"}) {
    OwnByNobody(Modules() + path);
  }

  EXPECT_EQ(CleanupAsNobody(), 0x1021);
  EXPECT_EQ(ReadFile(Modules() + "/em1.dat.old"), "kept");
  EXPECT_FALSE(fs::exists(Modules() + "/em2.dat.old"));
  EXPECT_FALSE(fs::exists(Modules() + "/em3.dat.old"));
  EXPECT_FALSE(fs::exists(Modules() + "/Modules"));
}

}  // namespace
}  // namespace upd::test
