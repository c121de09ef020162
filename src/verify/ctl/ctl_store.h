#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "verify/certhttp/network_credential.h"
#include "verify/certhttp/proxy_settings.h"
#include "verify/common/byte_array.h"
#include "verify/common/refcount.h"
#include "verify/x509/cert_store_interface.h"
#include "verify/x509/certificate_collection.h"

class CertificateStore;

// Results of CTLCertStoreImpl::FetchTrustList besides the download client's
// own (Authenticode::DownloadResult), which are passed through.
enum TrustListFetchResult : uint32_t {
  kFetchOk = 0,
  kFetchNoMemory = 12,  // also: a thumbprint not of 20 bytes, a too short PKI URL
  kFetchBadArgument = 21,
  kFetchNoCacheFolder = 39,
  kFetchRejected = 40,
};

// Trust lists are small; a cached file above this is not read but fetched anew.
inline constexpr int64_t kTrustListCacheLimit = 1048576;
// Bound of a downloaded trust list.
inline constexpr uint64_t kTrustListDownloadLimit = 10485760;
inline constexpr uint32_t kTrustListTimeoutSeconds = 60;

// The external certificate source of the TLS check: given a server
// certificate's SHA-1 thumbprint it loads that certificate's trust list from
// the cache folder's "ctl" folder, or downloads it from the PKI server,
// checks it completely against the trust store and offers the certificates
// it carries.
class CTLCertStoreImpl final : public CertStoreInterface {
 public:
  CTLCertStoreImpl();
  ~CTLCertStoreImpl() override;
  CTLCertStoreImpl(const CTLCertStoreImpl&) = delete;
  CTLCertStoreImpl& operator=(const CTLCertStoreImpl&) = delete;

  // trust_store is not owned and must outlive this store. False for a null
  // text or when memory runs out.
  [[nodiscard]] bool Initialize(const char* pki_url,
                                const CountedPtr<NetworkCredential>& credential,
                                const CountedPtr<HttpProxySettings>& proxy,
                                const char* cache_folder, CertificateStore* trust_store,
                                int64_t time, uint32_t chain_flags);

  [[nodiscard]] bool Load() override { return state_ == kStateInitialized; }
  void Close() override { certificates_.Reset(); }
  [[nodiscard]] bool HasCertificates() override;
  const CertStoreCertificate* NextCertificate(const CertStoreCertificate* previous) override;
  // A trust-list store carries no revocation records.
  const CertStoreCRL* NextCRL(const CertStoreCRL* /*previous*/) override { return nullptr; }
  // Accepted and never called back: the content changes only through fetches
  // that the chain itself asks for before it looks at the store.
  uint32_t Subscribe(uint32_t /*kind*/, CertStoreChangeCallback /*callback*/,
                     void* /*context*/) override {
    return 0;
  }
  [[nodiscard]] bool GetHandler(uint32_t kind, CertStoreHandler* handler) override;

  // Handler 3 of the chain builder.
  static uint32_t FetchTrustList(CertStoreInterface* store, const CertStoreBlob* request);

  // Every certificate of every accepted list (null before the first).
  CountedPtr<X509CertificateCollection> GetCertificates() const { return certificates_; }
  // The checks of a trust-list file: its certificates, or empty when refused.
  [[nodiscard]] CountedPtr<X509CertificateCollection> ParseTrustList(const ByteArray& bytes);

 private:
  static constexpr uint32_t kStateInitialized = 2;

  // Item of NextCertificate; the walk reuses one.
  struct Item : CertStoreCertificate {
    uint32_t kind;
    uint64_t reserved;
    int64_t next;
  };

  [[nodiscard]] uint32_t Fetch(std::span<const uint8_t> thumbprint);
  [[nodiscard]] bool LoadFile(const char* path, ByteArray& out);
  [[nodiscard]] uint32_t Download(const char* file_name, ByteArray& out);
  void SaveFile(const char* path, const ByteArray& bytes);
  [[nodiscard]] TrustListFetchResult Merge(const CountedPtr<X509CertificateCollection>& list);
  [[nodiscard]] TrustListFetchResult DropDistributionPoints();
  [[nodiscard]] bool CheckListedCertificates(const X509CertificateCollection& certificates,
                                             const class CertificateTrustList& list);
  void Fill(Item& item, int64_t index);

  uint32_t state_ = 0;
  CertificateStore* trust_store_ = nullptr;
  int64_t time_ = 0;
  uint32_t chain_flags_ = 0;
  std::unique_ptr<char[]> pki_url_;
  std::unique_ptr<char[]> cache_folder_;
  CountedPtr<NetworkCredential> credential_;
  CountedPtr<HttpProxySettings> proxy_;
  CountedPtr<X509CertificateCollection> certificates_;
  std::unique_ptr<Item> item_;
};
