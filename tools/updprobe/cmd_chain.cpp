#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "command.h"
#include "probe_input.h"
#include "verify/x509/builtin_roots.h"
#include "verify/x509/certificate_store.h"
#include "verify/x509/static_cert_store.h"
#include "verify/x509/x509_chain.h"

namespace updprobe {
namespace {

bool ParseNumber(const char* text, int base, uint64_t& out) {
  if (text == nullptr || *text == '\0' || *text == '-') return false;
  char* end = nullptr;
  out = std::strtoull(text, &end, base);
  return end != nullptr && *end == '\0';
}

struct ChainOptions {
  int64_t time = static_cast<int64_t>(std::time(nullptr));
  uint32_t flags = 0;
  std::vector<const char*> roots;
  std::vector<const char*> intermediates;
  const char* leaf = nullptr;
};

bool ParseOptions(Args args, ChainOptions& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    const bool has_value = i + 1 < args.size();
    uint64_t number = 0;
    if (arg == "--at" && has_value && ParseNumber(args[i + 1], 10, number)) {
      options.time = static_cast<int64_t>(number);
    } else if (arg == "--flags" && has_value && ParseNumber(args[i + 1], 16, number) &&
               number <= UINT32_MAX) {
      options.flags = static_cast<uint32_t>(number);
    } else if (arg == "--root" && has_value) {
      options.roots.push_back(args[i + 1]);
    } else if (arg == "--intermediate" && has_value) {
      options.intermediates.push_back(args[i + 1]);
    } else if (!arg.starts_with("--") && options.leaf == nullptr && i + 1 == args.size()) {
      options.leaf = args[i];
      continue;
    } else {
      return false;
    }
    ++i;
  }
  return options.leaf != nullptr;
}

// Loads a certificate file; prints why on failure.
CountedPtr<X509Certificate> LoadCertificate(const char* path) {
  std::vector<uint8_t> file;
  ByteArray bytes;
  if (!ReadInput(path, file) || file.empty() ||
      bytes.Assign(static_cast<int64_t>(file.size()), file.data()) == 0) {
    std::fprintf(stderr, "chain: cannot read %s\n", path);
    return {};
  }
  CountedPtr<X509Certificate> certificate = X509Certificate::FromBytes(bytes);
  if (certificate.IsEmpty()) std::fprintf(stderr, "chain: %s is not a certificate\n", path);
  return certificate;
}

int Chain(Args args) {
  ChainOptions options;
  if (!ParseOptions(args, options)) {
    return Usage(
        "chain [--at UNIXTIME] [--flags HEX] [--root FILE]... [--intermediate FILE]... LEAF");
  }
  StaticCertStore anchors;
  for (const char* path : options.roots) {
    CountedPtr<X509Certificate> root = LoadCertificate(path);
    if (root.IsEmpty() || !anchors.AddCertificate(root->GetEncoded())) return kExitFailure;
  }
  CountedPtr<X509CertificateCollection> extra = MakeCounted<X509CertificateCollection>();
  if (extra.IsEmpty()) return kExitFailure;
  for (const char* path : options.intermediates) {
    CountedPtr<X509Certificate> certificate = LoadCertificate(path);
    if (certificate.IsEmpty() || !extra->Add(certificate)) return kExitFailure;
  }
  CountedPtr<X509Certificate> leaf = LoadCertificate(options.leaf);
  if (leaf.IsEmpty()) return kExitFailure;

  CertificateStorePtr store(CreateCertificateStore(&anchors, 0, kRootSetEmpty, nullptr));
  X509Chain chain;
  if (store == nullptr || !chain.Init(store.get()) || !chain.AddExtraCertificates(extra)) {
    return kExitFailure;
  }
  const uint32_t result = chain.Build(leaf, options.flags, options.time);
  std::printf("result=%" PRIu32 " status=0x%08" PRIX32 "\n", result, chain.GetStatus());
  return result == 0 ? kExitOk : kExitFailure;
}

const Registrar kChain(
    "chain", "chain [--at UNIXTIME] [--flags HEX] [--root FILE]... [--intermediate FILE]... LEAF",
    Chain);

}  // namespace
}  // namespace updprobe
