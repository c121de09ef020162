#include "net/http/inflate_stream.h"

#include <climits>
#include <new>

#include "net/http/http_response_info.h"
#include "platform/util/update_errors.h"

namespace {

constexpr int kGzipWindowBits = 31;     // gzip wrapper only
constexpr int kDeflateWindowBits = 15;  // zlib wrapper only

}  // namespace

CInflateStream::~CInflateStream() {
  if (initialised_) (void)inflateEnd(&stream_);
}

bool CInflateStream::Init(uint32_t kind) {
  if (initialised_) return false;
  int bits = 0;
  if (kind == kHttpEncodingGzip) {
    bits = kGzipWindowBits;
  } else if (kind == kHttpEncodingDeflate) {
    bits = kDeflateWindowBits;
  } else {
    return false;
  }
  window_.reset(new (std::nothrow) uint8_t[kWindowSize]);
  if (window_ == nullptr) return false;
  stream_ = z_stream{};
  initialised_ = inflateInit2(&stream_, bits) == Z_OK;
  return initialised_;
}

UpdError CInflateStream::Write(const uint8_t* bytes, size_t length, const Output& out) {
  if (!initialised_) return kUpdBadCompressedData;
  if (length != 0) started_ = true;
  // zlib counts in 32 bits: larger blocks go in pieces.
  while (length != 0 && !finished_) {
    const size_t piece = length < UINT_MAX ? length : UINT_MAX;
    const UpdError result = Inflate(bytes, piece, out);
    if (result != kUpdOk) return result;
    bytes += piece;
    length -= piece;
  }
  return kUpdOk;
}

UpdError CInflateStream::Inflate(const uint8_t* bytes, size_t length, const Output& out) {
  stream_.next_in = const_cast<Bytef*>(bytes);
  stream_.avail_in = static_cast<uInt>(length);
  for (;;) {
    stream_.next_out = window_.get();
    stream_.avail_out = static_cast<uInt>(kWindowSize);
    const int status = inflate(&stream_, Z_NO_FLUSH);
    if (status == Z_DATA_ERROR || status == Z_STREAM_ERROR || status == Z_MEM_ERROR ||
        status == Z_NEED_DICT) {
      return kUpdBadCompressedData;
    }
    if (status == Z_STREAM_END) finished_ = true;
    const size_t produced = kWindowSize - stream_.avail_out;
    if (produced != 0) {
      const UpdError result = out(window_.get(), produced);
      if (result != kUpdOk) return result;
    }
    // A window left unfilled means the input is used up; a full one may hide
    // more output. Bytes behind the end of the stream are ignored.
    if (finished_ || stream_.avail_out != 0) return kUpdOk;
  }
}
