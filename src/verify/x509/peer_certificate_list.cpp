#include "verify/x509/peer_certificate_list.h"

PeerListResult ReadPeerCertificateList(std::span<const uint8_t> list,
                                       X509CertificateCollection& out) {
  if (list.empty() || list.size() > kPeerListMaxLength) return kPeerListBadLength;
  while (!list.empty()) {
    if (list.size() < kPeerListHeaderSize) return kPeerListMalformed;
    const uint64_t n = uint64_t{list[0]} | (uint64_t{list[1]} << 8) | (uint64_t{list[2]} << 16) |
                       (uint64_t{list[3]} << 24);
    list = list.subspan(kPeerListHeaderSize);
    if (n == 0 || n > list.size()) return kPeerListMalformed;
    ByteArray bytes;
    if (!bytes.AssignBytes(list.first(static_cast<size_t>(n)))) return kPeerListNoMemory;
    CountedPtr<X509Certificate> certificate = X509Certificate::FromBytes(bytes);
    if (certificate.IsEmpty()) return kPeerListMalformed;
    if (!out.Add(certificate)) return kPeerListNoMemory;
    list = list.subspan(static_cast<size_t>(n));
  }
  return kPeerListOk;
}

std::vector<uint8_t> PackPeerCertificateList(
    const std::vector<std::vector<uint8_t>>& certificates) {
  std::vector<uint8_t> out;
  for (const std::vector<uint8_t>& c : certificates) {
    const uint32_t n = static_cast<uint32_t>(c.size());
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(n >> shift));
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}
