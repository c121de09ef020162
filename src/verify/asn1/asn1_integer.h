#pragma once

#include <cstdint>

#include "verify/asn1/asn1.h"

// Folds the content of an INTEGER big-endian into a u32: only the last four
// octets remain and the sign is not interpreted (empty content gives 0).
// 0 unless the tag is INTEGER.
[[nodiscard]] int Asn1IntegerToUInt32(const ASN1& node, uint32_t& value);
