#pragma once

#include <cstdint>
#include <memory>

#include "platform/os/os_mutex.h"
#include "verify/common/refcount.h"
#include "verify/x509/builtin_roots.h"
#include "verify/x509/cert_store_interface.h"
#include "verify/x509/certificate_collection.h"
#include "verify/x509/crl_info.h"

class AuthenticodeHttpClientInterface;

// Views of GetMergedCollection and FindCertificate.
inline constexpr uint32_t kStoreViewMerged = 0;
inline constexpr uint32_t kStoreViewRoots = 1;

// The trust side of a chain check: the built-in roots of a root set, an
// optional external source whose certificates join them in a lazily built
// merged view (under the store's own lock), the source's revocation records
// and an optional download client for missing issuers.
class CertificateStore {
 private:
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  explicit CertificateStore(ConstructionKey /*key*/);
  CertificateStore(const CertificateStore&) = delete;
  CertificateStore& operator=(const CertificateStore&) = delete;
  ~CertificateStore();

  // Null for a refused root set, a non-zero option without external source,
  // a root that does not parse, or when the lock or memory is not there.
  friend CertificateStore* CreateCertificateStore(CertStoreInterface* external, uint64_t option,
                                                  uint32_t root_set,
                                                  AuthenticodeHttpClientInterface* client);

  // View 1: the roots (no lock); any other: the merged view, null when it
  // cannot be built.
  [[nodiscard]] CountedPtr<X509CertificateCollection> GetMergedCollection(uint32_t mode);
  // The view of that mode holds an encoding-equal certificate.
  [[nodiscard]] bool FindCertificate(const X509Certificate* certificate, uint32_t mode);
  // Listed in the revocation records under its issuer's encoding and serial.
  [[nodiscard]] bool IsRevoked(const X509Certificate* certificate, int64_t* revocation_time);

  CertStoreInterface* GetExternalStore() const { return external_; }
  bool SetExternalStore(CertStoreInterface* external);
  AuthenticodeHttpClientInterface* GetDownloadClient() const { return client_; }
  // Change callback handed to CertStoreInterface::Subscribe; context is the store.
  static void OnExternalStoreChanged(void* context);

 private:
  [[nodiscard]] bool InitFromDer(const BuiltinRootList& roots);
  [[nodiscard]] bool InitEmpty();
  [[nodiscard]] CountedPtr<X509CertificateCollection> BuildMergedView();
  // Load when needed; false when Load fails. keep_open tells whether the
  // source stays open (handler 1 or a subscription in place).
  [[nodiscard]] bool OpenExternalStore(bool& keep_open);
  void AddExternalCertificates(X509CertificateCollection& view);
  void AddExternalRevocations();

  CountedPtr<X509CertificateCollection> roots_;
  CRLInfoList revocations_;
  CountedPtr<X509CertificateCollection> merged_;
  CertStoreInterface* external_ = nullptr;
  OS_MUTEX* lock_ = nullptr;
  AuthenticodeHttpClientInterface* client_ = nullptr;
};

CertificateStore* CreateCertificateStore(CertStoreInterface* external, uint64_t option,
                                         uint32_t root_set,
                                         AuthenticodeHttpClientInterface* client);
// Destroys the store (closing its external source); null is accepted.
void ReleaseCertificateStore(CertificateStore* store);

struct CertificateStoreRelease {
  void operator()(CertificateStore* store) const { ReleaseCertificateStore(store); }
};
// Owning handle for callers that keep a store in a scope.
using CertificateStorePtr = std::unique_ptr<CertificateStore, CertificateStoreRelease>;
