#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "probe_input.h"
#include "verify/ctl/ctl_store.h"
#include "verify/x509/certificate_list_verify.h"
#include "verify/x509/certificate_store.h"
#include "verify/x509/peer_certificate_list.h"

namespace updprobe {
namespace {

bool ParseTime(const char* text, int64_t& out) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return false;
  out = value;
  return true;
}

// A cache folder for the run when none is given, removed afterwards.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "certlist-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Checks the certificates as the TLS server check does: trust lists under
// the product's own roots, then the chain against root set 4.
int CertList(Args args) {
  int64_t time = static_cast<int64_t>(std::time(nullptr));
  std::string cache;
  std::string pki;
  std::vector<std::vector<uint8_t>> certificates;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--at" && has_value) {
      if (!ParseTime(args[++i], time)) return Usage("certlist: --at takes seconds since 1970");
    } else if (arg == "--cache" && has_value) {
      cache = args[++i];
    } else if (arg == "--pki" && has_value) {
      pki = args[++i];
    } else if (arg.starts_with("--")) {
      return Usage("certlist: unknown option");
    } else {
      certificates.emplace_back();
      if (!ReadInput(args[i], certificates.back())) {
        std::fprintf(stderr, "certlist: cannot read %s\n", args[i]);
        return kExitFailure;
      }
    }
  }
  if (certificates.empty()) return Usage("certlist: no certificate given");
  ScratchFolder scratch;
  if (cache.empty()) cache = scratch.path();
  const std::vector<uint8_t> list = PackPeerCertificateList(certificates);

  CertificateStorePtr trust(CreateCertificateStore(nullptr, 0, kTlsRootSet, nullptr));
  if (!trust) {
    std::fprintf(stderr, "certlist: no root store\n");
    return kExitFailure;
  }
  CTLCertStoreImpl lists;
  if (!lists.Initialize(pki.c_str(), {}, {}, cache.c_str(), trust.get(), time, kTlsChainFlags)) {
    std::fprintf(stderr, "certlist: trust-list store not initialised\n");
    return kExitFailure;
  }
  uint32_t status = 0;
  uint32_t result = 0;
  {
    CertificateStorePtr store(CreateCertificateStore(&lists, 0, kTlsRootSet, nullptr));
    if (!store) {
      std::fprintf(stderr, "certlist: no store\n");
      return kExitFailure;
    }
    result =
        VerifyCertificateList(store.get(), list.data(), list.size(), time, kTlsChainFlags, &status);
  }
  std::printf("result=%" PRIu32 " status=0x%08" PRIX32 "\n", result, status);
  return result == 0 ? kExitOk : kExitFailure;
}

const Registrar kCertList("certlist", "certlist [--at UNIXTIME] [--cache DIR] [--pki URL] CERT...",
                          CertList);

}  // namespace
}  // namespace updprobe
