#pragma once

// The TLS tests' certificates, made by tools/testpki/tls_make_pki.sh into a
// test's own temporary folder.

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
