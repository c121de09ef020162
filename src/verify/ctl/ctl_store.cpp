#include "verify/ctl/ctl_store.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_folder.h"
#include "verify/algorithms/hash_algorithm.h"
#include "verify/certhttp/download_client.h"
#include "verify/ctl/trust_list.h"
#include "verify/pkcs7/pkcs7_content_info.h"
#include "verify/pkcs7/pkcs7_signed_data.h"
#include "verify/x509/crl_distribution_points_extension.h"

namespace {

constexpr size_t kThumbprintSize = 20;
constexpr char kTrustListFolder[] = "ctl";
constexpr char kRevocationFolder[] = "crl";
constexpr char kTrustListSuffix[] = ".stl";
// "http://" needs more than this, so shorter bases cannot name a server.
constexpr size_t kMinPkiUrlLength = 2;

std::unique_ptr<char[]> CopyText(const char* text) {
  const size_t n = std::strlen(text) + 1;
  std::unique_ptr<char[]> copy(new (std::nothrow) char[n]);
  if (copy) std::memcpy(copy.get(), text, n);
  return copy;
}

std::string Join(const char* base, const char* child) {
  std::string out(base);
  if (out.empty() || out.back() != '/') out += '/';
  return out + child;
}

std::string FileName(std::span<const uint8_t> thumbprint) {
  std::string name;
  char digits[3];
  for (const uint8_t b : thumbprint) {
    std::snprintf(digits, sizeof(digits), "%02x", b);
    name += digits;
  }
  return name + kTrustListSuffix;
}

}  // namespace

CTLCertStoreImpl::CTLCertStoreImpl() = default;
CTLCertStoreImpl::~CTLCertStoreImpl() = default;

bool CTLCertStoreImpl::Initialize(const char* pki_url,
                                  const CountedPtr<NetworkCredential>& credential,
                                  const CountedPtr<HttpProxySettings>& proxy,
                                  const char* cache_folder, CertificateStore* trust_store,
                                  int64_t time, uint32_t chain_flags) {
  state_ = kStateInitialized;
  trust_store_ = trust_store;
  time_ = time;
  chain_flags_ = chain_flags;
  credential_ = credential;
  proxy_ = proxy;
  if (pki_url == nullptr || cache_folder == nullptr) return false;
  pki_url_ = CopyText(pki_url);
  cache_folder_ = CopyText(cache_folder);
  return pki_url_ != nullptr && cache_folder_ != nullptr;
}

bool CTLCertStoreImpl::HasCertificates() {
  return !certificates_.IsEmpty() && certificates_->GetCount() > 0;
}

bool CTLCertStoreImpl::GetHandler(uint32_t kind, CertStoreHandler* handler) {
  if (kind != kHandlerTrustListFetch || handler == nullptr) return false;
  *handler = reinterpret_cast<CertStoreHandler>(&CTLCertStoreImpl::FetchTrustList);
  return true;
}

void CTLCertStoreImpl::Fill(Item& item, int64_t index) {
  const ByteArray& der = certificates_->GetAt(index)->GetEncoded();
  item.kind = 1;
  item.reserved = 0;
  item.next = index + 1;
  item.bytes = der.IsEmpty() ? nullptr : der.GetData();
  item.length = der.IsEmpty() ? 0 : static_cast<uint32_t>(der.GetLength());
}

const CertStoreCertificate* CTLCertStoreImpl::NextCertificate(
    const CertStoreCertificate* previous) {
  if (previous == nullptr) {
    if (!HasCertificates()) return nullptr;
    if (!item_) item_.reset(new (std::nothrow) Item());
    if (!item_) return nullptr;
    Fill(*item_, 0);
    return item_.get();
  }
  if (previous != item_.get()) return nullptr;
  if (!HasCertificates() || item_->next >= certificates_->GetCount()) {
    item_.reset();
    return nullptr;
  }
  Fill(*item_, item_->next);
  return item_.get();
}

uint32_t CTLCertStoreImpl::FetchTrustList(CertStoreInterface* store, const CertStoreBlob* request) {
  if (store == nullptr || request == nullptr || request->data == nullptr || request->length == 0) {
    return kFetchBadArgument;
  }
  // Only this class hands out this handler, so the source is one of ours.
  auto* self = static_cast<CTLCertStoreImpl*>(store);
  return self->Fetch(std::span<const uint8_t>(request->data, request->length));
}

uint32_t CTLCertStoreImpl::Fetch(std::span<const uint8_t> thumbprint) {
  if (!cache_folder_) return kFetchBadArgument;
  const std::string ctl_folder = Join(cache_folder_.get(), kTrustListFolder);
  const std::string crl_folder = Join(cache_folder_.get(), kRevocationFolder);
  if (OsCreateFolderTree(cache_folder_.get()) != 0 || OsCreateFolderTree(ctl_folder.c_str()) != 0 ||
      OsCreateFolderTree(crl_folder.c_str()) != 0) {
    return kFetchNoCacheFolder;
  }
  if (thumbprint.size() != kThumbprintSize) return kFetchNoMemory;
  const std::string file_name = FileName(thumbprint);
  const std::string path = Join(ctl_folder.c_str(), file_name.c_str());

  ByteArray bytes;
  CountedPtr<X509CertificateCollection> list;
  if (LoadFile(path.c_str(), bytes)) list = ParseTrustList(bytes);
  if (list.IsEmpty()) {
    // A stale, oversized or refused copy is never used again.
    (void)OsFileDelete(path.c_str(), nullptr);
    bytes.Clear();
    const uint32_t code = Download(file_name.c_str(), bytes);
    if (code != kFetchOk) return code;
    list = ParseTrustList(bytes);
    if (list.IsEmpty()) return kFetchRejected;
    SaveFile(path.c_str(), bytes);
  }
  const TrustListFetchResult merged = Merge(list);
  if (merged != kFetchOk) return merged;
  return DropDistributionPoints();
}

bool CTLCertStoreImpl::LoadFile(const char* path, ByteArray& out) {
  OS_FILE* file = OsFileOpen(path, nullptr, kOsAccessRead, kOsOpenExisting);
  if (file == nullptr) return false;
  const int64_t size = OsFileGetSize(file);
  bool ok = size >= 0 && size <= kTrustListCacheLimit && out.SetSize(size);
  if (ok && size > 0) ok = OsFileReadFully(file, out.GetData(), static_cast<size_t>(size)) == size;
  (void)OsFileClose(file);
  return ok;
}

uint32_t CTLCertStoreImpl::Download(const char* file_name, ByteArray& out) {
  if (!pki_url_ || std::strlen(pki_url_.get()) < kMinPkiUrlLength) return kFetchNoMemory;
  const std::string url =
      Join(pki_url_.get(), (std::string(kTrustListFolder) + "/" + file_name).c_str());
  Authenticode::HttpClient client;
  if (!credential_.IsEmpty()) (void)client.SetCredential(credential_.Get());
  if (!proxy_.IsEmpty()) (void)client.SetProxy(proxy_.Get());
  return client.Download(out, url.c_str(), url.size(), kTrustListTimeoutSeconds,
                         kTrustListDownloadLimit);
}

void CTLCertStoreImpl::SaveFile(const char* path, const ByteArray& bytes) {
  OS_FILE* file = OsFileOpen(path, nullptr, kOsAccessWrite, kOsCreateAlways);
  if (file == nullptr) return;
  const int64_t n = bytes.GetLength();
  const bool written = n == 0 || OsFileWrite(file, bytes.GetData(), static_cast<size_t>(n)) == n;
  const bool closed = OsFileClose(file) == 0;
  // A partial copy would be refused at its next use anyway; leave none.
  if (!written || !closed) (void)OsFileDelete(path, nullptr);
}

CountedPtr<X509CertificateCollection> CTLCertStoreImpl::ParseTrustList(const ByteArray& bytes) {
  CountedPtr<CPKCS7::ContentInfo> outer = CPKCS7::ContentInfo::Parse(bytes, false);
  if (outer.IsEmpty() || !outer->GetContentType().Equals(kOidPkcs7SignedData)) return {};
  CountedPtr<CPKCS7::SignedData> data = CPKCS7::SignedData::Parse(outer->GetContent(), true);
  if (data.IsEmpty()) return {};
  CountedPtr<CPKCS7::ContentInfo> inner = data->GetContentInfo();
  if (inner.IsEmpty() || !inner->GetContentType().Equals(kOidCertificateTrustList)) return {};
  if (data->Verify(trust_store_, time_, chain_flags_, kOidCertificateTrustList) != 0) return {};
  CountedPtr<CertificateTrustList> list = CertificateTrustList::Create(inner->GetContent());
  CountedPtr<X509CertificateCollection> certificates = data->GetCertificates();
  if (list.IsEmpty() || certificates.IsEmpty() || !CheckListedCertificates(*certificates, *list)) {
    return {};
  }
  return certificates;
}

bool CTLCertStoreImpl::CheckListedCertificates(const X509CertificateCollection& certificates,
                                               const CertificateTrustList& list) {
  const CArrayNoThrow<ByteArray, const ByteArray&>& subjects = list.GetSubjects();
  if (certificates.GetCount() != subjects.GetSize()) return false;
  for (int64_t i = 0; i < certificates.GetCount(); ++i) {
    ByteArray hash;
    if (!certificates.GetAt(i)->ComputeHash(list.GetHashAlgorithm(), hash)) return false;
    bool listed = false;
    for (int64_t j = 0; j < subjects.GetSize() && !listed; ++j) {
      listed = subjects[j].Equals(hash) != 0;
    }
    if (!listed) return false;
  }
  return true;
}

TrustListFetchResult CTLCertStoreImpl::Merge(const CountedPtr<X509CertificateCollection>& list) {
  if (certificates_.IsEmpty()) {
    certificates_ = list;
    return kFetchOk;
  }
  return certificates_->AddRange(list) ? kFetchOk : kFetchNoMemory;
}

TrustListFetchResult CTLCertStoreImpl::DropDistributionPoints() {
  // The distribution points are read and dropped: no revocation list is
  // fetched for trust-list certificates.
  for (int64_t i = 0; i < certificates_->GetCount(); ++i) {
    CountedPtr<X509ExtensionCollection> extensions = certificates_->GetAt(i)->GetExtensions();
    if (extensions.IsEmpty()) continue;
    CountedPtr<X509Extension> generic = extensions->Get(CRLDistributionPointsExtension::kOid);
    if (generic.IsEmpty()) continue;
    std::unique_ptr<CRLDistributionPointsExtension> points(
        new (std::nothrow) CRLDistributionPointsExtension(*generic));
    if (!points) return kFetchNoMemory;
  }
  return kFetchOk;
}
