#pragma once

#include <cstdint>

#include "verify/common/byte_array.h"
#include "verify/common/carray.h"
#include "verify/x509/cert_store_interface.h"

// An external certificate source over a fixed list of certificates and
// revocation records held in memory: a caller's own anchors served to a
// CertificateStore. Its content never changes, so it needs no Load and
// accepts every subscription without ever calling back; it offers no handler.
class StaticCertStore : public CertStoreInterface {
 public:
  StaticCertStore() = default;
  StaticCertStore(const StaticCertStore&) = delete;
  StaticCertStore& operator=(const StaticCertStore&) = delete;
  ~StaticCertStore() override = default;

  // Keeps a copy of the bytes (DER); false when memory runs out.
  [[nodiscard]] bool AddCertificate(const ByteArray& der);
  // The record and what it points to must outlive the store.
  [[nodiscard]] bool AddCRL(const CRLRecord* record);

  bool Load() override { return true; }
  void Close() override {}
  bool HasCertificates() override { return true; }
  const CertStoreCertificate* NextCertificate(const CertStoreCertificate* previous) override;
  const CertStoreCRL* NextCRL(const CertStoreCRL* previous) override;
  uint32_t Subscribe(uint32_t /*kind*/, CertStoreChangeCallback /*callback*/,
                     void* /*context*/) override {
    return 0;
  }
  bool GetHandler(uint32_t /*kind*/, CertStoreHandler* /*handler*/) override { return false; }

 private:
  [[nodiscard]] bool RefreshItems();

  CArrayNoThrow<ByteArray, const ByteArray&> certificates_;
  CArrayNoThrow<CertStoreCertificate, const CertStoreCertificate&> items_;
  CArrayNoThrow<CertStoreCRL, const CertStoreCRL&> crls_;
};
