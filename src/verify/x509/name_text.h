#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "verify/asn1/asn1.h"

// One required attribute of a name requirement list: attribute name (as in
// the attribute-name table, or a dotted OID) and the exact value text.
struct NameRequirement {
  const wchar_t* name;
  const wchar_t* value;
};

// A name requirement list: count entries.
struct NameRequirementList {
  uint32_t count;
  const NameRequirement* entries;
};

// Levels of DistinguishedNameCompare.
enum NameMatchLevel : uint32_t {
  kNameNothingToCompare = 1,
  kNameMalformed = 2,
  kNameNoMemory = 3,
  kNameMismatch = 4,
  kNameMatchWithMore = 6,
  kNameExactMatch = 7,
};

// Short name of an attribute OID given by its content octets, or null.
const wchar_t* X500AttributeName(const ASN1& oid);

// The text of a whole Name, RDNs separated by ", " (last first with
// reverse). capacity counts wide characters including the terminator;
// false when the text does not fit (the buffer holds what fitted).
[[nodiscard]] bool NameToText(const ASN1& name, wchar_t* buffer, size_t capacity, bool reverse);
// The same into a buffer it allocates (256 to 4096 characters); true also
// when even 4096 did not hold everything. False only when memory runs out.
[[nodiscard]] bool NameToTextAlloc(const ASN1& name, std::unique_ptr<wchar_t[]>& text,
                                   bool reverse);

// How the Name meets the list (first attribute of each RDN counts).
[[nodiscard]] uint32_t DistinguishedNameCompare(const ASN1& name, const NameRequirementList* list);
