#include "verify/x509/x509_chain.h"

#include "verify/algorithms/hash_algorithm.h"
#include "verify/certhttp/download_client.h"
#include "verify/x509/authority_info_access_extension.h"
#include "verify/x509/basic_constraints_extension.h"
#include "verify/x509/certificate_store.h"
#include "verify/x509/key_identifier_extensions.h"
#include "verify/x509/key_usage_extension.h"

namespace {

constexpr uint32_t kAnchorQuerySize = sizeof(AnchorQuery);
constexpr uint32_t kAnchorVerdictUnset = 0xFFFFFFFFu;
// Issuer download: the whole transfer's time-out and the largest certificate taken.
constexpr uint32_t kDownloadTimeoutSeconds = 60;
constexpr uint64_t kDownloadMaxBytes = 51200;

// Without kChainTimeErrorsFatal, time errors alone still give result 0.
constexpr uint32_t kTolerableStatus = kChainStatusNotTimeValid | kChainStatusNotTimeNested;

// The extension with this OID when the certificate has it.
bool FindExtension(const CountedPtr<X509ExtensionCollection>& extensions, const char* oid,
                   CountedPtr<X509Extension>& generic) {
  if (extensions.IsEmpty()) return false;
  generic = extensions->Get(oid);
  return !generic.IsEmpty();
}

}  // namespace

CountedPtr<ChainCandidate> ChainCandidate::Create() {
  CountedPtr<ChainCandidate> candidate = MakeCounted<ChainCandidate>();
  if (candidate.IsEmpty()) return {};
  candidate->certificates = MakeCounted<X509CertificateCollection>();
  if (candidate->certificates.IsEmpty()) return {};
  return candidate;
}

CountedPtr<ChainCandidate> ChainCandidate::Clone() const {
  CountedPtr<ChainCandidate> copy = Create();
  if (copy.IsEmpty()) return {};
  if (!certificates->IsEmpty() && !copy->certificates->AddRange(certificates)) return {};
  copy->root = root;
  copy->status = status;
  return copy;
}

bool X509Chain::Init(CertificateStore* store) {
  store_ = store;
  status_ = 0;
  time_ = -1;
  root_.Reset();
  chain_.Reset();
  store_certificates_.Reset();
  extra_ = MakeCounted<X509CertificateCollection>();
  return !extra_.IsEmpty();
}

bool X509Chain::AddExtraCertificates(const CountedPtr<X509CertificateCollection>& extra) {
  if (extra_.IsEmpty()) extra_ = MakeCounted<X509CertificateCollection>();
  if (extra_.IsEmpty()) return false;
  extra_->RemoveAll();
  return extra_->AddRange(extra);
}

uint32_t X509Chain::StoreView() const {
  const uint32_t roots_only = kChainRootsOnly | kChainNoTrustListFetch;
  return (flags_ & roots_only) == roots_only ? kStoreViewRoots : kStoreViewMerged;
}

CountedPtr<X509CertificateCollection> X509Chain::GetStoreCollection() {
  if (store_ == nullptr) return {};
  if (store_certificates_.IsEmpty()) store_certificates_ = store_->GetMergedCollection(StoreView());
  return store_certificates_;
}

bool X509Chain::IsInStore(const X509Certificate* certificate) {
  if (certificate == nullptr || store_ == nullptr) return false;
  return store_->FindCertificate(certificate, StoreView());
}

uint32_t X509Chain::Build(const CountedPtr<X509Certificate>& leaf, uint32_t flags, int64_t time) {
  flags_ = flags;
  const BuildStep handlers = RunExternalHandlers(leaf);
  if (handlers.Ends()) return handlers.result();
  time_ = time;
  status_ = 0;
  root_.Reset();
  if (leaf.IsEmpty()) {
    status_ = kChainStatusPartial;
    return kChainFailed;
  }
  signature_checks_ = 0;
  limit_hit_ = false;
  if (!chain_.IsEmpty()) {
    RecheckChain(leaf);
    return CheckCertificates(leaf);
  }
  const uint32_t searched = Search(leaf);
  candidates_.RemoveAll();
  stack_.RemoveAll();
  return searched;
}

X509Chain::BuildStep X509Chain::RunExternalHandlers(const CountedPtr<X509Certificate>& leaf) {
  anchor_query_ = nullptr;
  CertStoreInterface* external = store_ != nullptr ? store_->GetExternalStore() : nullptr;
  if (external == nullptr) return kCarryOn;
  CertStoreHandler handler = nullptr;
  if ((flags_ & kChainNoTrustListFetch) == 0 &&
      external->GetHandler(kHandlerTrustListFetch, &handler)) {
    if (handler == nullptr) return kChainNoHandler;
    ByteArray thumbprint;
    if (!leaf.IsEmpty() && leaf->ComputeHash(kHashSHA1, thumbprint)) {
      const CertStoreBlob blob{thumbprint.GetData(), static_cast<uint64_t>(thumbprint.GetLength())};
      const uint32_t fetched = reinterpret_cast<TrustListFetchHandler>(handler)(external, &blob);
      if (fetched != 0) return fetched;
    }
  }
  handler = nullptr;
  if ((flags_ & kChainNoAnchorQuery) == 0 && external->GetHandler(kHandlerAnchorQuery, &handler)) {
    anchor_query_ = reinterpret_cast<AnchorQueryHandler>(handler);
  }
  return kCarryOn;
}

void X509Chain::Take(const ChainCandidate& candidate) {
  chain_ = candidate.certificates;
  root_ = candidate.root;
  status_ = candidate.status;
}

uint32_t X509Chain::Search(const CountedPtr<X509Certificate>& leaf) {
  candidates_.RemoveAll();
  stack_.RemoveAll();
  CountedPtr<ChainCandidate> first = ChainCandidate::Create();
  if (first.IsEmpty() || !candidates_.Add(first)) return kChainNoMemory;
  const Step<ChainResult> extended = ExtendCandidate(PotentialParent{leaf, 0}, first);
  if (extended.Ends()) {
    Take(*first);
    return extended.result();
  }
  while (!stack_.IsEmpty() && !limit_hit_) {
    const ChainSearchNode node = stack_[stack_.GetSize() - 1];
    if (!stack_.SetSize(stack_.GetSize() - 1)) return kChainNoMemory;
    const BuildStep explored = ExploreIssuers(node);
    if (explored.Ends()) return explored.result();
  }
  if (!limit_hit_) CompleteCandidates();
  if (limit_hit_) {
    Take(*first);
    root_.Reset();
    status_ |= kChainStatusPartial;
    return kChainFailed;
  }
  TakeBestCandidate();
  return CheckCertificates(leaf);
}

X509Chain::BuildStep X509Chain::ExploreIssuers(const ChainSearchNode& node) {
  ParentList parents;
  const BuildStep found = FindPotentialParents(node.certificate, parents);
  if (found.Ends() || limit_hit_) return found;
  // Clones are made from the last issuer backwards so that the first
  // issuer's node ends on top of the stack and is explored first.
  for (int64_t i = parents.GetSize() - 1; i >= 0; --i) {
    CountedPtr<ChainCandidate> candidate = node.candidate;
    if (i > 0) {
      candidate = node.candidate->Clone();
      if (candidate.IsEmpty() || !candidates_.Add(candidate)) return kChainNoMemory;
    }
    // Only running out of memory ends the build; other results end the candidate.
    const Step<ChainResult> extended = ExtendCandidate(parents[i], candidate);
    if (extended.Ends() && extended.result() == kChainNoMemory) return kChainNoMemory;
  }
  return kCarryOn;
}

Step<ChainResult> X509Chain::ExtendCandidate(const PotentialParent& parent,
                                             const CountedPtr<ChainCandidate>& candidate) {
  const CountedPtr<X509Certificate>& certificate = parent.certificate;
  X509CertificateCollection& path = *candidate->certificates;
  candidate->status |= parent.status;
  if (IsInStore(certificate.Get())) {
    if (path.IsEmpty() && !path.Add(certificate)) return kChainNoMemory;
    candidate->root = certificate;
    return kChainTrusted;
  }
  if (certificate->IsSelfSigned()) {
    candidate->root = certificate;
    candidate->status |= kChainStatusUntrustedRoot;
    return kChainNoTrustedRoot;
  }
  if (path.ContainsIssuerSerial(certificate.Get())) {
    candidate->status |= kChainStatusCycle;
    return kCarryOn;
  }
  if (!path.Add(certificate)) return kChainNoMemory;
  if (anchor_query_ != nullptr) {
    ByteArray thumbprint;
    if (certificate->ComputeHash(kHashSHA1, thumbprint)) {
      AnchorQuery request{kAnchorQuerySize, static_cast<uint32_t>(thumbprint.GetLength()),
                          thumbprint.GetData(), kAnchorVerdictUnset};
      if (anchor_query_(&request) == 0 && request.verdict == 0) {
        candidate->root = certificate;
        return kChainTrusted;
      }
      return kChainAnchorRefused;
    }
  }
  if (path.GetCount() > kChainMaxDepth) {
    limit_hit_ = true;
    return kCarryOn;
  }
  if (!stack_.Add(ChainSearchNode{candidate, certificate})) return kChainNoMemory;
  return kCarryOn;
}

X509Chain::IssuerMatch X509Chain::MatchIssuer(const X509Certificate& child,
                                              const X509Certificate& parent) {
  const ByteArray& issuer = child.GetIssuerName().Encoding();
  if (issuer.IsEmpty() || !issuer.Equals(parent.GetSubjectName().Encoding())) return {};
  CountedPtr<X509Extension> authority;
  CountedPtr<X509Extension> subject;
  if (FindExtension(child.GetExtensions(), AuthorityKeyIdentifierExtension::kOid, authority) &&
      FindExtension(parent.GetExtensions(), SubjectKeyIdentifierExtension::kOid, subject)) {
    const AuthorityKeyIdentifierExtension authority_id(*authority);
    const SubjectKeyIdentifierExtension subject_id(*subject);
    ByteArray wanted;
    ByteArray offered;
    if (authority_id.GetKeyIdentifier(wanted) && subject_id.GetKeyIdentifier(offered) &&
        !wanted.Equals(offered)) {
      return {};
    }
  }
  if (signature_checks_ >= kChainMaxSignatureChecks) {
    limit_hit_ = true;
    return {};
  }
  ++signature_checks_;
  return {true, child.VerifySignature(&parent) ? 0u : kChainStatusBadSignature};
}

bool X509Chain::IsUsableIssuer(const X509Certificate& child, const X509Certificate& parent,
                               uint32_t& status) {
  if ((flags_ & kChainAllowInvalidIssuers) == 0 && !parent.IsTimeValid(time_)) return false;
  const IssuerMatch match = MatchIssuer(child, parent);
  status = match.status;
  return match.match;
}

bool X509Chain::AddIfUsable(const X509Certificate& child, const CountedPtr<X509Certificate>& parent,
                            ParentList& parents) {
  uint32_t status = 0;
  if (parent.IsEmpty() || !IsUsableIssuer(child, *parent, status)) return true;
  if (parents.GetSize() >= kChainMaxIssuersPerCertificate) {
    limit_hit_ = true;
    return true;
  }
  return parents.Add(PotentialParent{parent, status}) != 0;
}

X509Chain::BuildStep X509Chain::FindPotentialParents(const CountedPtr<X509Certificate>& certificate,
                                                     ParentList& parents) {
  for (const CountedPtr<X509CertificateCollection>& source : {GetStoreCollection(), extra_}) {
    if (source.IsEmpty()) continue;
    for (int64_t i = 0; i < source->GetCount() && !limit_hit_; ++i) {
      if (!AddIfUsable(*certificate, source->GetAt(i), parents)) return kChainNoMemory;
    }
  }
  if (limit_hit_ || !parents.IsEmpty() || (flags_ & kChainDownloadIssuers) == 0) {
    return kCarryOn;
  }
  return DownloadIssuer(certificate, parents);
}

X509Chain::BuildStep X509Chain::DownloadIssuer(const CountedPtr<X509Certificate>& certificate,
                                               ParentList& parents) {
  AuthenticodeHttpClientInterface* client =
      store_ != nullptr ? store_->GetDownloadClient() : nullptr;
  CountedPtr<X509Extension> generic;
  if (client == nullptr || !FindExtension(certificate->GetExtensions(),
                                          AuthorityInformationAccessExtension::kOid, generic)) {
    return kCarryOn;
  }
  AuthorityInformationAccessExtension access(*generic);
  const char* url = access.Decode() ? access.GetCaIssuers().GetText() : nullptr;
  if (url == nullptr) return kCarryOn;
  ByteArray body;
  const uint32_t downloaded = client->Download(body, url, std::char_traits<char>::length(url),
                                               kDownloadTimeoutSeconds, kDownloadMaxBytes);
  if (downloaded != 0) return downloaded;
  CountedPtr<X509Certificate> issuer = X509Certificate::FromBytes(body);
  if (issuer.IsEmpty()) return kCarryOn;
  if (!extra_.IsEmpty()) (void)extra_->Add(issuer);
  if (!AddIfUsable(*certificate, issuer, parents)) return kChainNoMemory;
  return kCarryOn;
}

void X509Chain::CompleteCandidates() {
  for (const CountedPtr<ChainCandidate>& candidate : candidates_) {
    X509CertificateCollection& path = *candidate->certificates;
    if (candidate->root.IsEmpty() && !path.IsEmpty()) {
      const CountedPtr<X509Certificate> last = path.GetAt(path.GetCount() - 1);
      if (IsInStore(last.Get())) {
        candidate->root = last;
      } else {
        StoreIssuer issuer = FindIssuerInStore(last);
        candidate->root = issuer.certificate;
        candidate->status |= issuer.status;
      }
    }
    candidate->status |= CheckAllCAConstraints(path, candidate->root.Get());
  }
}

void X509Chain::TakeBestCandidate() {
  const ChainCandidate* best = candidates_[0].Get();
  for (const CountedPtr<ChainCandidate>& candidate : candidates_) {
    if (candidate->root.IsEmpty()) continue;
    if (best->root.IsEmpty() || (best->status != 0 && candidate->status == 0)) {
      best = candidate.Get();
    }
  }
  Take(*best);
}

X509Chain::StoreIssuer X509Chain::FindIssuerInStore(
    const CountedPtr<X509Certificate>& certificate) {
  if (certificate.IsEmpty()) return {{}, kChainStatusPartial};
  if (IsInStore(certificate.Get())) return {certificate, 0};
  const CountedPtr<X509CertificateCollection> view = GetStoreCollection();
  if (view.IsEmpty()) return {{}, kChainStatusUntrustedRoot};
  for (int64_t i = 0; i < view->GetCount(); ++i) {
    const CountedPtr<X509Certificate> candidate = view->GetAt(i);
    uint32_t status = 0;
    if (!candidate.IsEmpty() && IsUsableIssuer(*certificate, *candidate, status)) {
      return {candidate, status};
    }
  }
  if (certificate->IsSelfSigned()) return {certificate, kChainStatusUntrustedRoot};
  return {{}, kChainStatusPartial};
}

uint32_t X509Chain::CheckAllCAConstraints(const X509CertificateCollection& certificates,
                                          const X509Certificate* root) const {
  uint32_t status = 0;
  for (int64_t i = 0; i < certificates.GetCount(); ++i) {
    status |= CheckCAConstraints(*certificates.GetAt(i), i);
  }
  if (root != nullptr) status |= CheckCAConstraints(*root, certificates.GetCount());
  return status;
}

uint32_t X509Chain::CheckCAConstraints(const X509Certificate& certificate, int64_t depth) const {
  if (certificate.GetVersion() < 3) return depth > 0 ? kChainStatusNotCA : 0u;
  const CountedPtr<X509ExtensionCollection> extensions = certificate.GetExtensions();
  CountedPtr<X509Extension> generic;
  const bool has_constraints = FindExtension(extensions, BasicConstraintsExtension::kOid, generic);
  BasicConstraintsExtension constraints(has_constraints ? *generic : X509Extension());
  if (has_constraints && !constraints.Decode()) return kChainStatusInvalidExtension;
  const bool has_usage = FindExtension(extensions, KeyUsageExtension::kOid, generic);
  KeyUsageExtension usage(has_usage ? *generic : X509Extension());
  if (has_usage && !usage.Decode()) return kChainStatusInvalidExtension;
  if (depth == 0) return 0;
  if (!has_constraints || !constraints.IsCA()) return kChainStatusNotCA;
  if (has_usage && (usage.GetBits() & KeyUsageExtension::kKeyCertSign) == 0) {
    return kChainStatusNotCA;
  }
  const int32_t limit = constraints.GetPathLenConstraint();
  if (limit != -1 && depth - 1 > limit) return kChainStatusNotCA;
  return 0;
}

uint32_t X509Chain::CheckOne(const X509Certificate& certificate) {
  if (!certificate.IsTimeValid(time_)) {
    status_ |= kChainStatusNotTimeValid;
    if ((flags_ & kChainTimeErrorsFatal) != 0) return kChainStatusNotTimeValid;
  }
  if ((flags_ & kChainCheckRevocation) != 0 && store_ != nullptr) {
    int64_t revoked_at = 0;
    if (store_->IsRevoked(&certificate, &revoked_at)) {
      status_ |= kChainStatusRevoked;
      return kChainStatusRevoked;
    }
  }
  return 0;
}

ChainResult X509Chain::CheckCertificates(const CountedPtr<X509Certificate>& leaf) {
  if (!chain_.IsEmpty() && status_ == 0) {
    for (int64_t i = 0; i < chain_->GetCount(); ++i) {
      if (CheckOne(*chain_->GetAt(i)) != 0) return kChainFailed;
    }
    if (CheckOne(*leaf) != 0) return kChainFailed;
    if (root_.IsEmpty()) return kChainNoTrustedRoot;
    if (CheckOne(*root_) != 0) return kChainNoTrustedRoot;
  }
  if ((status_ & kChainStatusUntrustedRoot) != 0) return kChainNoTrustedRoot;
  if ((flags_ & kChainTimeErrorsFatal) != 0) {
    if ((status_ & kChainStatusNotCA) != 0) return kChainIssuerNotCA;
    return status_ == 0 ? kChainTrusted : kChainFailed;
  }
  return (status_ & ~kTolerableStatus) == 0 ? kChainTrusted : kChainFailed;
}

void X509Chain::RecheckChain(const CountedPtr<X509Certificate>& leaf) {
  CountedPtr<X509Certificate> current = leaf;
  const int64_t count = chain_->GetCount();
  const int64_t start = count > 0 && chain_->GetAt(0).Get() == leaf.Get() ? 1 : 0;
  for (int64_t i = start; i < count; ++i) {
    const CountedPtr<X509Certificate> element = chain_->GetAt(i);
    if (element.IsEmpty() || !MatchIssuer(*current, *element).match) {
      root_.Reset();
      status_ = 0;
      return;
    }
    current = element;
  }
  const StoreIssuer issuer = FindIssuerInStore(current);
  root_ = issuer.certificate;
  status_ |= issuer.status;
}
