#pragma once

#include <cstdint>

#include "verify/common/carray.h"
#include "verify/common/refcount.h"
#include "verify/x509/x509_certificate.h"

// A list of shared certificates. Sort puts it in X509Certificate::CompareEncoded
// order so that Contains is a binary search; anything that adds or resizes
// marks it unsorted again and Contains falls back to a linear search.
class X509CertificateCollection {
 public:
  using Element = CountedPtr<X509Certificate>;

  X509CertificateCollection() = default;
  X509CertificateCollection(const X509CertificateCollection&) = delete;
  X509CertificateCollection& operator=(const X509CertificateCollection&) = delete;
  ~X509CertificateCollection() = default;

  // Element i; i must be below the count.
  Element GetAt(int64_t i) const { return items_[i]; }
  // Appends; index receives the new position (-1 on failure). False only
  // when memory runs out.
  [[nodiscard]] bool Add(const Element& certificate, int64_t* index = nullptr);
  // Appends every element of another collection in order; false for null or no memory.
  [[nodiscard]] bool AddRange(const CountedPtr<X509CertificateCollection>& other);
  int64_t GetCount() const { return items_.GetSize(); }
  bool IsEmpty() const { return items_.IsEmpty(); }
  void RemoveAll() { items_.RemoveAll(); }
  // The array resize: new entries null, n = 0 frees the storage, grow-by -1
  // keeps the current step.
  [[nodiscard]] bool SetSize(int64_t n, int64_t grow_by = -1);
  void Sort();
  [[nodiscard]] bool Contains(const X509Certificate* certificate) const;
  [[nodiscard]] bool ContainsIssuerSerial(const X509Certificate* certificate) const;
  bool IsSorted() const { return unsorted_ == 0; }

 private:
  CArrayNoThrow<Element, const Element&> items_;
  uint8_t unsorted_ = 0;
};
