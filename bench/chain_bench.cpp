// Chain building on a clean path and on the hostile inputs that the search
// bounds exist for: many certificates sharing one name and no key
// identifiers, each signed by another's key (any TLS peer can send them).
// The certificates are made with OpenSSL when the benchmark starts.
#include <benchmark/benchmark.h>

#ifdef UPD_BENCH_HAVE_OPENSSL
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "verify/x509/certificate_store.h"
#include "verify/x509/static_cert_store.h"
#include "verify/x509/x509_chain.h"

namespace {

// 2030-01-01, inside every window below.
constexpr int64_t kBuildTime = 1893456000;
constexpr int kLoopSize = 40;

EVP_PKEY* NewKey() { return EVP_EC_gen("P-256"); }

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  X509_add_ext(certificate, extension, -1);
  X509_EXTENSION_free(extension);
}

// DER of a v3 certificate for subject's key, named issuer_name, signed by signer.
ByteArray MakeCertificate(const char* subject, EVP_PKEY* key, const char* issuer_name,
                          EVP_PKEY* signer, bool ca, long serial) {
  X509* certificate = X509_new();
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), serial);
  X509_NAME* name = X509_NAME_new();
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(subject), -1, -1, 0);
  X509_set_subject_name(certificate, name);
  X509_NAME_free(name);
  name = X509_NAME_new();
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(issuer_name), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509_NAME_free(name);
  ASN1_TIME_set_string(X509_getm_notBefore(certificate), "20200101000000Z");
  ASN1_TIME_set_string(X509_getm_notAfter(certificate), "20400101000000Z");
  X509_set_pubkey(certificate, key);
  AddExtension(certificate, certificate, NID_basic_constraints,
               ca ? "critical,CA:TRUE" : "CA:FALSE");
  if (ca) AddExtension(certificate, certificate, NID_key_usage, "critical,keyCertSign");
  X509_sign(certificate, signer, EVP_sha256());
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  ByteArray out;
  if (length > 0) (void)out.Assign(length, der);
  OPENSSL_free(der);
  X509_free(certificate);
  return out;
}

struct Fixture {
  ByteArray root;
  CountedPtr<X509Certificate> clean_leaf;
  CountedPtr<X509CertificateCollection> clean_extra;
  CountedPtr<X509Certificate> loop_leaf;
  CountedPtr<X509CertificateCollection> loop_extra;
  CountedPtr<X509CertificateCollection> eight_extra;
};

const Fixture& GetFixture() {
  static const Fixture fixture = [] {
    Fixture f;
    EVP_PKEY* root = NewKey();
    EVP_PKEY* inter = NewKey();
    EVP_PKEY* leaf = NewKey();
    f.root = MakeCertificate("Bench Root", root, "Bench Root", root, true, 1);
    f.clean_extra = MakeCounted<X509CertificateCollection>();
    (void)f.clean_extra->Add(X509Certificate::FromBytes(
        MakeCertificate("Bench Inter", inter, "Bench Root", root, true, 2)));
    f.clean_leaf =
        X509Certificate::FromBytes(MakeCertificate("leaf", leaf, "Bench Inter", inter, false, 3));
    std::vector<EVP_PKEY*> keys;
    for (int i = 0; i < kLoopSize; ++i) keys.push_back(NewKey());
    f.loop_extra = MakeCounted<X509CertificateCollection>();
    f.eight_extra = MakeCounted<X509CertificateCollection>();
    for (int i = 0; i < kLoopSize; ++i) {
      CountedPtr<X509Certificate> certificate = X509Certificate::FromBytes(
          MakeCertificate("Loop CA", keys[i], "Loop CA", keys[(i + 1) % kLoopSize], true, 10 + i));
      (void)f.loop_extra->Add(certificate);
      if (i < 8) (void)f.eight_extra->Add(certificate);
    }
    f.loop_leaf =
        X509Certificate::FromBytes(MakeCertificate("leaf", leaf, "Loop CA", keys[0], false, 99));
    for (EVP_PKEY* key : keys) EVP_PKEY_free(key);
    EVP_PKEY_free(root);
    EVP_PKEY_free(inter);
    EVP_PKEY_free(leaf);
    return f;
  }();
  return fixture;
}

void RunBuilds(benchmark::State& state, const CountedPtr<X509Certificate>& leaf,
               const CountedPtr<X509CertificateCollection>& extra) {
  const Fixture& f = GetFixture();
  StaticCertStore anchors;
  if (!anchors.AddCertificate(f.root)) state.SkipWithError("no memory");
  CertificateStorePtr store(CreateCertificateStore(&anchors, 0, kRootSetEmpty, nullptr));
  uint32_t result = 0;
  for (auto _ : state) {
    X509Chain chain;
    if (!chain.Init(store.get()) || !chain.AddExtraCertificates(extra)) {
      state.SkipWithError("chain setup failed");
      break;
    }
    result = chain.Build(leaf, kChainTimeErrorsFatal, kBuildTime);
    benchmark::DoNotOptimize(result);
  }
  state.counters["result"] = result;
}

void BM_ChainCleanPath(benchmark::State& state) {
  RunBuilds(state, GetFixture().clean_leaf, GetFixture().clean_extra);
}
BENCHMARK(BM_ChainCleanPath)->Unit(benchmark::kMillisecond);

// Stops at the cap on issuers per certificate.
void BM_ChainFortySameNameIssuers(benchmark::State& state) {
  RunBuilds(state, GetFixture().loop_leaf, GetFixture().loop_extra);
}
BENCHMARK(BM_ChainFortySameNameIssuers)->Unit(benchmark::kMillisecond);

// Eight issuers fit under that cap; the signature-check budget ends the search.
void BM_ChainEightSameNameIssuers(benchmark::State& state) {
  RunBuilds(state, GetFixture().loop_leaf, GetFixture().eight_extra);
}
BENCHMARK(BM_ChainEightSameNameIssuers)->Unit(benchmark::kMillisecond);

}  // namespace
#endif
