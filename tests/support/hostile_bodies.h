#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/net_servers.h"

// Answers of a hostile server that would fill a client's disk or memory, as
// scripted-peer connections: each reads one request, then sends a 200 whose
// head holds extra_headers (whole lines with their CR LF) besides its own.
// The peer stops sending once the client closes. tests/support/
// hostile_script.py writes the same answers for shell tests.
namespace upd::test {

// What one segment of a gzip bomb decodes to, and its size on the wire
// (about a thousandth).
inline constexpr uint64_t kBombSegmentBytes = uint64_t{1} << 20;
[[nodiscard]] size_t BombSegmentWireBytes();

// A gzip stream of zeros that never reaches its end: the header, then the
// same raw deflate segment again and again (a full flush after each resets
// the dictionary, so every copy is the same bytes), wire_bytes of it
// (rounded up to whole segments). Ends with the connection, or chunked.
[[nodiscard]] ScriptedConnection GzipBomb(uint64_t wire_bytes, bool chunked = false,
                                          std::string_view extra_headers = "");
// Bytes without end: ends with the connection, or chunked.
[[nodiscard]] ScriptedConnection EndlessBody(bool chunked = false,
                                             std::string_view extra_headers = "");
// A complete gzip stream followed by bytes without end, which a decoder
// never looks at.
[[nodiscard]] ScriptedConnection GzipWithEndlessTail(std::string_view stream);
// "Content-Length: length" and that many bytes.
[[nodiscard]] ScriptedConnection Announcing(uint64_t length, std::string_view extra_headers = "");

}  // namespace upd::test
