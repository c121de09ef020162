#pragma once

// The chain tests' certificates, made once per build tree by
// tools/testpki/x509_make_pki.sh (ctest runs every case in its own process,
// so a per-process folder would remake them for each case).

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "support/der_testing.h"
#include "support/temp_dir.h"
#include "verify/x509/certificate_collection.h"
#include "verify/x509/x509_certificate.h"

namespace upd::test {

// Folder of <name>.der (and .pem, .key) files; empty when making them failed.
inline const std::string& PkiDir() {
  static const std::string dir = [] {
    const std::string script = SourcePath("tools/testpki/x509_make_pki.sh");
    const std::string trust = BinaryPath("trust");
    // A changed script makes a fresh folder.
    const std::string tag = std::to_string(std::hash<std::string>{}(ReadFile(script)));
    const std::string target = BinaryPath("x509_pki/" + tag);
    std::filesystem::create_directories(BinaryPath("x509_pki"));
    const int lock = open(BinaryPath("x509_pki/lock").c_str(), O_CREAT | O_RDWR, 0600);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) return std::string();
    std::string result = target;
    if (!std::filesystem::exists(target + "/done")) {
      const std::string staging = target + ".new";
      std::filesystem::remove_all(staging);
      if (RunCommand("bash " + script + " " + staging + " " + trust + " >/dev/null 2>&1") != 0) {
        result.clear();
      } else {
        std::filesystem::remove_all(target);
        std::filesystem::rename(staging, target);
        WriteFile(target + "/done", "");
      }
    }
    flock(lock, LOCK_UN);
    close(lock);
    return result;
  }();
  return dir;
}

inline std::string PkiFile(const std::string& name) { return PkiDir() + "/" + name + ".der"; }

inline CountedPtr<X509Certificate> LoadCertificateFile(const std::string& path) {
  return X509Certificate::FromBytes(BytesOf(ReadFile(path)));
}

inline CountedPtr<X509Certificate> PkiCertificate(const std::string& name) {
  return LoadCertificateFile(PkiFile(name));
}

inline std::string PkitsCert(const std::string& name) {
  return PkitsDir() + "/certs/" + name + ".crt";
}

// 2030-01-01T00:00:00Z, inside the window of the generated certificates.
inline constexpr int64_t kPkiTime = 1893456000;

}  // namespace upd::test
