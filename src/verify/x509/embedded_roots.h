#pragma once

#include <cstdint>
#include <span>

namespace upd::embedded {

// DER bytes of built-in root certificate `row` (1..10, rows of the roots
// table); an empty span for a row that is not embedded. Rows 9 and 10 come
// from the build's trust folder, the others are public roots in the source
// tree. The bytes are generated into the build at configure time.
std::span<const uint8_t> RootCertificate(int row);

}  // namespace upd::embedded
