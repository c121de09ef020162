#pragma once

#include <cstdint>

#include "verify/asn1/asn1.h"
#include "verify/asn1/oid.h"
#include "verify/common/carray.h"
#include "verify/common/refcount.h"

// One certificate extension: its identifier text, critical flag and value
// (the extnValue OCTET STRING, whose parsed content is its only child).
class X509Extension {
 public:
  X509Extension() = default;
  // Takes oid, critical flag and value from a generic extension whose value
  // is an OCTET STRING with its parsed content; any other source (or running
  // out of memory) leaves an empty OID, critical 0 and an empty value.
  X509Extension(const X509Extension& generic);
  X509Extension& operator=(const X509Extension&) = delete;
  virtual ~X509Extension() = default;

  // Reads one Extension SEQUENCE; empty on malformed input or out of memory.
  [[nodiscard]] static CountedPtr<X509Extension> Create(ASN1& node);

  // Decodes the typed fields; the generic extension has none.
  [[nodiscard]] virtual int Decode() { return 1; }
  // Fills an empty value node; no extension builds one.
  [[nodiscard]] virtual int BuildValue() { return 1; }

  const Oid& GetOid() const { return oid_; }
  uint8_t IsCritical() const { return critical_; }
  // The value node (BuildValue runs first when it has none).
  ASN1& GetValue();
  // The parsed content of the value, or null when there is none.
  const ASN1* GetContent() const;
  // A fresh, fully decoded tree of the value's content (empty when it does not parse).
  [[nodiscard]] CountedPtr<ASN1> ParseContent() const;

 protected:
  ASN1& Value() { return value_; }
  Oid& MutableOid() { return oid_; }

 private:
  ASN1 value_;
  Oid oid_;
  uint8_t critical_ = 0;
};

// The extensions of one certificate, in certificate order.
class X509ExtensionCollection {
 public:
  X509ExtensionCollection() = default;
  X509ExtensionCollection(const X509ExtensionCollection&) = delete;
  X509ExtensionCollection& operator=(const X509ExtensionCollection&) = delete;

  // Reads the Extensions SEQUENCE; empty when any extension fails.
  [[nodiscard]] static CountedPtr<X509ExtensionCollection> Create(ASN1& node);
  [[nodiscard]] int Parse(ASN1& node);

  // Index of the first extension with exactly this OID text, or -1.
  int64_t IndexOf(const char* oid) const;
  bool Contains(const char* oid) const { return IndexOf(oid) != -1; }
  CountedPtr<X509Extension> Get(const char* oid) const;
  [[nodiscard]] int SetAtGrow(int64_t index, const CountedPtr<X509Extension>& extension);

  int64_t GetCount() const { return extensions_.GetSize(); }
  // Extension i (may be empty after SetAtGrow); the caller tests the index.
  const CountedPtr<X509Extension>& GetAt(int64_t i) const { return extensions_[i]; }
  bool IsParsed() const { return parsed_ != 0; }

 private:
  uint8_t parsed_ = 0;
  CArrayNoThrow<CountedPtr<X509Extension>, const CountedPtr<X509Extension>&> extensions_;
};
