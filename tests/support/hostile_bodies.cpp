#include "support/hostile_bodies.h"

#include <zlib.h>

#include <cstdio>
#include <stdexcept>

namespace upd::test {
namespace {

namespace script = upd::test::script;

// The header of a gzip member without name or time (RFC 1952).
constexpr std::string_view kGzipHeader{"\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10};
// Sent in blocks of this size, so that a client's close stops the peer soon.
constexpr size_t kFillerBlock = 64 * 1024;
// Blocks of an endless body: more than any test reads.
constexpr uint64_t kEndlessBlocks = uint64_t{1} << 24;

std::string Head(bool chunked, std::string_view extra) {
  std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
  if (chunked) head += "Transfer-Encoding: chunked\r\n";
  return head + std::string(extra) + "\r\n";
}

std::string Chunk(std::string_view data) {
  char size[24];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  return size + std::string(data) + "\r\n";
}

std::string BombSegment() {
  z_stream stream{};
  if (deflateInit2(&stream, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  const std::string zeros(kBombSegmentBytes, '\0');
  std::string out(kBombSegmentBytes, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
  stream.avail_in = static_cast<uInt>(zeros.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int status = deflate(&stream, Z_FULL_FLUSH);
  out.resize(out.size() - stream.avail_out);
  deflateEnd(&stream);
  if (status != Z_OK || stream.avail_in != 0) throw std::runtime_error("deflate");
  return out;
}

const std::string& Segment() {
  static const std::string segment = BombSegment();
  return segment;
}

}  // namespace

size_t BombSegmentWireBytes() { return Segment().size(); }

ScriptedConnection GzipBomb(uint64_t wire_bytes, bool chunked, std::string_view extra_headers) {
  const uint64_t count = (wire_bytes + Segment().size() - 1) / Segment().size();
  const std::string headers = "Content-Encoding: gzip\r\n" + std::string(extra_headers);
  if (!chunked) {
    return {script::ReadRequest(), script::Send(Head(false, headers)), script::Send(kGzipHeader),
            script::Repeat(Segment(), count)};
  }
  return {script::ReadRequest(), script::Send(Head(true, headers)),
          script::Send(Chunk(kGzipHeader)), script::Repeat(Chunk(Segment()), count)};
}

ScriptedConnection EndlessBody(bool chunked, std::string_view extra_headers) {
  const std::string block(kFillerBlock, 'e');
  return {script::ReadRequest(), script::Send(Head(chunked, extra_headers)),
          script::Repeat(chunked ? Chunk(block) : block, kEndlessBlocks)};
}

ScriptedConnection GzipWithEndlessTail(std::string_view stream) {
  return {script::ReadRequest(), script::Send(Head(false, "Content-Encoding: gzip\r\n")),
          script::Send(stream), script::Repeat(std::string(kFillerBlock, 't'), kEndlessBlocks)};
}

ScriptedConnection Announcing(uint64_t length, std::string_view extra_headers) {
  const std::string headers =
      "Content-Length: " + std::to_string(length) + "\r\n" + std::string(extra_headers);
  const std::string block(kFillerBlock, 'a');
  ScriptedConnection connection{script::ReadRequest(), script::Send(Head(false, headers)),
                                script::Repeat(block, length / kFillerBlock)};
  if (length % kFillerBlock != 0) {
    connection.steps.push_back(script::Send(block.substr(0, length % kFillerBlock)));
  }
  return connection;
}

}  // namespace upd::test
