#include "verify/x509/static_cert_store.h"

namespace {

template <class Item>
const Item* NextOf(const CArrayNoThrow<Item, const Item&>& items, const Item* previous) {
  if (items.IsEmpty()) return nullptr;
  if (previous == nullptr) return &items[0];
  const int64_t next = (previous - items.GetData()) + 1;
  return next > 0 && next < items.GetSize() ? &items[next] : nullptr;
}

}  // namespace

bool StaticCertStore::AddCertificate(const ByteArray& der) {
  ByteArray copy;
  if (der.IsEmpty() || !copy.AssignCopy(der) || !certificates_.Add(copy)) return false;
  return RefreshItems();
}

bool StaticCertStore::RefreshItems() {
  CArrayNoThrow<CertStoreCertificate, const CertStoreCertificate&> items;
  for (const ByteArray& der : certificates_) {
    if (!items.Add(CertStoreCertificate{der.GetData(), static_cast<uint32_t>(der.GetLength())})) {
      return false;
    }
  }
  items_ = std::move(items);
  return true;
}

bool StaticCertStore::AddCRL(const CRLRecord* record) {
  return record != nullptr && crls_.Add(CertStoreCRL{record}) != 0;
}

const CertStoreCertificate* StaticCertStore::NextCertificate(const CertStoreCertificate* previous) {
  return NextOf(items_, previous);
}

const CertStoreCRL* StaticCertStore::NextCRL(const CertStoreCRL* previous) {
  return NextOf(crls_, previous);
}
