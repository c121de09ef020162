#pragma once

#include <cstdint>

#include "verify/asn1/asn1.h"

// UTCTime or GeneralizedTime content to seconds since 1970 (UTC). The value's
// length picks the form: 11 "yyMMddHHmmZ", 13 "yyMMddHHmmssZ", 17
// "yyMMddHHmmss+hhmm", 15 "yyyyMMddHHmmssZ". Years run from 1970 to 9999.
[[nodiscard]] int ParseAsn1Time(const ASN1& node, int64_t& time);
