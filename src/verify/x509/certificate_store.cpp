#include "verify/x509/certificate_store.h"

#include <new>

namespace {

// Growth step of the merged view: trust lists carry many certificates.
constexpr int64_t kMergedViewGrowBy = 200;

bool IsKnownRootSet(uint32_t root_set) {
  const uint32_t bits = root_set & kRootSetMask;
  return root_set != 0 && (bits == kRootSetEmpty || bits == kRootSetPublic || bits == kRootSetOwn);
}

// Holds the store's recursive lock for one scope.
class StoreLock {
 public:
  explicit StoreLock(OS_MUTEX* mutex) : mutex_(mutex) { OsMutexLock(mutex_); }
  ~StoreLock() { OsMutexUnlock(mutex_); }
  StoreLock(const StoreLock&) = delete;
  StoreLock& operator=(const StoreLock&) = delete;

 private:
  OS_MUTEX* mutex_;
};

}  // namespace

CertificateStore::CertificateStore(ConstructionKey /*key*/) : lock_(OsMutexCreate()) {}

CertificateStore::~CertificateStore() {
  if (external_ != nullptr) {
    (void)external_->Subscribe(kSubscribeChanges, nullptr, nullptr);
    external_->Close();
  }
  OsMutexDestroy(lock_);
  merged_.Reset();
  FreeCRLInfoList(revocations_);
  roots_.Reset();
}

CertificateStore* CreateCertificateStore(CertStoreInterface* external, uint64_t option,
                                         uint32_t root_set,
                                         AuthenticodeHttpClientInterface* client) {
  if (!IsKnownRootSet(root_set)) return nullptr;
  CertificateStorePtr store(new (std::nothrow)
                                CertificateStore(CertificateStore::ConstructionKey()));
  // A store without its lock could not guard its view, so it is not handed out.
  if (store == nullptr || store->lock_ == nullptr) return nullptr;
  (void)store->SetExternalStore(external);
  if (option != 0 && external == nullptr) return nullptr;
  const uint32_t bits = root_set & kRootSetMask;
  const bool ok = (bits & (kRootSetOwn | kRootSetPublic)) != 0
                      ? store->InitFromDer(BuiltinRootsOf(root_set))
                      : store->InitEmpty();
  if (!ok) return nullptr;
  store->client_ = client;
  return store.release();
}

void ReleaseCertificateStore(CertificateStore* store) { delete store; }

bool CertificateStore::InitFromDer(const BuiltinRootList& roots) {
  if (roots.count == 0) return true;
  CountedPtr<X509CertificateCollection> collection = MakeCounted<X509CertificateCollection>();
  if (collection.IsEmpty()) return false;
  for (size_t i = 0; i < roots.count; ++i) {
    ByteArray der;
    if (!der.AssignBytes(roots.der[i])) return false;
    CountedPtr<X509Certificate> root = X509Certificate::FromBytes(der);
    if (root.IsEmpty() || !collection->Add(root)) return false;
  }
  roots_ = collection;
  return true;
}

bool CertificateStore::InitEmpty() {
  roots_ = MakeCounted<X509CertificateCollection>();
  return !roots_.IsEmpty();
}

bool CertificateStore::SetExternalStore(CertStoreInterface* external) {
  external_ = external;
  return true;
}

CountedPtr<X509CertificateCollection> CertificateStore::GetMergedCollection(uint32_t mode) {
  if (mode == kStoreViewRoots) return roots_;
  StoreLock lock(lock_);
  if (merged_.IsEmpty()) merged_ = BuildMergedView();
  return merged_;
}

CountedPtr<X509CertificateCollection> CertificateStore::BuildMergedView() {
  CountedPtr<X509CertificateCollection> view = MakeCounted<X509CertificateCollection>();
  if (view.IsEmpty() || !view->SetSize(0, kMergedViewGrowBy)) return {};
  if (!roots_.IsEmpty() && !view->AddRange(roots_)) return {};
  if (external_ == nullptr) return view;

  bool keep_open = false;
  if (!OpenExternalStore(keep_open)) return {};
  AddExternalCertificates(*view);
  view->Sort();
  AddExternalRevocations();
  if (!keep_open) {
    (void)external_->Subscribe(kSubscribeChanges, nullptr, nullptr);
    external_->Close();
  }
  return view;
}

bool CertificateStore::OpenExternalStore(bool& keep_open) {
  keep_open = false;
  if (!external_->HasCertificates() && !external_->Load()) return false;
  CertStoreHandler handler = nullptr;
  if (external_->GetHandler(kHandlerKeepOpen, &handler) && handler != nullptr) {
    keep_open = true;
    return true;
  }
  keep_open =
      external_->Subscribe(kSubscribeChanges, &CertificateStore::OnExternalStoreChanged, this) == 0;
  return true;
}

void CertificateStore::AddExternalCertificates(X509CertificateCollection& view) {
  for (const CertStoreCertificate* item = external_->NextCertificate(nullptr); item != nullptr;
       item = external_->NextCertificate(item)) {
    if (item->bytes == nullptr || item->length == 0) continue;
    ByteArray der;
    if (!der.AssignBytes({item->bytes, item->length})) continue;
    CountedPtr<X509Certificate> certificate = X509Certificate::FromBytes(der);
    if (!certificate.IsEmpty()) (void)view.Add(certificate);
  }
}

void CertificateStore::AddExternalRevocations() {
  for (const CertStoreCRL* item = external_->NextCRL(nullptr); item != nullptr;
       item = external_->NextCRL(item)) {
    (void)AddCRLInfo(revocations_, item->record);
  }
}

bool CertificateStore::FindCertificate(const X509Certificate* certificate, uint32_t mode) {
  if (certificate == nullptr) return false;
  CountedPtr<X509CertificateCollection> view = GetMergedCollection(mode);
  return !view.IsEmpty() && view->Contains(certificate);
}

bool CertificateStore::IsRevoked(const X509Certificate* certificate, int64_t* revocation_time) {
  if (certificate == nullptr) return false;
  // The records grow while another thread may build the view, so the lookup
  // takes the same lock.
  StoreLock lock(lock_);
  return FindRevokedEntry(revocations_, certificate->GetIssuerName().Encoding(),
                          certificate->GetSerialNumber(), revocation_time);
}

void CertificateStore::OnExternalStoreChanged(void* context) {
  if (context == nullptr) return;
  auto* store = static_cast<CertificateStore*>(context);
  StoreLock lock(store->lock_);
  store->merged_.Reset();
}
