#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/util/update_errors.h"
#include "updater.h"

// Decoder of a gzip or zlib-wrapped deflate body ("Content-Encoding: gzip"
// or "deflate"), fed block by block as the body arrives. Output leaves in
// windows of kWindowSize bytes; input that ends inside the stream waits in
// zlib for the next block.
class CInflateStream {
 public:
  static constexpr size_t kWindowSize = 128 * 1024;
  // Receives each window of output; a non-zero code stops the decoding.
  using Output = std::function<UpdError(const uint8_t* data, size_t size)>;

  CInflateStream() = default;
  ~CInflateStream();
  CInflateStream(const CInflateStream&) = delete;
  CInflateStream& operator=(const CInflateStream&) = delete;

  // kind: HttpContentEncoding gzip or deflate; false for any other kind or
  // when zlib cannot start.
  [[nodiscard]] bool Init(uint32_t kind);
  // 0, kUpdBadCompressedData for corrupt data, or the first non-zero code of out. Bytes
  // after the end of the stream are ignored.
  [[nodiscard]] UpdError Write(const uint8_t* bytes, size_t length, const Output& out);

  // Some input arrived; the stream reached its end.
  [[nodiscard]] bool started() const { return started_; }
  [[nodiscard]] bool finished() const { return finished_; }

 private:
  [[nodiscard]] UpdError Inflate(const uint8_t* bytes, size_t length, const Output& out);

  z_stream stream_{};
  bool initialised_ = false;
  bool started_ = false;
  bool finished_ = false;
  std::unique_ptr<uint8_t[]> window_;
};
