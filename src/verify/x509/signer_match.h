#pragma once

#include <cstdint>

#include "verify/x509/name_text.h"
#include "verify/x509/x509_certificate.h"

// Kinds of a signer requirement.
enum SignerRequirementKind : uint32_t {
  kSignerDerNames = 1,      // data: SignerDerNameList
  kSignerNamesExact = 2,    // data: NameRequirementList, level 7 needed
  kSignerNamesAtLeast = 3,  // data: NameRequirementList, level 6 or 7
};

// One acceptable subject, as DER.
struct SignerDerName {
  const uint8_t* der;
  uint64_t length;
};

struct SignerDerNameList {
  uint32_t count;
  const SignerDerName* names;
};

struct SignerRequirement {
  uint32_t kind;
  const void* data;
};

// Results of MatchSigner.
enum SignerMatchResult : uint32_t {
  kSignerMismatch = 1,
  kSignerMatch = 2,
  kSignerBadArgument = 3,
};

// Whether the certificate's subject meets the requirement.
[[nodiscard]] SignerMatchResult MatchSigner(const X509Certificate& certificate,
                                            const SignerRequirement* requirement);
