#pragma once

// The peer certificate list that the TLS layer hands to certificate checks:
// items of a u32 little-endian length and that many bytes of one DER
// certificate, the peer's own certificate first.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "net/tls/openssl_function_table.h"

// Packs a stack of X509 objects (null: none) in stack order, leaving out
// certificates that encode to nothing. False when memory runs out (or the
// encoder answers differently for the same certificate).
[[nodiscard]] bool PackPeerChain(const OpenSslFunctionTable& f, const OPENSSL_STACK* chain,
                                 std::vector<uint8_t>& out);

// Walks the items of a list.
class PeerChainReader {
 public:
  explicit PeerChainReader(std::span<const uint8_t> list) : rest_(list) {}

  bool AtEnd() const { return rest_.empty(); }
  // The next item's certificate bytes; nullopt (and the walk ends) when its
  // header or its length runs past the list.
  std::optional<std::span<const uint8_t>> Next();

 private:
  std::span<const uint8_t> rest_;
};
