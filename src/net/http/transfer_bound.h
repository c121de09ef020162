#pragma once

#include <cstdint>

#include "net/http/http_head.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// The most one transfer may deliver, counted where the bytes reach their
// target: after decoding, and with the partial bytes of a resumed download
// (the whole file counts, so that resuming never lets a file grow past what
// its listing announced, however the server splits it). A body announced
// larger is refused before anything is written; one that grows past it stops
// at once, and the file it was going into is deleted.
struct TransferBound {
  uint64_t max_bytes = kHttpMaxBodyBytes;
  // What a body past max_bytes ends with: the code the caller's kind of
  // download gives an answer too large for it.
  UpdError over_result = kUpdSourceUnreadable;
};

// The wire bytes an encoded body may take for max_bytes decoded ones.
// Deflate's stored blocks and the gzip wrapper make an incompressible body
// a little larger than what it decodes to (zlib's deflateBound), and bytes
// that follow the end of the stream are read but never decoded: without
// this limit such a tail could run on for ever.
[[nodiscard]] constexpr uint64_t EncodedBodyLimit(uint64_t max_bytes) {
  constexpr uint64_t kWrapperSlack = 64 * 1024;
  const uint64_t slack = max_bytes / 1024 + kWrapperSlack;
  return max_bytes > ~uint64_t{0} - slack ? ~uint64_t{0} : max_bytes + slack;
}
