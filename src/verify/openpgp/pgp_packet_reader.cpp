#include "verify/openpgp/pgp_packet_reader.h"

#include <array>
#include <memory>
#include <new>

namespace {

// New-format first length octets: below 192 one octet, 192-223 two octets,
// 255 a four-octet length; the rest are partial body lengths.
constexpr uint8_t kTwoOctetStart = 192;
constexpr uint8_t kTwoOctetEnd = 223;
constexpr uint8_t kFourOctetMark = 255;

PgpResult ReadBigEndian(PgpBodyReader* reader, uint32_t bytes, uint64_t* value) {
  std::array<uint8_t, 4> raw{};
  const PgpResult rc = reader->Read(std::span<uint8_t>(raw.data(), bytes));
  if (rc != kPgpOk) return rc;
  *value = 0;
  for (uint32_t i = 0; i < bytes; ++i) *value = (*value << 8) | raw[i];
  return kPgpOk;
}

PgpResult ReadNewFormatLength(PgpBodyReader* reader, PgpPacketHeader* header) {
  uint8_t first = 0;
  if (reader->ReadUInt8(&first) != kPgpOk) return kPgpMalformed;
  if (first < kTwoOctetStart) {
    header->header_size = 2;
    header->body_length = first;
    return kPgpOk;
  }
  if (first <= kTwoOctetEnd) {
    uint8_t second = 0;
    if (reader->ReadUInt8(&second) != kPgpOk) return kPgpMalformed;
    header->header_size = 3;
    header->body_length = ((uint64_t{first} - kTwoOctetStart) << 8) + second + kTwoOctetStart;
    return kPgpOk;
  }
  if (first != kFourOctetMark) return kPgpPartialLength;
  header->header_size = 6;
  return ReadBigEndian(reader, 4, &header->body_length) == kPgpOk ? kPgpOk : kPgpMalformed;
}

PgpResult ReadOldFormatLength(PgpBodyReader* reader, uint8_t length_type, PgpPacketHeader* header) {
  static constexpr std::array<uint32_t, 3> kLengthBytes = {1, 2, 4};
  if (length_type >= kLengthBytes.size()) return kPgpPartialLength;
  const uint32_t bytes = kLengthBytes[length_type];
  header->header_size = 1 + bytes;
  return ReadBigEndian(reader, bytes, &header->body_length) == kPgpOk ? kPgpOk : kPgpMalformed;
}

}  // namespace

PgpResult PgpBodyReader::ReadUInt8(uint8_t* value) { return Read(std::span<uint8_t>(value, 1)); }

PgpResult PgpBodyReader::ReadUInt16BE(uint16_t* value) {
  std::array<uint8_t, 2> raw{};
  const PgpResult rc = Read(raw);
  if (rc == kPgpOk) *value = static_cast<uint16_t>((raw[0] << 8) | raw[1]);
  return rc;
}

PgpResult PgpBodyReader::ReadUInt32BE(uint32_t* value) {
  std::array<uint8_t, 4> raw{};
  const PgpResult rc = Read(raw);
  if (rc == kPgpOk) {
    *value = (uint32_t{raw[0]} << 24) | (uint32_t{raw[1]} << 16) | (uint32_t{raw[2]} << 8) | raw[3];
  }
  return rc;
}

PgpResult PgpBodyReader::Read(std::span<uint8_t> out) {
  if (stream_ == nullptr) return kPgpMissingArgument;
  if (out.size() > left_) return kPgpMalformed;
  if (out.empty()) return kPgpOk;
  uint64_t got = 0;
  const uint32_t stream_code = stream_->Read(out.data(), out.size(), &got);
  left_ -= got;
  // Whatever the source's reason, the field did not arrive whole: the packet
  // is cut short. The source's own codes mean other things in this space.
  if (stream_code != kStreamOk || got != out.size()) return kPgpMalformed;
  return kPgpOk;
}

PgpResult PgpBodyReader::Skip(uint64_t n) {
  if (stream_ == nullptr) return kPgpMissingArgument;
  if (n > left_) return kPgpMalformed;
  if (InputStreamSkip(stream_, n) != kStreamOk) return kPgpMalformed;
  left_ -= n;
  return kPgpOk;
}

bool PgpBodyReader::Reserve(uint64_t n) {
  if (n > left_) return false;
  left_ -= n;
  return true;
}

PgpResult PgpReadPacketHeader(PgpBodyReader* reader, PgpPacketHeader* header) {
  if (reader == nullptr || header == nullptr) return kPgpMissingArgument;
  *header = {};
  uint8_t first = 0;
  if (reader->ReadUInt8(&first) != kPgpOk) return kPgpUnreadable;
  if ((first & 0x80) == 0) return kPgpNotAPacket;
  header->new_format = (first & 0x40) != 0;
  PgpResult rc = kPgpOk;
  if (header->new_format) {
    header->tag = first & 0x3F;
    rc = ReadNewFormatLength(reader, header);
  } else {
    header->tag = (first >> 2) & 0x0F;
    rc = ReadOldFormatLength(reader, first & 0x03, header);
  }
  if (rc != kPgpOk) return rc;
  // The body must lie inside what encloses it (the stream or a key block).
  if (header->body_length > reader->Left()) return kPgpMalformed;
  return kPgpOk;
}

PgpResult PgpReadMpi(PgpBodyReader* reader, _PGP_MPI* slot) {
  if (reader == nullptr || slot == nullptr) return kPgpMissingArgument;
  PgpFreeMpi(slot);
  uint16_t bits = 0;
  if (reader->ReadUInt16BE(&bits) != kPgpOk) return kPgpMalformed;
  const uint32_t size = (uint32_t{bits} + 7) / 8;
  if (size > reader->Left()) return kPgpMalformed;
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
  if (data == nullptr) return kPgpNoMemory;
  const PgpResult rc = reader->Read(std::span<uint8_t>(data.get(), size));
  if (rc != kPgpOk) return rc;
  slot->bits = bits;
  slot->data = data.release();
  slot->owned = 1;
  return kPgpOk;
}
