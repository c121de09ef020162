#include "verify/x509/certificate_collection.h"

#include <algorithm>

bool X509CertificateCollection::Add(const Element& certificate, int64_t* index) {
  unsorted_ = 1;
  if (index != nullptr) *index = -1;
  if (!items_.Add(certificate)) return false;
  if (index != nullptr) *index = items_.GetSize() - 1;
  return true;
}

bool X509CertificateCollection::AddRange(const CountedPtr<X509CertificateCollection>& other) {
  if (other.IsEmpty()) return false;
  unsorted_ = 1;
  return items_.Append(other->items_) != 0;
}

bool X509CertificateCollection::SetSize(int64_t n, int64_t grow_by) {
  unsorted_ = 1;
  return items_.SetSize(n, grow_by) != 0;
}

void X509CertificateCollection::Sort() {
  std::sort(items_.begin(), items_.end(), [](const Element& a, const Element& b) {
    // Nulls (left by SetSize) go first so the order stays strict and weak.
    if (a.IsEmpty() || b.IsEmpty()) return a.IsEmpty() && !b.IsEmpty();
    return X509Certificate::CompareEncoded(a.Get(), b.Get()) < 0;
  });
  unsorted_ = 0;
}

bool X509CertificateCollection::Contains(const X509Certificate* certificate) const {
  if (certificate == nullptr) return false;
  if (unsorted_ != 0) {
    return std::any_of(items_.begin(), items_.end(), [&](const Element& item) {
      return X509Certificate::CompareEncoded(item.Get(), certificate) == 0;
    });
  }
  int64_t low = 0;
  int64_t high = items_.GetSize();
  while (low < high) {
    const int64_t middle = low + (high - low) / 2;
    const X509Certificate* item = items_[middle].Get();
    const int order = item == nullptr ? -1 : X509Certificate::CompareEncoded(item, certificate);
    if (order == 0) return true;
    if (order < 0) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return false;
}

bool X509CertificateCollection::ContainsIssuerSerial(const X509Certificate* certificate) const {
  if (certificate == nullptr) return false;
  return std::any_of(items_.begin(), items_.end(), [&](const Element& item) {
    return !item.IsEmpty() && item->IsSameIssuerAndSerial(certificate);
  });
}
