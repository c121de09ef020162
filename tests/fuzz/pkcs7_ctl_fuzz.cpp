// Signed trust lists over arbitrary input: the PKCS#7 readers, content
// location, the signer check, the list content and the store's whole check
// against the product's roots (no network: the trust store has no source).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "verify/common/byte_array.h"
#include "verify/ctl/ctl_store.h"
#include "verify/ctl/trust_list.h"
#include "verify/pkcs7/pkcs7_content_info.h"
#include "verify/pkcs7/pkcs7_signed_data.h"
#include "verify/x509/certificate_list_verify.h"
#include "verify/x509/certificate_store.h"
#include "verify/x509/name_text.h"

namespace {

// 2030-01-01, inside the validity of the product's roots.
constexpr int64_t kFuzzTime = 1893456000;

void VisitSignedData(const ByteArray& field) {
  CountedPtr<CPKCS7::SignedData> data = CPKCS7::SignedData::Parse(field, true);
  if (data.IsEmpty()) return;
  CountedPtr<CPKCS7::ContentInfo> inner = data->GetContentInfo();
  if (!inner.IsEmpty()) {
    std::span<const uint8_t> content;
    (void)CPKCS7::SignedData::LocateContent(inner->GetContent(), content);
    (void)CertificateTrustList::Create(inner->GetContent());
  }
  CountedPtr<X509CertificateCollection> certificates = data->GetCertificates();
  for (int64_t i = 0; !certificates.IsEmpty() && i < certificates->GetCount(); ++i) {
    std::unique_ptr<wchar_t[]> text;
    (void)NameToTextAlloc(certificates->GetAt(i)->GetSubjectName(), text, true);
  }
  (void)data->VerifySignerInfo(kOidCertificateTrustList);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ByteArray input;
  if (size > 0 && !input.Assign(static_cast<int64_t>(size), data)) return 0;
  (void)CertificateTrustList::Create(input);
  CountedPtr<CPKCS7::ContentInfo> outer = CPKCS7::ContentInfo::Parse(input, false);
  if (!outer.IsEmpty()) VisitSignedData(outer->GetContent());

  static CertificateStore* trust = CreateCertificateStore(nullptr, 0, kTlsRootSet, nullptr);
  CTLCertStoreImpl store;
  if (trust != nullptr &&
      store.Initialize("http://127.0.0.1/", {}, {}, "/nonexistent", trust, kFuzzTime,
                       kTlsChainFlags)) {
    (void)store.ParseTrustList(input);
  }
  return 0;
}
