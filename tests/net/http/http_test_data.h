#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstddef>
#include <string>

#include "support/test_bytes.h"

namespace upd::test {

inline const std::string kKeepAlive = "Connection: keep-alive\r\n";

// lines short lines of text that gzip shrinks well.
inline std::string Text(size_t lines) {
  std::string text;
  for (size_t i = 0; i < lines; ++i) text += "line " + std::to_string(i * 7919 % 1000) + "\n";
  return text;
}

// data compressed by zlib: window_bits 31 gives the gzip format, 15 the zlib
// format, -15 a raw deflate stream.
inline std::string Deflate(const std::string& data, int window_bits = 31, int level = 6) {
  z_stream stream{};
  EXPECT_EQ(deflateInit2(&stream, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

}  // namespace upd::test
