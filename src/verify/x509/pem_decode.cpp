#include "verify/x509/pem_decode.h"

#include <cstring>
#include <string>

#include "platform/util/base64.h"

bool PemDecode(std::string_view label, const ByteArray& input, ByteArray& out) {
  const std::span<const uint8_t> bytes = input.AsSpan();
  const void* nul = bytes.empty() ? nullptr : std::memchr(bytes.data(), 0, bytes.size());
  const size_t text_length =
      nul == nullptr ? bytes.size()
                     : static_cast<size_t>(static_cast<const uint8_t*>(nul) - bytes.data());
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), text_length);

  std::string begin_marker = "-----BEGIN ";
  begin_marker.append(label).append("-----");
  std::string end_marker = "-----END ";
  end_marker.append(label).append("-----");
  const size_t begin = text.find(begin_marker);
  const size_t end = text.find(end_marker);
  if (begin == std::string_view::npos || end == std::string_view::npos) return false;
  const size_t body = begin + begin_marker.size() + 1;
  if (body >= end) return false;

  const std::string_view base64 = text.substr(body, end - body);
  uint64_t needed = 0;
  // The size query answers 0 with the size needed; an empty body decodes to nothing.
  (void)Base64Decode(base64.data(), base64.size(), nullptr, 0, &needed);
  ByteArray decoded;
  if (needed == 0 || !decoded.SetSize(static_cast<int64_t>(needed))) return false;
  uint64_t written = 0;
  (void)Base64Decode(base64.data(), base64.size(), decoded.GetData(), needed, &written);
  if (written == 0 || written > needed || !decoded.SetSize(static_cast<int64_t>(written))) {
    return false;
  }
  out = decoded;
  return true;
}
