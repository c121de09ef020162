#pragma once

// A TLS-check setup over the openssl-made fixtures: a cache folder holding
// trust lists named after leaf thumbprints, the trust store of the product's
// roots, the trust-list store and the store that the verification entry uses.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ctl_fixture.h"
#include "support/temp_dir.h"
#include "verify/ctl/ctl_store.h"
#include "verify/x509/certificate_list_verify.h"
#include "verify/x509/certificate_store.h"
#include "verify/x509/peer_certificate_list.h"

namespace ctl_test {

using upd::test::CtlPki;

// Lower-case SHA-1 of a fixture certificate's DER, by coreutils.
inline std::string Sha1Hex(const std::string& name) {
  std::string out;
  EXPECT_EQ(upd::test::RunCommand("sha1sum " + CtlPki::Get().Path(name + ".der"), &out), 0);
  return out.substr(0, 40);
}

inline std::vector<uint8_t> FileBytes(const std::string& path) {
  const std::string s = upd::test::ReadFile(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A well-formed list for the server fixture: the server CA and the signer,
// hashed with SHA-1, signed by `signer` under a built-in root.
inline std::string MakeList(const std::string& out, const std::string& signer = "signer",
                            const std::vector<std::string>& listed = {"signer", "inter"},
                            const std::vector<std::string>& carried = {"inter"},
                            const std::string& content_options = "--hash sha1",
                            const std::string& sign_options = "") {
  CtlPki& pki = CtlPki::Get();
  const std::string content = pki.Content(out + ".content", listed, content_options);
  return pki.Sign(out, content, signer, carried, sign_options);
}

class Env {
 public:
  explicit Env(const std::string& pki_url = "http://127.0.0.1/", bool trailing_slash = false)
      : cache_(temp_.file("cache") + (trailing_slash ? "/" : "")) {
    trust_.reset(CreateCertificateStore(nullptr, 0, kTlsRootSet, nullptr));
    EXPECT_TRUE(trust_ != nullptr);
    EXPECT_TRUE(lists_.Initialize(pki_url.c_str(), {}, {}, cache_.c_str(), trust_.get(),
                                  upd::test::kCtlTestTime, kTlsChainFlags));
    store_.reset(CreateCertificateStore(&lists_, 0, kTlsRootSet, nullptr));
    EXPECT_TRUE(store_ != nullptr);
  }
  ~Env() { store_.reset(); }

  std::string CtlPath(const std::string& leaf) const {
    return temp_.file("cache") + "/ctl/" + Sha1Hex(leaf) + ".stl";
  }
  // Puts a list into the cache under the leaf's name.
  void Cache(const std::string& leaf, const std::string& list) {
    std::filesystem::create_directories(temp_.file("cache") + "/ctl");
    std::filesystem::copy_file(list, CtlPath(leaf),
                               std::filesystem::copy_options::overwrite_existing);
  }

  // The verification entry over the fixtures, leaf first.
  uint32_t Verify(const std::vector<std::string>& chain, uint32_t& status,
                  const SignerRequirement* requirement = nullptr, const char* host = nullptr,
                  int64_t time = upd::test::kCtlTestTime) {
    std::vector<std::vector<uint8_t>> certificates;
    for (const std::string& c : chain) {
      certificates.push_back(FileBytes(CtlPki::Get().Path(c + ".der")));
    }
    const std::vector<uint8_t> list = PackPeerCertificateList(certificates);
    return VerifyCertificateListEx(store_.get(), list.data(), list.size(), time, kTlsChainFlags,
                                   requirement, &status, host);
  }

  upd::test::TempDir& temp() { return temp_; }
  const std::string& cache() const { return cache_; }
  CTLCertStoreImpl& lists() { return lists_; }
  CertificateStore* store() { return store_.get(); }

 private:
  upd::test::TempDir temp_;
  std::string cache_;
  CertificateStorePtr trust_;
  CTLCertStoreImpl lists_;
  CertificateStorePtr store_;
};

}  // namespace ctl_test
