// Signature verification against OpenSSL's EVP verify on the same keys and
// digests. Each of our benchmarks also times OpenSSL over the same number of
// iterations and reports the rate ratio as "vs_openssl" (ours / OpenSSL's).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "verify/algorithms/ecdsa.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/algorithms/rsa.h"
#include "verify/algorithms/rsa_pkcs1.h"

#ifdef UPD_BENCH_HAVE_OPENSSL
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>

namespace {

const std::string kMessage = "catalogue signature benchmark message";

struct Peer {
  EVP_PKEY* key = nullptr;
  EVP_PKEY_CTX* verify = nullptr;
  std::vector<uint8_t> digest;
  std::vector<uint8_t> signature;
};

const EVP_MD* Digest(uint32_t hash_id) {
  switch (hash_id) {
    case kHashSHA384:
      return EVP_sha384();
    case kHashSHA512:
      return EVP_sha512();
    default:
      return EVP_sha256();
  }
}

// A fresh key, a signature over the message's digest and a verify context
// prepared once (as `openssl speed` does).
Peer MakePeer(EVP_PKEY* key, uint32_t hash_id) {
  Peer peer;
  peer.key = key;
  CountedPtr<IHashAlgorithm> hash = CreateHashAlgorithm(hash_id);
  const auto* data = reinterpret_cast<const uint8_t*>(kMessage.data());
  const uint8_t* digest = ComputeHash(hash.Get(), data, 0, kMessage.size());
  peer.digest.assign(digest, digest + hash->GetHashSize());
  EVP_PKEY_CTX* sign = EVP_PKEY_CTX_new(key, nullptr);
  size_t length = 0;
  EVP_PKEY_sign_init(sign);
  EVP_PKEY_CTX_set_signature_md(sign, Digest(hash_id));
  EVP_PKEY_sign(sign, nullptr, &length, peer.digest.data(), peer.digest.size());
  peer.signature.resize(length);
  EVP_PKEY_sign(sign, peer.signature.data(), &length, peer.digest.data(), peer.digest.size());
  peer.signature.resize(length);
  EVP_PKEY_CTX_free(sign);
  peer.verify = EVP_PKEY_CTX_new(key, nullptr);
  EVP_PKEY_verify_init(peer.verify);
  EVP_PKEY_CTX_set_signature_md(peer.verify, Digest(hash_id));
  return peer;
}

bool PeerVerify(const Peer& peer) {
  return EVP_PKEY_verify(peer.verify, peer.signature.data(), peer.signature.size(),
                         peer.digest.data(), peer.digest.size()) == 1;
}

std::vector<uint8_t> BnParam(EVP_PKEY* key, const char* name) {
  BIGNUM* bn = nullptr;
  EVP_PKEY_get_bn_param(key, name, &bn);
  std::vector<uint8_t> out(static_cast<size_t>(BN_num_bytes(bn)));
  BN_bn2bin(bn, out.data());
  BN_free(bn);
  return out;
}

struct RsaCase {
  Peer peer;
  CountedPtr<RSAImpl> key;
  CountedPtr<IHashAlgorithm> hash;
};

RsaCase& Rsa(int bits) {
  static RsaCase cases[2];
  RsaCase& c = cases[bits == 2048 ? 0 : 1];
  if (c.key) return c;
  c.peer =
      MakePeer(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits)), kHashSHA256);
  c.key = CreateRSAImpl();
  c.hash = CreateHashAlgorithm(kHashSHA256);
  RSAParameters parameters;
  if (!parameters.modulus.AssignBytes(BnParam(c.peer.key, OSSL_PKEY_PARAM_RSA_N)) ||
      !parameters.exponent.AssignBytes(BnParam(c.peer.key, OSSL_PKEY_PARAM_RSA_E)) ||
      !c.key->InitializeKey(static_cast<uint32_t>(bits)) || !c.key->ImportParameters(parameters)) {
    c.key.Reset();
  }
  return c;
}

struct EcCase {
  Peer peer;
  CountedPtr<ECCDSA> key;
};

EcCase& Ec(uint32_t curve) {
  static EcCase cases[4];
  EcCase& c = cases[curve];
  if (c.key) return c;
  const char* names[] = {"", "P-256", "P-384", "P-521"};
  const uint32_t hashes[] = {0, kHashSHA256, kHashSHA384, kHashSHA512};
  c.peer = MakePeer(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", names[curve]), hashes[curve]);
  std::vector<uint8_t> point(200);
  size_t length = 0;
  EVP_PKEY_get_octet_string_param(c.peer.key, OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size(),
                                  &length);
  point.resize(length);
  c.key = MakeCounted<ECCDSA>(curve);
  if (!c.key || !c.key->ImportPublicKey(point)) c.key.Reset();
  return c;
}

// OpenSSL's seconds for the iterations we just ran, as a rate ratio.
void ReportRatio(benchmark::State& state, const Peer& peer, double our_seconds) {
  const auto iterations = static_cast<int64_t>(state.iterations());
  auto start = std::chrono::steady_clock::now();
  for (int64_t i = 0; i < iterations; ++i) benchmark::DoNotOptimize(PeerVerify(peer));
  std::chrono::duration<double> theirs = std::chrono::steady_clock::now() - start;
  state.counters["vs_openssl"] = theirs.count() / our_seconds;
}

void BM_RsaVerify(benchmark::State& state) {
  RsaCase& c = Rsa(static_cast<int>(state.range(0)));
  if (!c.key) return state.SkipWithError("key import failed");
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    bool ok =
        RSAPKCS1VerifySignature(c.key.Get(), c.hash.Get(), c.peer.digest, c.peer.signature, true);
    if (!ok) return state.SkipWithError("signature did not verify");
  }
  std::chrono::duration<double> ours = std::chrono::steady_clock::now() - start;
  ReportRatio(state, c.peer, ours.count());
}

void BM_RsaVerifyOpenSsl(benchmark::State& state) {
  RsaCase& c = Rsa(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    if (!PeerVerify(c.peer)) return state.SkipWithError("OpenSSL did not verify");
  }
}

void BM_EcdsaVerify(benchmark::State& state) {
  EcCase& c = Ec(static_cast<uint32_t>(state.range(0)));
  if (!c.key) return state.SkipWithError("key import failed");
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    if (c.key->VerifyHash(c.peer.digest, c.peer.signature) != kEcdsaValid) {
      return state.SkipWithError("signature did not verify");
    }
  }
  std::chrono::duration<double> ours = std::chrono::steady_clock::now() - start;
  ReportRatio(state, c.peer, ours.count());
}

void BM_EcdsaVerifyOpenSsl(benchmark::State& state) {
  EcCase& c = Ec(static_cast<uint32_t>(state.range(0)));
  for (auto _ : state) {
    if (!PeerVerify(c.peer)) return state.SkipWithError("OpenSSL did not verify");
  }
}

BENCHMARK(BM_RsaVerify)->Arg(2048)->Arg(4096)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RsaVerifyOpenSsl)->Arg(2048)->Arg(4096)->Unit(benchmark::kMicrosecond);
// Curve ids: 1 P-256, 2 P-384, 3 P-521.
BENCHMARK(BM_EcdsaVerify)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EcdsaVerifyOpenSsl)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace
#endif  // UPD_BENCH_HAVE_OPENSSL
