#include "verify/pkcs7/pkcs7_signed_data.h"
#include "verify/x509/x509_chain.h"

namespace CPKCS7 {

uint32_t SignedData::Verify(CertificateStore* store, int64_t time, uint32_t chain_flags,
                            const char* content_type) {
  verified_ = 0;
  const uint32_t code = VerifySignerInfo(content_type);
  if (code != kPkcs7Ok) return code;
  CountedPtr<X509Chain> chain = MakeCounted<X509Chain>();
  if (chain.IsEmpty() || !chain->Init(store)) return kPkcs7NoMemory;
  chain_ = chain;
  if (!chain_->AddExtraCertificates(certificates_)) return kPkcs7NoMemory;
  const uint32_t result = chain_->Build(signer_certificate_, chain_flags, time);
  verified_ = result == kPkcs7Ok ? 1 : 0;
  return result;
}

}  // namespace CPKCS7
