#include "net/tls/ssl_chain_buffer.h"

#include <new>
#include <utility>

#include "verify/x509/peer_certificate_list.h"

bool PackPeerChain(const OpenSslFunctionTable& f, const OPENSSL_STACK* chain,
                   std::vector<uint8_t>& out) {
  out.clear();
  const int count = chain != nullptr ? f.stack_num(chain) : 0;
  std::vector<std::pair<X509*, int>> items;
  try {
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
      auto* certificate = static_cast<X509*>(f.stack_value(chain, i));
      const int length = certificate != nullptr ? f.i2d_X509(certificate, nullptr) : 0;
      if (length <= 0) continue;
      items.emplace_back(certificate, length);
      total += kPeerListHeaderSize + static_cast<size_t>(length);
    }
    out.resize(total);
  } catch (const std::bad_alloc&) {
    out.clear();
    return false;
  }
  unsigned char* cursor = out.data();
  for (const auto& [certificate, length] : items) {
    const auto n = static_cast<uint32_t>(length);
    for (size_t b = 0; b < kPeerListHeaderSize; ++b) *cursor++ = static_cast<uint8_t>(n >> (8 * b));
    // The encoder measured this room for the same object a moment ago.
    if (f.i2d_X509(certificate, &cursor) != length) {
      out.clear();
      return false;
    }
  }
  return true;
}

std::optional<std::span<const uint8_t>> PeerChainReader::Next() {
  if (rest_.size() < kPeerListHeaderSize) {
    rest_ = {};
    return std::nullopt;
  }
  uint64_t n = 0;
  for (size_t b = 0; b < kPeerListHeaderSize; ++b) n |= uint64_t{rest_[b]} << (8 * b);
  rest_ = rest_.subspan(kPeerListHeaderSize);
  if (n > rest_.size()) {
    rest_ = {};
    return std::nullopt;
  }
  const std::span<const uint8_t> item = rest_.first(static_cast<size_t>(n));
  rest_ = rest_.subspan(static_cast<size_t>(n));
  return item;
}
