// DER decoding of a real certificate, and the hostile nested indefinite forms
// whose refusal must stay linear in the input (well under a second for 1 MiB).
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>

#include "verify/asn1/asn1.h"

#ifdef UPD_BENCH_HAVE_OPENSSL
#include <openssl/x509.h>
#endif

namespace {

const char kCertificate[] =
    "/usr/lib/python3/dist-packages/cryptography_vectors/x509/PKITS_data/certs/GoodCACert.crt";

ByteArray Load(const std::string& bytes) {
  ByteArray out;
  if (!out.Assign(static_cast<int64_t>(bytes.size()), bytes.data())) out.Clear();
  return out;
}

std::string ReadCertificate() {
  std::ifstream in(kCertificate, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void BM_ParseCertificate(benchmark::State& state) {
  const ByteArray input = Load(ReadCertificate());
  if (input.IsEmpty()) {
    state.SkipWithError("PKITS certificate missing");
    return;
  }
  for (auto _ : state) {
    CountedPtr<ASN1> root = ASN1::Parse(input, true);
    benchmark::DoNotOptimize(root.Get());
  }
  state.SetBytesProcessed(state.iterations() * input.GetLength());
}
BENCHMARK(BM_ParseCertificate);

#ifdef UPD_BENCH_HAVE_OPENSSL
void BM_OpensslParseCertificate(benchmark::State& state) {
  const std::string der = ReadCertificate();
  for (auto _ : state) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(der.data());
    X509* cert = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
    benchmark::DoNotOptimize(cert);
    X509_free(cert);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(der.size()));
}
BENCHMARK(BM_OpensslParseCertificate);
#endif

// state.range(0) bytes of "30 80" headers, closed by as many end markers when
// range(1) is set.
void BM_NestedIndefinite(benchmark::State& state) {
  const int64_t pairs = state.range(0) / 2;
  std::string der;
  for (int64_t i = 0; i < pairs; ++i) der += "\x30\x80";
  if (state.range(1) != 0) der.append(static_cast<size_t>(2 * pairs), '\0');
  const ByteArray input = Load(der);
  for (auto _ : state) {
    CountedPtr<ASN1> root = ASN1::Parse(input, true);
    if (!root.IsEmpty()) state.SkipWithError("hostile nesting was accepted");
  }
  state.SetBytesProcessed(state.iterations() * input.GetLength());
}
BENCHMARK(BM_NestedIndefinite)
    ->Args({1 << 16, 0})
    ->Args({1 << 20, 0})
    ->Args({1 << 16, 1})
    ->Args({1 << 20, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
