// Throughput of the digests and base64 beside their usual peers (zlib's
// crc32(), OpenSSL's EVP digests), measured in the same run. The Vs benchmarks
// time both sides on the same buffer and report ratio = our throughput / peer's.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/util/base64.h"
#include "platform/util/crc32.h"
#include "platform/util/md5.h"
#include "platform/util/sha1.h"
#include "platform/util/sha256.h"
#include "platform/util/sha512.h"

#if defined(UPD_BENCH_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

constexpr int64_t kSmall = 64 << 10;
constexpr int64_t kLarge = 16 << 20;

// A prefix of one fixed random buffer, so every benchmark hashes the same bytes.
std::vector<uint8_t> Data(size_t n) {
  static const std::vector<uint8_t> data = [] {
    std::vector<uint8_t> v(static_cast<size_t>(kLarge));
    std::mt19937_64 rng(42);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
  }();
  return std::vector<uint8_t>(data.begin(), data.begin() + static_cast<long>(n));
}

using Work = std::function<void(const std::vector<uint8_t>&)>;

uint32_t OurCrc(const std::vector<uint8_t>& d) { return Crc32(d.data(), d.size(), 0); }
uint32_t ZlibCrc(const std::vector<uint8_t>& d) {
  return static_cast<uint32_t>(crc32(0, d.data(), static_cast<uInt>(d.size())));
}

void OurSha1(const std::vector<uint8_t>& d) {
  SHA1_CONTEXT c;
  Sha1Init(&c);
  Sha1Update(&c, d.data(), d.size());
  Sha1Final(&c);
  benchmark::DoNotOptimize(Sha1Digest(&c)[0]);
}

void OurSha256(const std::vector<uint8_t>& d) {
  uint8_t out[32];
  benchmark::DoNotOptimize(Sha256Digest(d.data(), d.size(), out, sizeof out));
  benchmark::DoNotOptimize(out[0]);
}

void OurSha512(const std::vector<uint8_t>& d) {
  SHA512_CONTEXT c;
  uint8_t out[64];
  benchmark::DoNotOptimize(Sha512Init(&c));
  benchmark::DoNotOptimize(Sha512Update(&c, d.data(), d.size()));
  benchmark::DoNotOptimize(Sha512Finish(&c, out, sizeof out, kSha512DigestSize));
  benchmark::DoNotOptimize(out[0]);
}

void OurMd5(const std::vector<uint8_t>& d) {
  MD5_CONTEXT c;
  uint8_t out[16];
  benchmark::DoNotOptimize(Md5Init(&c));
  Md5Update(&c, d.data(), d.size());
  benchmark::DoNotOptimize(Md5Final(&c, out, sizeof out));
  benchmark::DoNotOptimize(out[0]);
}

void Report(benchmark::State& state, int64_t bytes) {
  state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Crc32(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(OurCrc(d));
  Report(state, state.range(0));
}

void BM_ZlibCrc32(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ZlibCrc(d));
  Report(state, state.range(0));
}

void BM_Sha1(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OurSha1(d);
  Report(state, state.range(0));
}

void BM_Sha256(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OurSha256(d);
  Report(state, state.range(0));
}

void BM_Sha512(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OurSha512(d);
  Report(state, state.range(0));
}

void BM_Md5(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OurMd5(d);
  Report(state, state.range(0));
}

std::string EncodedText(size_t bytes) {
  const auto d = Data(bytes);
  std::string text(((bytes + 2) / 3) * 4 + 2, '\0');
  uint64_t written = 0;
  if (Base64Encode(d.data(), d.size(), text.data(), text.size(), &written) != 1) return {};
  text.resize(written - 1);
  return text;
}

void BM_Base64Decode(benchmark::State& state) {
  const std::string text = EncodedText(static_cast<size_t>(state.range(0)));
  std::vector<uint8_t> out(text.size());
  for (auto _ : state) {
    uint64_t written = 0;
    benchmark::DoNotOptimize(
        Base64Decode(text.data(), text.size(), out.data(), out.size(), &written));
  }
  Report(state, static_cast<int64_t>(text.size()));
}

void BM_Base64Encode(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  std::vector<char> out(d.size() / 3 * 4 + 8);
  for (auto _ : state) {
    uint64_t written = 0;
    benchmark::DoNotOptimize(Base64Encode(d.data(), d.size(), out.data(), out.size(), &written));
  }
  Report(state, state.range(0));
}

// Times ours and the peer alternately over the same buffer so that both see
// the same cache and clock conditions.
void RunVs(benchmark::State& state, const Work& ours, const Work& peer) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  using Clock = std::chrono::steady_clock;
  Clock::duration ours_time{}, peer_time{};
  for (auto _ : state) {
    auto t0 = Clock::now();
    ours(d);
    auto t1 = Clock::now();
    peer(d);
    auto t2 = Clock::now();
    ours_time += t1 - t0;
    peer_time += t2 - t1;
    state.SetIterationTime(std::chrono::duration<double>(t2 - t0).count());
  }
  const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(d.size());
  const double ours_s = std::chrono::duration<double>(ours_time).count();
  const double peer_s = std::chrono::duration<double>(peer_time).count();
  state.counters["ours_GBps"] = bytes / ours_s / 1e9;
  state.counters["peer_GBps"] = bytes / peer_s / 1e9;
  state.counters["ratio"] = peer_s / ours_s;
}

void BM_Crc32VsZlib(benchmark::State& state) {
  RunVs(
      state, [](const auto& d) { benchmark::DoNotOptimize(OurCrc(d)); },
      [](const auto& d) { benchmark::DoNotOptimize(ZlibCrc(d)); });
}

#if defined(UPD_BENCH_HAVE_OPENSSL)
void OpenSsl(const EVP_MD* md, const std::vector<uint8_t>& d) {
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  benchmark::DoNotOptimize(EVP_Digest(d.data(), d.size(), out, &n, md, nullptr));
  benchmark::DoNotOptimize(out[0]);
}

void BM_OpenSslSha1(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OpenSsl(EVP_sha1(), d);
  Report(state, state.range(0));
}

void BM_OpenSslSha256(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OpenSsl(EVP_sha256(), d);
  Report(state, state.range(0));
}

void BM_OpenSslSha512(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OpenSsl(EVP_sha512(), d);
  Report(state, state.range(0));
}

void BM_OpenSslMd5(benchmark::State& state) {
  const auto d = Data(static_cast<size_t>(state.range(0)));
  for (auto _ : state) OpenSsl(EVP_md5(), d);
  Report(state, state.range(0));
}

void BM_OpenSslBase64Decode(benchmark::State& state) {
  const std::string text = EncodedText(static_cast<size_t>(state.range(0)));
  std::vector<uint8_t> out(text.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(EVP_DecodeBlock(out.data(),
                                             reinterpret_cast<const unsigned char*>(text.data()),
                                             static_cast<int>(text.size())));
  }
  Report(state, static_cast<int64_t>(text.size()));
}

void BM_Sha1VsOpenSsl(benchmark::State& state) {
  RunVs(state, OurSha1, [](const auto& d) { OpenSsl(EVP_sha1(), d); });
}

void BM_Sha256VsOpenSsl(benchmark::State& state) {
  RunVs(state, OurSha256, [](const auto& d) { OpenSsl(EVP_sha256(), d); });
}

void BM_Sha512VsOpenSsl(benchmark::State& state) {
  RunVs(state, OurSha512, [](const auto& d) { OpenSsl(EVP_sha512(), d); });
}

void BM_Md5VsOpenSsl(benchmark::State& state) {
  RunVs(state, OurMd5, [](const auto& d) { OpenSsl(EVP_md5(), d); });
}

BENCHMARK(BM_OpenSslSha1)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslSha256)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslSha512)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslMd5)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_OpenSslBase64Decode)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Sha1VsOpenSsl)->Arg(kSmall)->Arg(kLarge)->UseManualTime();
BENCHMARK(BM_Sha256VsOpenSsl)->Arg(kSmall)->Arg(kLarge)->UseManualTime();
BENCHMARK(BM_Sha512VsOpenSsl)->Arg(kSmall)->Arg(kLarge)->UseManualTime();
BENCHMARK(BM_Md5VsOpenSsl)->Arg(kSmall)->Arg(kLarge)->UseManualTime();
#endif

BENCHMARK(BM_Crc32)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_ZlibCrc32)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Sha1)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Sha256)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Sha512)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Md5)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Base64Decode)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Base64Encode)->Arg(kSmall)->Arg(kLarge);
BENCHMARK(BM_Crc32VsZlib)->Arg(kSmall)->Arg(kLarge)->UseManualTime();

}  // namespace
