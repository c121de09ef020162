#include "verify/asn1/asn1_integer.h"

#include "verify/asn1/asn1_tags.h"

int Asn1IntegerToUInt32(const ASN1& node, uint32_t& value) {
  if (node.GetTag() != kAsn1Integer) return 0;
  uint32_t folded = 0;
  for (const uint8_t octet : node.ValueSpan()) folded = (folded << 8) | octet;
  value = folded;
  return 1;
}
