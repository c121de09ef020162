#pragma once

#include <cstdint>
#include <span>

#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_public_key.h"

// Reads the fields of one packet body from the stream, never past the body's
// declared end: a field that does not fit in what remains is refused before
// any byte of it is read, so a length taken from the input can never make a
// reader run into the next packet.
class PgpBodyReader {
 public:
  PgpBodyReader(IBinaryInputStream* stream, uint64_t length) : stream_(stream), left_(length) {}

  uint64_t Left() const { return left_; }
  IBinaryInputStream* Stream() const { return stream_; }

  // Each gives kPgpMalformed when the field does not fit or the stream fails
  // or ends before it is read whole.
  [[nodiscard]] PgpResult ReadUInt8(uint8_t* value);
  [[nodiscard]] PgpResult ReadUInt16BE(uint16_t* value);
  [[nodiscard]] PgpResult ReadUInt32BE(uint32_t* value);
  [[nodiscard]] PgpResult Read(std::span<uint8_t> out);
  [[nodiscard]] PgpResult Skip(uint64_t n);
  // Passes over whatever is left of the body.
  [[nodiscard]] PgpResult SkipRest() { return Skip(left_); }
  // Takes n bytes off this body for a nested reader of its own.
  [[nodiscard]] bool Reserve(uint64_t n);

 private:
  IBinaryInputStream* stream_;
  uint64_t left_;
};

struct PgpPacketHeader {
  uint8_t tag = 0;
  bool new_format = false;
  uint32_t header_size = 0;
  uint64_t body_length = 0;
};

// Reads a packet header from the reader. Codes: 11 missing argument, 1 the
// first octet cannot be read, 14 bit 7 clear, 13 partial or indeterminate
// length, 15 truncated header or a body longer than what remains after it.
[[nodiscard]] PgpResult PgpReadPacketHeader(PgpBodyReader* reader, PgpPacketHeader* header);

// Replaces the slot's value with an MPI read from the body: 15 when the bit
// count or the bytes do not fit or cannot be read, 8 without memory.
[[nodiscard]] PgpResult PgpReadMpi(PgpBodyReader* reader, _PGP_MPI* slot);
