#pragma once

// The TLS tests' certificates, made by tools/testpki/tls_make_pki.sh (and
// on request tls_policy_pki.sh) into a test's own temporary folder.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace upd::test {

class TlsPki {
 public:
  TlsPki() {
    const std::string script = SourcePath("tools/testpki/tls_make_pki.sh");
    std::string log;
    ok_ = RunCommand("bash " + script + " " + dir_.file("pki") + " 2>&1", &log) == 0;
    EXPECT_TRUE(ok_) << log;
  }

  // Adds the certificates of tools/testpki/tls_policy_pki.sh (the TLS-server
  // policy's shapes) under the same root; false (and a test failure) when
  // they cannot be made.
  bool AddPolicyShapes() {
    const std::string script = SourcePath("tools/testpki/tls_policy_pki.sh");
    std::string log;
    const bool made = RunCommand("bash " + script + " " + dir_.file("pki") + " 2>&1", &log) == 0;
    EXPECT_TRUE(made) << log;
    return made;
  }

  bool ok() const { return ok_; }
  const TempDir& dir() const { return dir_; }
  std::string Pem(const std::string& name) const { return dir_.file("pki/" + name + ".pem"); }
  std::string Key(const std::string& name) const { return dir_.file("pki/" + name + ".key"); }
  std::vector<uint8_t> Der(const std::string& name) const {
    const std::string bytes = ReadFile(dir_.file("pki/" + name + ".der"));
    return {bytes.begin(), bytes.end()};
  }

 private:
  TempDir dir_;
  bool ok_ = false;
};

}  // namespace upd::test
