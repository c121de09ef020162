#pragma once

#include <cstdint>

#include "verify/common/carray.h"
#include "verify/common/refcount.h"
#include "verify/common/step.h"
#include "verify/x509/cert_store_interface.h"
#include "verify/x509/certificate_collection.h"
#include "verify/x509/x509_certificate.h"

class CertificateStore;

// Build flags of X509Chain::Build.
enum ChainBuildFlags : uint32_t {
  kChainTimeErrorsFatal = 0x01,
  kChainCheckRevocation = 0x02,
  kChainRootsOnly = 0x04,  // only together with kChainNoTrustListFetch
  kChainAllowInvalidIssuers = 0x20,
  kChainNoAnchorQuery = 0x40,
  kChainNoTrustListFetch = 0x80,
  kChainDownloadIssuers = 0x100,
};

// Trust error bits of X509Chain::GetStatus.
enum ChainStatusBits : uint32_t {
  kChainStatusNotTimeValid = 0x1,
  // Never set here (validity periods are not compared along the path), but
  // tolerated like the bit above.
  kChainStatusNotTimeNested = 0x2,
  kChainStatusRevoked = 0x4,
  kChainStatusBadSignature = 0x8,
  kChainStatusUntrustedRoot = 0x20,
  kChainStatusCycle = 0x80,
  kChainStatusInvalidExtension = 0x100,
  kChainStatusNotCA = 0x400,
  kChainStatusPartial = 0x10000,
};

// Results of X509Chain::Build (besides the trust-list fetch's and the issuer
// download's own codes, which are passed through).
enum ChainResult : uint32_t {
  kChainTrusted = 0,
  kChainNoTrustedRoot = 6,
  kChainNoMemory = 12,
  kChainNoHandler = 18,
  kChainAnchorRefused = 41,
  kChainFailed = 42,
  kChainIssuerNotCA = 55,
};

// The search stays small whatever a peer sends: a certificate with more
// usable issuers, a path longer, or a build needing more signature checks
// than these fails as a partial chain.
inline constexpr int64_t kChainMaxIssuersPerCertificate = 8;
inline constexpr int64_t kChainMaxDepth = 10;
inline constexpr int64_t kChainMaxSignatureChecks = 100;

// A path under construction, leaf first.
struct ChainCandidate {
  CountedPtr<X509CertificateCollection> certificates;
  CountedPtr<X509Certificate> root;
  uint32_t status = 0;

  // An empty path; null when memory runs out.
  [[nodiscard]] static CountedPtr<ChainCandidate> Create();
  // A new path sharing the certificate references, root and status.
  [[nodiscard]] CountedPtr<ChainCandidate> Clone() const;
};

// Entry of the depth-first search stack.
struct ChainSearchNode {
  CountedPtr<ChainCandidate> candidate;
  CountedPtr<X509Certificate> certificate;
};

// Builds and judges the certification path of one leaf against a
// CertificateStore at a given time. One object per verification, one thread.
class X509Chain {
 public:
  // One possible issuer and the match bits (0 or the bad-signature bit).
  struct PotentialParent {
    CountedPtr<X509Certificate> certificate;
    uint32_t status = 0;
  };

  X509Chain() = default;
  X509Chain(const X509Chain&) = delete;
  X509Chain& operator=(const X509Chain&) = delete;
  ~X509Chain() = default;

  // Binds the chain to the store (not owned) and clears every result. False
  // only when memory runs out.
  [[nodiscard]] bool Init(CertificateStore* store);
  // Replaces the untrusted extra certificates by those of the collection.
  [[nodiscard]] bool AddExtraCertificates(const CountedPtr<X509CertificateCollection>& extra);
  // Builds the path; a second build on the same object rechecks its chain.
  [[nodiscard]] uint32_t Build(const CountedPtr<X509Certificate>& leaf, uint32_t flags,
                               int64_t time);

  uint32_t GetStatus() const { return status_; }
  // The chosen path (leaf first; null before a build) and its trust anchor.
  CountedPtr<X509CertificateCollection> GetChain() const { return chain_; }
  CountedPtr<X509Certificate> GetRoot() const { return root_; }
  CountedPtr<X509CertificateCollection> GetExtraCertificates() const { return extra_; }

 private:
  struct IssuerMatch {
    bool match = false;
    uint32_t status = 0;
  };
  struct StoreIssuer {
    CountedPtr<X509Certificate> certificate;
    uint32_t status = 0;
  };
  using ParentList = CArrayNoThrow<PotentialParent, const PotentialParent&>;
  // A step of the build: carry on, or end it with a code of Build (the
  // trust-list fetch's and the issuer download's own codes among them).
  using BuildStep = Step<uint32_t>;

  [[nodiscard]] BuildStep RunExternalHandlers(const CountedPtr<X509Certificate>& leaf);
  [[nodiscard]] uint32_t Search(const CountedPtr<X509Certificate>& leaf);
  [[nodiscard]] BuildStep ExploreIssuers(const ChainSearchNode& node);
  void CompleteCandidates();
  void TakeBestCandidate();
  void Take(const ChainCandidate& candidate);
  // Settles the candidate with a result (trusted, untrusted root, anchor
  // refused, out of memory), or carries on: the candidate waits on the
  // search stack, or ended in a cycle or at the depth limit.
  [[nodiscard]] Step<ChainResult> ExtendCandidate(const PotentialParent& parent,
                                                  const CountedPtr<ChainCandidate>& candidate);
  [[nodiscard]] IssuerMatch MatchIssuer(const X509Certificate& child,
                                        const X509Certificate& parent);
  [[nodiscard]] bool IsUsableIssuer(const X509Certificate& child, const X509Certificate& parent,
                                    uint32_t& status);
  [[nodiscard]] bool AddIfUsable(const X509Certificate& child,
                                 const CountedPtr<X509Certificate>& parent, ParentList& parents);
  [[nodiscard]] BuildStep FindPotentialParents(const CountedPtr<X509Certificate>& certificate,
                                               ParentList& parents);
  [[nodiscard]] BuildStep DownloadIssuer(const CountedPtr<X509Certificate>& certificate,
                                         ParentList& parents);
  [[nodiscard]] StoreIssuer FindIssuerInStore(const CountedPtr<X509Certificate>& certificate);
  [[nodiscard]] uint32_t CheckAllCAConstraints(const X509CertificateCollection& certificates,
                                               const X509Certificate* root) const;
  [[nodiscard]] uint32_t CheckCAConstraints(const X509Certificate& certificate,
                                            int64_t depth) const;
  [[nodiscard]] ChainResult CheckCertificates(const CountedPtr<X509Certificate>& leaf);
  // Time and revocation check of one certificate; sets the status bits and
  // returns the bit that ends the build (0 when the build goes on).
  [[nodiscard]] uint32_t CheckOne(const X509Certificate& certificate);
  void RecheckChain(const CountedPtr<X509Certificate>& leaf);
  [[nodiscard]] uint32_t StoreView() const;
  CountedPtr<X509CertificateCollection> GetStoreCollection();
  [[nodiscard]] bool IsInStore(const X509Certificate* certificate);

  CountedPtr<X509CertificateCollection> store_certificates_;
  CountedPtr<X509CertificateCollection> extra_;
  CountedPtr<X509Certificate> root_;
  CountedPtr<X509CertificateCollection> chain_;
  uint32_t status_ = 0;
  uint32_t flags_ = 0;
  int64_t time_ = -1;
  CertificateStore* store_ = nullptr;

  // State of one build.
  AnchorQueryHandler anchor_query_ = nullptr;
  CArrayNoThrow<CountedPtr<ChainCandidate>, const CountedPtr<ChainCandidate>&> candidates_;
  CArrayNoThrow<ChainSearchNode, const ChainSearchNode&> stack_;
  int64_t signature_checks_ = 0;
  bool limit_hit_ = false;
};
