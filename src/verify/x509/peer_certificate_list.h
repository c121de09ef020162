#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "verify/x509/certificate_collection.h"

// The peer certificate list that the TLS layer packs: items of a 4-byte
// little-endian length n (at least 1) and n bytes of one certificate, leaf
// first, filling the buffer exactly.
inline constexpr uint64_t kPeerListMaxLength = 0xFFFFFF;
inline constexpr size_t kPeerListHeaderSize = 4;

// Results of reading the list.
enum PeerListResult : uint32_t {
  kPeerListOk = 0,
  kPeerListNoMemory = 12,
  kPeerListBadLength = 21,
  kPeerListMalformed = 22,
};

// Appends every certificate of the list to out.
[[nodiscard]] PeerListResult ReadPeerCertificateList(std::span<const uint8_t> list,
                                                     X509CertificateCollection& out);

// Packs certificates (DER or PEM bytes, leaf first) into the list format.
[[nodiscard]] std::vector<uint8_t> PackPeerCertificateList(
    const std::vector<std::vector<uint8_t>>& certificates);
