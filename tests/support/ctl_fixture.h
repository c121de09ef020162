#pragma once

// Certificates and signed trust lists made at test time by the scripts in
// tools/testpki (ctl_pki.sh, ctl_make.py, ctl_der.py) under the build's test
// trust folder, so that openssl is the oracle for every signature.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "support/der_testing.h"
#include "support/peer_process.h"
#include "support/temp_dir.h"
#include "verify/common/byte_array.h"

namespace upd::test {

// 2030-01-01T00:00:00Z: every fixture certificate but the expired signer is valid.
inline constexpr int64_t kCtlTestTime = 1893456000;

class CtlPki {
 public:
  // Made once per test program (ctl_pki.sh takes a few seconds).
  static CtlPki& Get() {
    static CtlPki pki;
    return pki;
  }

  const std::string& dir() const { return dir_; }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  ByteArray Der(const std::string& name) const { return BytesOf(ReadFile(Path(name + ".der"))); }
  std::string Script(const std::string& name) const { return SourcePath("tools/testpki/" + name); }

  // The list content naming the certificates (fixture names) with the hash.
  std::string Content(const std::string& out, const std::vector<std::string>& certs,
                      const std::string& options = "--hash sha1") const {
    std::string command =
        PythonPath() + " " + Script("ctl_make.py") + " content " + options + " " + out;
    for (const std::string& c : certs) command += " " + Path(c + ".der");
    EXPECT_EQ(RunCommand(command), 0) << command;
    return out;
  }
  // openssl cms -sign of the content by the fixture signer, carrying the
  // extra certificates (fixture names) too.
  std::string Sign(const std::string& out, const std::string& content, const std::string& signer,
                   const std::vector<std::string>& extra, const std::string& options = "") const {
    std::string command = PythonPath() + " " + Script("ctl_make.py") + " sign " + out +
                          " --content " + content + " --signer " + Path(signer) + " " + options;
    for (const std::string& c : extra) command += " --certfile " + Path(c + ".pem");
    EXPECT_EQ(RunCommand(command), 0) << command;
    return out;
  }
  // ctl_der.py rewrite of a signed list.
  std::string Edit(const std::string& in, const std::string& out, const std::string& edits) const {
    const std::string command =
        PythonPath() + " " + Script("ctl_der.py") + " " + in + " " + out + " " + edits;
    EXPECT_EQ(RunCommand(command), 0) << command;
    return out;
  }

 private:
  // The certificates are made once per build tree (every test case runs in
  // a process of its own); a fresh folder is renamed into place, so parallel
  // makers never see a half-made one. Lists made from them go to dir_ too.
  CtlPki() : shared_(BinaryPath("testpki/ctl")) {
    if (!std::filesystem::exists(shared_ + "/signer.der")) {
      std::filesystem::create_directories(BinaryPath("testpki"));
      const std::string fresh = temp_.file("pki");
      const std::string command = "bash " + Script("ctl_pki.sh") + " " + BinaryPath("trust") + " " +
                                  fresh + " >/dev/null 2>&1";
      if (RunCommand(command) != 0) ADD_FAILURE() << command;
      std::error_code ignored;
      std::filesystem::rename(fresh, shared_, ignored);
    }
    dir_ = temp_.file("work");
    std::filesystem::create_directories(dir_);
    RunCommand("cp " + shared_ + "/* " + dir_ + "/");
  }

  TempDir temp_;
  std::string shared_;
  std::string dir_;
};

}  // namespace upd::test
