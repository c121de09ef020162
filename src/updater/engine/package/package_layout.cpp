#include "updater/engine/package/package_layout.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/util/strings.h"
#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_packet_reader.h"

namespace {

constexpr uint8_t kTagLiteral = 11;
// Format byte, file-name length and the 4-byte date; the name lies between.
constexpr uint64_t kLiteralFixedFields = 6;
constexpr uint64_t kLiteralNameLengthAt = 1;

bool ReadPacketHeader(std::span<const uint8_t> bytes, uint64_t at, PgpPacketHeader* header) {
  MemoryInputStream memory;
  BinaryInputStream stream;
  if (memory.Open(bytes.data() + at, bytes.size() - at) != kStreamOk ||
      stream.Attach(&memory) != kStreamOk) {
    return false;
  }
  // Only the header must be whole: the body may run past a partial read.
  PgpBodyReader unbounded(&stream, std::numeric_limits<uint64_t>::max());
  return PgpReadPacketHeader(&unbounded, header) == kPgpOk;
}

bool FrameLiteralContent(std::span<const uint8_t> bytes, uint64_t total, uint64_t body_at,
                         uint64_t body_length, ByteRange* content) {
  const uint64_t available = std::min<uint64_t>(body_length, total - body_at);
  if (available <= kLiteralNameLengthAt || body_at + kLiteralNameLengthAt >= bytes.size()) {
    return false;
  }
  const uint64_t fixed = kLiteralFixedFields + bytes[body_at + kLiteralNameLengthAt];
  if (fixed > available || fixed > bytes.size() - body_at) return false;
  *content = {body_at + fixed, available - fixed};
  return true;
}

// Compares n bytes of data with pattern, folding only A to Z.
bool MatchesFolded(const uint8_t* data, std::string_view pattern) {
  return AsciiStrNICmp(reinterpret_cast<const char*>(data), pattern.data(), pattern.size()) == 0;
}

bool FindFolded(std::span<const uint8_t> bytes, uint64_t from, uint64_t end,
                std::string_view pattern, uint64_t* found) {
  if (end < pattern.size()) return false;
  const uint64_t last = end - pattern.size();  // the last start that fits
  for (uint64_t at = from; at <= last;) {
    const void* hit = std::memchr(bytes.data() + at, pattern[0], last - at + 1);
    if (hit == nullptr) return false;
    at = static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - bytes.data());
    if (MatchesFolded(bytes.data() + at, pattern)) {
      *found = at;
      return true;
    }
    ++at;
  }
  return false;
}

}  // namespace

bool LocatePackageContent(std::span<const uint8_t> bytes, ByteRange* content) {
  return LocatePackageContent(bytes, bytes.size(), content);
}

bool LocatePackageContent(std::span<const uint8_t> bytes, uint64_t total, ByteRange* content) {
  if (bytes.empty() || total < bytes.size()) return false;
  if ((bytes[0] & 0x80) == 0) {
    *content = {0, total};
    return true;
  }
  for (uint64_t at = 0; at < bytes.size();) {
    PgpPacketHeader header;
    if (!ReadPacketHeader(bytes, at, &header)) return false;
    const uint64_t body_at = at + header.header_size;
    if (header.tag == kTagLiteral) {
      return FrameLiteralContent(bytes, total, body_at, header.body_length, content);
    }
    if (header.body_length > bytes.size() - body_at) return false;
    at = body_at + header.body_length;
  }
  return false;
}

bool FindPackageParts(std::span<const uint8_t> bytes, ByteRange within, PackageParts* parts) {
  if (within.offset > bytes.size() || within.length > bytes.size() - within.offset) return false;
  uint64_t header_at = 0;
  uint64_t marker_at = 0;
  if (!FindFolded(bytes, within.offset, within.end(), kPackageHeaderTag, &header_at) ||
      !FindFolded(bytes, header_at, within.end(), kPackageDataMarker, &marker_at)) {
    return false;
  }
  parts->header = {header_at, marker_at - header_at};
  parts->payload_offset = marker_at + kPackageDataMarker.size();
  return true;
}
