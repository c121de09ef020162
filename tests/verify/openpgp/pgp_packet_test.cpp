#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "verify/common/input_stream.h"
#include "verify/openpgp/pgp_packet_reader.h"
#include "verify/openpgp/pgp_signature.h"

namespace {

// A binary stream over a copy of the bytes.
class Source {
 public:
  explicit Source(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    if (!bytes_.empty()) (void)memory_.Open(bytes_.data(), bytes_.size());
    (void)stream_.Attach(&memory_);
  }
  BinaryInputStream* stream() { return &stream_; }
  uint64_t position() {
    uint64_t at = 0;
    return stream_.GetPosition(&at) == 0 ? at : 0;
  }
  uint64_t size() const { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
  MemoryInputStream memory_;
  BinaryInputStream stream_;
};

TEST(PgpPacketHeaderTest, LengthForms) {
  struct Case {
    const char* name;
    std::vector<uint8_t> header;
    uint64_t available;  // body bytes that follow the header
    uint32_t result;
    uint8_t tag;
    uint32_t header_size;
    uint64_t length;
  };
  const Case kCases[] = {
      {"new one octet", {0xC2, 0x05}, 5, kPgpOk, 2, 2, 5},
      {"new 191", {0xCB, 0xBF}, 191, kPgpOk, 11, 2, 191},
      {"new 192 is two octets", {0xCB, 0xC0, 0x00}, 192, kPgpOk, 11, 3, 192},
      {"new 223 is two octets", {0xCB, 0xDF, 0xFF}, 8383, kPgpOk, 11, 3, 8383},
      {"new four octets", {0xCF, 0xFF, 0x00, 0x00, 0x01, 0x00}, 256, kPgpOk, 15, 6, 256},
      {"new partial 224", {0xCB, 0xE0}, 0, kPgpPartialLength, 0, 0, 0},
      {"new partial 254", {0xCB, 0xFE}, 0, kPgpPartialLength, 0, 0, 0},
      {"old one octet", {0x88, 0x05}, 5, kPgpOk, 2, 2, 5},
      {"old two octets", {0xAD, 0x01, 0x00}, 256, kPgpOk, 11, 3, 256},
      {"old four octets", {0x92, 0x00, 0x00, 0x00, 0x0D}, 13, kPgpOk, 4, 5, 13},
      {"old indeterminate", {0xAF}, 0, kPgpPartialLength, 0, 0, 0},
      {"bit 7 clear", {0x42, 0x05}, 5, kPgpNotAPacket, 0, 0, 0},
      {"nothing to read", {}, 0, kPgpUnreadable, 0, 0, 0},
      {"new length missing", {0xC2}, 0, kPgpMalformed, 0, 0, 0},
      {"new two-octet length cut", {0xC2, 0xC5}, 0, kPgpMalformed, 0, 0, 0},
      {"new four-octet length cut", {0xC2, 0xFF, 0x00, 0x00}, 0, kPgpMalformed, 0, 0, 0},
      {"old four-octet length cut", {0x8A, 0x00, 0x00}, 0, kPgpMalformed, 0, 0, 0},
      {"body past the end", {0xC2, 0x05}, 4, kPgpMalformed, 0, 0, 0},
      {"huge body", {0xC2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 10, kPgpMalformed, 0, 0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> bytes = c.header;
    bytes.resize(bytes.size() + c.available, 0);
    Source source(bytes);
    PgpBodyReader all(source.stream(), source.size());
    PgpPacketHeader header;
    EXPECT_EQ(PgpReadPacketHeader(&all, &header), c.result);
    if (c.result != kPgpOk) continue;
    EXPECT_EQ(header.tag, c.tag);
    EXPECT_EQ(header.header_size, c.header_size);
    EXPECT_EQ(header.body_length, c.length);
    EXPECT_EQ(source.position(), c.header_size);
  }
}

TEST(PgpBodyReaderTest, FieldsNeverReachPastTheBody) {
  Source source({1, 2, 3, 4, 5, 6, 7, 8});
  PgpBodyReader body(source.stream(), 3);
  uint32_t v32 = 0;
  EXPECT_EQ(body.ReadUInt32BE(&v32), kPgpMalformed);
  EXPECT_EQ(source.position(), 0u);  // refused before reading
  uint16_t v16 = 0;
  EXPECT_EQ(body.ReadUInt16BE(&v16), kPgpOk);
  EXPECT_EQ(v16, 0x0102);
  EXPECT_EQ(body.Skip(2), kPgpMalformed);
  EXPECT_EQ(body.SkipRest(), kPgpOk);
  EXPECT_EQ(source.position(), 3u);
  EXPECT_EQ(body.Left(), 0u);
  // A body that claims more than the stream holds ends short.
  PgpBodyReader longer(source.stream(), 100);
  uint8_t rest[10] = {};
  EXPECT_EQ(longer.Read(rest), kPgpMalformed);
}

TEST(PgpMpiTest, BitCountAgainstTheBody) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t result;
    uint32_t bits;
  };
  const Case kCases[] = {
      {"17 bits in 3 bytes", {0x00, 0x11, 0x01, 0x00, 0x01}, kPgpOk, 17},
      {"zero bits", {0x00, 0x00}, kPgpOk, 0},
      {"bytes missing", {0x00, 0x11, 0x01, 0x00}, kPgpMalformed, 0},
      {"count missing", {0x00}, kPgpMalformed, 0},
      {"largest count, few bytes", {0xFF, 0xFF, 0x01}, kPgpMalformed, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Source source(c.bytes);
    PgpBodyReader body(source.stream(), source.size());
    _PGP_MPI slot;
    EXPECT_EQ(PgpReadMpi(&body, &slot), c.result);
    EXPECT_EQ(slot.bits, c.bits);
    if (c.result == kPgpOk && c.bits > 0) {
      EXPECT_EQ(std::vector<uint8_t>(slot.data, slot.data + 3), (std::vector<uint8_t>{1, 0, 1}));
    }
    PgpFreeMpi(&slot);
  }
}

std::vector<uint8_t> Area(const std::vector<uint8_t>& subpackets) {
  std::vector<uint8_t> out = {static_cast<uint8_t>(subpackets.size() >> 8),
                              static_cast<uint8_t>(subpackets.size())};
  out.insert(out.end(), subpackets.begin(), subpackets.end());
  return out;
}

std::vector<uint8_t> Issuer(uint8_t fill, uint8_t type = 16) {
  std::vector<uint8_t> out = {9, type};
  out.resize(10, fill);
  return out;
}

// A version 4 RSA signature body around the two areas.
std::vector<uint8_t> Version4(const std::vector<uint8_t>& hashed,
                              const std::vector<uint8_t>& unhashed, uint8_t algorithm = 1,
                              const std::vector<uint8_t>& tail = {0xAB, 0xCD, 0x00, 0x09, 0x01,
                                                                  0xFF}) {
  std::vector<uint8_t> body = {4, 0x00, algorithm, 8};
  for (const auto* part : {&hashed, &unhashed, &tail})
    body.insert(body.end(), part->begin(), part->end());
  return body;
}

std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(PgpSignatureTest, IssuerAndAreas) {
  const std::vector<uint8_t> created = {5, 2, 0x65, 0x00, 0x00, 0x00};
  const std::vector<uint8_t> two_octet = Cat({0xC0, 0x00, 20}, std::vector<uint8_t>(191, 0));
  const std::vector<uint8_t> five_octet = {0xFF, 0x00, 0x00, 0x00, 0x02, 7, 1};
  struct Case {
    const char* name;
    std::vector<uint8_t> body;
    uint32_t result;
    uint8_t issuer_fill;
  };
  const Case kCases[] = {
      {"unhashed wins", Version4(Area(Issuer(0xAA)), Area(Issuer(0xBB))), kPgpOk, 0xBB},
      {"hashed only", Version4(Area(Cat(created, Issuer(0xAA))), Area({})), kPgpOk, 0xAA},
      {"critical issuer", Version4(Area({}), Area(Issuer(0xCC, 0x90))), kPgpOk, 0xCC},
      {"after a two-octet subpacket", Version4(Area(Cat(two_octet, Issuer(0xDD))), Area({})),
       kPgpOk, 0xDD},
      {"after a five-octet subpacket", Version4(Area({}), Area(Cat(five_octet, Issuer(0xEE)))),
       kPgpOk, 0xEE},
      {"no issuer", Version4(Area(created), Area({})), kPgpNoIssuer, 0},
      {"issuer of 4 bytes", Version4(Area({5, 16, 1, 2, 3, 4}), Area({})), kPgpMalformed, 0},
      {"issuer of 9 bytes", Version4(Area({10, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9}), Area({})),
       kPgpMalformed, 0},
      {"subpacket past its area", Version4(Area({9, 2, 0, 0}), Area(Issuer(1))), kPgpMalformed, 0},
      {"zero-length subpacket", Version4(Area({0}), Area(Issuer(1))), kPgpMalformed, 0},
      {"two-octet header cut", Version4(Area({0xC0}), Area(Issuer(1))), kPgpMalformed, 0},
      {"area past the body", Version4({0x01, 0x00}, {}, 1, {}), kPgpMalformed, 0},
      {"byte after the value", Version4(Area({}), Area(Issuer(1)), 1, {0, 0, 0, 8, 1, 0}),
       kPgpMalformed, 0},
      {"value past the body", Version4(Area({}), Area(Issuer(1)), 1, {0, 0, 0, 9, 1}),
       kPgpMalformed, 0},
      {"unknown algorithm passed over", Version4(Area({}), Area(Issuer(0x11)), 22, {0, 0, 1, 2, 3}),
       kPgpOk, 0x11},
      {"DSA values", Version4(Area({}), Area(Issuer(0x12)), 17, {0, 0, 0, 1, 1, 0, 2, 3}), kPgpOk,
       0x12},
      {"DSA second value missing", Version4(Area({}), Area(Issuer(0x12)), 17, {0, 0, 0, 1, 1}),
       kPgpMalformed, 0},
      {"version 3",
       {3, 5, 0, 1, 2, 3, 4, 9, 9, 9, 9, 9, 9, 9, 9, 1, 8, 0xAB, 0xCD, 0, 1, 1},
       kPgpOk,
       9},
      {"version 3 length 4",
       {3, 4, 0, 1, 2, 3, 9, 9, 9, 9, 9, 9, 9, 9, 1, 8, 0xAB, 0xCD, 0, 1, 1},
       kPgpMalformed,
       0},
      {"version 4 cut", {4, 0, 1}, kPgpMalformed, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Source source(c.body);
    PgpBodyReader body(source.stream(), source.size());
    _PGP_SIGNATURE sig;
    EXPECT_EQ(PgpReadSignature(&body, &sig), c.result);
    if (c.result != kPgpOk) continue;
    EXPECT_TRUE(sig.has_issuer);
    EXPECT_EQ(std::vector<uint8_t>(sig.issuer, sig.issuer + 8),
              std::vector<uint8_t>(8, c.issuer_fill));
    EXPECT_EQ(body.Left(), 0u);
    EXPECT_EQ(source.position(), source.size());
  }
}

TEST(PgpSignatureTest, OldVersionsCarryNoIssuerAndHashNothing) {
  Source source({2, 0xAB, 0xCD, 0x00, 0x01, 0x01});
  PgpBodyReader body(source.stream(), source.size());
  _PGP_SIGNATURE sig;
  ASSERT_EQ(PgpReadSignature(&body, &sig), kPgpOk);
  EXPECT_FALSE(sig.has_issuer);
  EXPECT_EQ(sig.hashed.size, 0u);
  EXPECT_EQ(sig.left16[0], 0xAB);
}

TEST(PgpSignatureTest, AreasKeepTheirLengthInFront) {
  const std::vector<uint8_t> hashed = Area({5, 2, 1, 2, 3, 4});
  Source source(Version4(hashed, Area(Issuer(1))));
  PgpBodyReader body(source.stream(), source.size());
  _PGP_SIGNATURE sig;
  ASSERT_EQ(PgpReadSignature(&body, &sig), kPgpOk);
  EXPECT_EQ(std::vector<uint8_t>(sig.hashed.All().begin(), sig.hashed.All().end()), hashed);
}

}  // namespace
