#include "platform/util/base64.h"

#include <array>
#include <cstring>
#include <limits>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decoding classes beside the 64 digit values.
constexpr uint8_t kPad = 64;
constexpr uint8_t kSpace = 65;
constexpr uint8_t kBad = 66;

constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kBad;
  for (uint8_t i = 0; i < 64; ++i) table[static_cast<uint8_t>(kAlphabet[i])] = i;
  table['='] = kPad;
  for (char c : {'\t', '\n', '\r', ' '}) table[static_cast<uint8_t>(c)] = kSpace;
  return table;
}

constexpr std::array<uint8_t, 256> kDecode = MakeDecodeTable();

uint64_t EncodedSizeNeeded(uint64_t length) {
  uint64_t groups = length / 3 + (length % 3 != 0 ? 1 : 0);
  if (groups > (std::numeric_limits<uint64_t>::max() - 2) / 4) {
    return std::numeric_limits<uint64_t>::max();
  }
  return groups * 4 + 2;
}

uint64_t DecodedUpperBound(uint64_t n) { return (n / 4 + (n % 4 != 0 ? 1 : 0)) * 3; }

// Exact size for a well-formed text, worked out from its length less the
// trailing padding; a text with inner padding or noise is never larger.
uint64_t DecodedSizeNeeded(const char* text, uint64_t n) {
  uint64_t l = n;
  while (l > 0 && text[l - 1] == '=') --l;
  if (l % 4 == 0) return DecodedUpperBound(n);
  return l / 4 * 3 + l % 4 - 1;
}

class Decoder {
 public:
  Decoder(const uint8_t* text, uint64_t n, uint8_t* out, uint64_t room)
      : in_(text), end_(text + n), out_(out), room_(room) {}

  void Run() {
    while (true) {
      FastGroups();
      std::array<uint8_t, 4> group{};
      if (!NextGroup(group) || !Emit(group)) return;
    }
  }

  uint64_t produced() const { return produced_; }
  bool bad() const { return bad_; }

 private:
  // Runs of clean four-character groups, the common case, without the
  // per-character classification of NextGroup.
  void FastGroups() {
    while (end_ - in_ >= 4 && room_ - produced_ >= 3) {
      uint32_t a = kDecode[in_[0]], b = kDecode[in_[1]], c = kDecode[in_[2]], d = kDecode[in_[3]];
      if ((a | b | c | d) >= 64) return;
      uint32_t v = a << 18 | b << 12 | c << 6 | d;
      out_[produced_] = static_cast<uint8_t>(v >> 16);
      out_[produced_ + 1] = static_cast<uint8_t>(v >> 8);
      out_[produced_ + 2] = static_cast<uint8_t>(v);
      produced_ += 3;
      in_ += 4;
    }
  }

  // Four significant characters (digits or '='); false at the end of the text.
  bool NextGroup(std::array<uint8_t, 4>& group) {
    size_t count = 0;
    while (count < group.size()) {
      if (in_ == end_) return false;
      uint8_t cls = kDecode[*in_++];
      if (cls == kSpace) continue;
      if (cls == kBad) {
        bad_ = true;
        continue;
      }
      group[count++] = cls;
    }
    return true;
  }

  // Writes the group's bytes; false when the group ends the text.
  bool Emit(const std::array<uint8_t, 4>& g) {
    size_t bytes = 0;
    if (g[0] < 64 && g[1] < 64 && g[2] < 64 && g[3] < 64)
      bytes = 3;
    else if (g[0] < 64 && g[1] < 64 && g[2] < 64 && g[3] == kPad)
      bytes = 2;
    else if (g[0] < 64 && g[1] < 64 && g[2] == kPad && g[3] == kPad)
      bytes = 1;
    else
      return false;
    if (room_ - produced_ < bytes) return false;
    uint32_t v = uint32_t{g[0]} << 18 | uint32_t{g[1]} << 12 | uint32_t{g[2] & 63u} << 6 |
                 uint32_t{g[3] & 63u};
    for (size_t i = 0; i < bytes; ++i) out_[produced_++] = static_cast<uint8_t>(v >> (16 - 8 * i));
    return bytes == 3;
  }

  const uint8_t* in_;
  const uint8_t* end_;
  uint8_t* out_;
  uint64_t room_;
  uint64_t produced_ = 0;
  bool bad_ = false;
};

}  // namespace

int Base64Encode(const void* data, uint64_t length, char* output, uint64_t output_size,
                 uint64_t* written) {
  if (written == nullptr) return 0;
  if (data == nullptr) {
    *written = 0;
    return 0;
  }
  uint64_t need = EncodedSizeNeeded(length);
  if (output == nullptr || output_size < need) {
    *written = need;
    return 0;
  }
  const auto* in = static_cast<const uint8_t*>(data);
  char* out = output;
  uint64_t i = 0;
  for (; length - i >= 3; i += 3) {
    uint32_t v = uint32_t{in[i]} << 16 | uint32_t{in[i + 1]} << 8 | in[i + 2];
    *out++ = kAlphabet[v >> 18];
    *out++ = kAlphabet[(v >> 12) & 63];
    *out++ = kAlphabet[(v >> 6) & 63];
    *out++ = kAlphabet[v & 63];
  }
  if (uint64_t rest = length - i; rest != 0) {
    uint32_t v = uint32_t{in[i]} << 16 | (rest == 2 ? uint32_t{in[i + 1]} << 8 : 0);
    *out++ = kAlphabet[v >> 18];
    *out++ = kAlphabet[(v >> 12) & 63];
    *out++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    *out++ = '=';
  }
  *out++ = '\0';
  *written = static_cast<uint64_t>(out - output);
  return 1;
}

int Base64Decode(const char* text, uint64_t length, void* output, uint64_t output_size,
                 uint64_t* written) {
  if (text == nullptr || written == nullptr || (output == nullptr && output_size != 0)) return 0;
  uint64_t n = length == kBase64ToNul ? std::strlen(text) : length;
  if (output_size < DecodedUpperBound(n)) {
    uint64_t need = DecodedSizeNeeded(text, n);
    if (output_size < need) {
      *written = need;
      return 0;
    }
  }
  Decoder decoder(reinterpret_cast<const uint8_t*>(text), n, static_cast<uint8_t*>(output),
                  output_size);
  decoder.Run();
  *written = decoder.produced();
  return decoder.bad() ? 0 : 1;
}
