// Opening a 256 MiB signed update package (header and marker found, size and
// CRC-32 checked and signature verified in one pass over the file, payload
// written out or not) against `gpg --verify` of the same signed message in
// the same run. Each of our benchmarks also times gpg over the same number of
// iterations and reports the rate ratio as "vs_gpg" (ours / gpg's). The
// package is made once by the signing kit with the build tree's test trust
// folder, whose update key this build embeds.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/util/update_errors.h"
#include "updater/engine/package/opened_package.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kPayloadSize = uint64_t{256} << 20;

std::string Quote(const std::string& text) { return "'" + text + "'"; }

bool Run(const std::string& command) { return std::system(command.c_str()) == 0; }

// The package, the signed message gpg reads (the package without its leading
// key block, which only this library understands) and a GnuPG home that
// knows the signer.
class Package {
 public:
  static Package& Get() {
    static Package package;
    return package;
  }
  bool ok() const { return ok_; }
  const std::string& nup() const { return nup_; }
  const std::string& scratch() const { return scratch_; }
  std::string gpg_verify() const {
    return "gpg --homedir " + Quote(home_) + " --batch --quiet --verify " + Quote(message_) +
           " 2>/dev/null";
  }
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

 private:
  Package() {
    std::string pattern = (fs::temp_directory_path() / "nupbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    dir_ = pattern;
    nup_ = dir_ + "/package.nup";
    message_ = dir_ + "/package.gpg";
    home_ = dir_ + "/gnupg";
    scratch_ = dir_ + "/payload.out";
    ok_ = WritePayload(dir_ + "/payload") && Sign(dir_ + "/payload") && SplitKeyBlock() &&
          Run(gpg_verify());
  }
  ~Package() {
    std::error_code ec;
    if (!home_.empty()) Run("gpgconf --homedir " + Quote(home_) + " --kill all 2>/dev/null");
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  static bool WritePayload(const std::string& path) {
    std::vector<uint64_t> words(kPayloadSize / sizeof(uint64_t));
    std::mt19937_64 random(7);
    for (uint64_t& w : words) w = random();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(words.data()),
              static_cast<std::streamsize>(kPayloadSize));
    return static_cast<bool>(out);
  }
  bool Sign(const std::string& payload) const {
    return Run("python3 " + Quote(std::string(UPD_SOURCE_DIR) + "/tools/testpki/sign_kit.py") +
               " --trust " + Quote(UPD_TRUST_FOLDER) + " nup " + Quote(nup_) + " " +
               Quote(payload) + " filename=em000_64.dat build=1234 type=em000 platform=x64");
  }
  // The key block's nested packets go to gpg's keyring, the rest is the message.
  bool SplitKeyBlock() const {
    const std::string list = dir_ + "/packets";
    if (!Run("python3 " + Quote(std::string(UPD_SOURCE_DIR) + "/tools/testpki/pgp_tamper.py") +
             " list " + Quote(nup_) + " >" + Quote(list))) {
      return false;
    }
    std::ifstream packets(list);
    uint64_t at = 0, header = 0, tag = 0, length = 0;
    if (!(packets >> at >> header >> tag >> length) || tag != 15) return false;
    fs::create_directory(home_);
    fs::permissions(home_, fs::perms::owner_all);
    const std::string keys = dir_ + "/keys.pgp";
    return Run("tail -c +" + std::to_string(header + 2) + " " + Quote(nup_) + " | head -c " +
               std::to_string(length - 1) + " >" + Quote(keys)) &&
           Run("tail -c +" + std::to_string(header + length + 1) + " " + Quote(nup_) + " >" +
               Quote(message_)) &&
           Run("gpg --homedir " + Quote(home_) + " --batch --quiet --import " + Quote(keys) +
               " 2>/dev/null");
  }

  bool ok_ = false;
  std::string dir_, nup_, message_, home_, scratch_;
};

// gpg's seconds for the iterations we just ran, as a rate ratio.
void ReportRatio(benchmark::State& state, double our_seconds) {
  const Package& package = Package::Get();
  const auto iterations = static_cast<int64_t>(state.iterations());
  auto start = std::chrono::steady_clock::now();
  for (int64_t i = 0; i < iterations; ++i) {
    if (!Run(package.gpg_verify())) return state.SkipWithError("gpg did not verify");
  }
  std::chrono::duration<double> theirs = std::chrono::steady_clock::now() - start;
  state.counters["vs_gpg"] = theirs.count() / our_seconds;
}

// Opens the package whole, as an install does: checked only, or with its
// payload written to payload_path.
void RunExtract(benchmark::State& state, const char* payload_path) {
  const Package& package = Package::Get();
  if (!package.ok()) return state.SkipWithError("the package could not be made (gpg, python3?)");
  const PackageRead read = payload_path != nullptr ? PackageRead::kPayload : PackageRead::kChecked;
  auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const Result<OpenedPackage> opened = OpenedPackage::Open(package.nup().c_str(), read, false);
    if (!opened) return state.SkipWithError("the package did not open");
    if (payload_path != nullptr && opened->WritePayload(payload_path) != kUpdOk) {
      return state.SkipWithError("the payload was not written");
    }
  }
  std::chrono::duration<double> ours = std::chrono::steady_clock::now() - start;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPayloadSize));
  ReportRatio(state, ours.count());
}

void BM_ExtractUpdatePackageCheckOnly(benchmark::State& state) { RunExtract(state, nullptr); }

void BM_ExtractUpdatePackageToFile(benchmark::State& state) {
  RunExtract(state, Package::Get().scratch().c_str());
}

void BM_GpgVerify(benchmark::State& state) {
  const Package& package = Package::Get();
  if (!package.ok()) return state.SkipWithError("the package could not be made (gpg, python3?)");
  for (auto _ : state) {
    if (!Run(package.gpg_verify())) return state.SkipWithError("gpg did not verify");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPayloadSize));
}

BENCHMARK(BM_ExtractUpdatePackageCheckOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ExtractUpdatePackageToFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GpgVerify)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
