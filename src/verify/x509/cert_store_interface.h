#pragma once

#include <cstdint>

#include "verify/x509/crl_info.h"

class CertStoreInterface;

// One certificate item of CertStoreInterface::NextCertificate; the source
// owns and reuses it.
struct CertStoreCertificate {
  const uint8_t* bytes;
  uint32_t length;
};

// One revocation item of CertStoreInterface::NextCRL.
struct CertStoreCRL {
  const CRLRecord* record;
};

// Kinds of CertStoreInterface::GetHandler and Subscribe.
enum CertStoreHandlerKind : uint32_t {
  kHandlerKeepOpen = 1,        // any non-null handler: keep the source open, no subscription
  kHandlerAnchorQuery = 2,     // AnchorQueryHandler
  kHandlerTrustListFetch = 3,  // TrustListFetchHandler
};
inline constexpr uint32_t kSubscribeChanges = 1;

// Bytes handed to the trust-list fetch (the leaf's SHA-1 thumbprint).
struct CertStoreBlob {
  const uint8_t* data;
  uint64_t length;
};

// Request of the anchor query; verdict is all ones before the call, and
// result 0 with verdict 0 accepts the certificate as the root.
struct AnchorQuery {
  uint32_t size;
  uint32_t thumbprint_length;
  const uint8_t* thumbprint;
  uint32_t verdict;
};
static_assert(sizeof(AnchorQuery) == 24, "the anchor query record is 24 bytes");

// Handlers are handed out as this generic type and called as the kind's own.
using CertStoreHandler = void (*)();
using TrustListFetchHandler = uint32_t (*)(CertStoreInterface* store, const CertStoreBlob* hash);
using AnchorQueryHandler = uint32_t (*)(AnchorQuery* request);
using CertStoreChangeCallback = void (*)(void* context);

// An external source of certificates (and revocation records) whose content
// joins a store's roots in its merged view.
class CertStoreInterface {
 public:
  virtual ~CertStoreInterface() = default;
  // Makes the certificates available; false fails the merged view.
  [[nodiscard]] virtual bool Load() = 0;
  // Releases what Load prepared.
  virtual void Close() = 0;
  // True when the source is ready (no Load needed).
  [[nodiscard]] virtual bool HasCertificates() = 0;
  // Null starts the walk; null ends it.
  virtual const CertStoreCertificate* NextCertificate(const CertStoreCertificate* previous) = 0;
  virtual const CertStoreCRL* NextCRL(const CertStoreCRL* previous) = 0;
  // Kind 1: 0 when the source will call callback(context) on a change;
  // (1, null, null) ends the subscription.
  virtual uint32_t Subscribe(uint32_t kind, CertStoreChangeCallback callback, void* context) = 0;
  // True when the kind is offered and *handler was written (possibly null).
  [[nodiscard]] virtual bool GetHandler(uint32_t kind, CertStoreHandler* handler) = 0;
};
