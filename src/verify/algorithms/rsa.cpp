#include "verify/algorithms/rsa.h"

#include <vector>

namespace {

std::span<const uint8_t> WithoutLeadingZeros(std::span<const uint8_t> bytes) {
  size_t skip = 0;
  while (skip < bytes.size() && bytes[skip] == 0) ++skip;
  return bytes.subspan(skip);
}

uint32_t BitLength(std::span<const uint8_t> significant) {
  if (significant.empty()) return 0;
  return static_cast<uint32_t>(8 * (significant.size() - 1)) +
         (32 - static_cast<uint32_t>(__builtin_clz(significant[0])));
}

}  // namespace

bool CRSA::IsLegalKeySize(uint32_t bits) const {
  return bits >= kRsaMinKeyBits && bits <= kRsaMaxKeyBits && bits % kRsaKeyBitsStep == 0;
}

bool RSAImpl::InitializeKey(uint32_t bits) {
  has_key_ = false;
  if (!SetKeySize(bits)) return false;
  return modulus_.SetBitSize(bits) && exponent_.SetBitSize(bits);
}

bool RSAImpl::ImportNumber(const ByteArray& bytes, uint32_t max_bits, BigInteger& out) {
  std::span<const uint8_t> value = bytes.AsSpan();
  if (value.empty()) return false;
  std::span<const uint8_t> significant = WithoutLeadingZeros(value);
  if (BitLength(significant) > max_bits) return false;
  // A zero value still occupies one byte.
  if (significant.empty()) significant = value.last(1);
  return out.FromBytesBE(significant) && out.GetLimbCount() == modulus_.GetLimbCount();
}

bool RSAImpl::ImportParameters(const RSAParameters& parameters) {
  const uint32_t bits = GetKeySize();
  if (!InitializeKey(bits)) return false;
  const uint32_t exponent_bits = bits > kRsaSmallModulusBits ? kRsaMaxLargeExponentBits : bits;
  if (!ImportNumber(parameters.modulus, bits, modulus_) ||
      !ImportNumber(parameters.exponent, exponent_bits, exponent_)) {
    return false;
  }
  has_key_ = true;
  return true;
}

bool RSAImpl::PublicOperation(std::span<const uint8_t> input, ByteArray& output) {
  if (!has_key_ || input.empty()) return false;
  const uint32_t limbs = modulus_.GetLimbCount();
  std::span<const uint8_t> significant = WithoutLeadingZeros(input);
  if (significant.size() > size_t{limbs} * 8) return false;
  if (significant.empty()) significant = input.last(1);
  BigInteger working;
  if (!working.SetLimbCount(limbs) || !working.FromBytesBE(significant)) return false;
  // RSAVP1 takes only representatives below the modulus; anything else would
  // let s + n pass wherever s does.
  if (BigInteger::Compare(working, modulus_) >= 0) {
    working.Wipe();
    return false;
  }
  BigInteger result;
  bool ok = BigInteger::ModExp(result, working, exponent_, modulus_);
  working.Wipe();
  if (!ok) return false;
  std::vector<uint8_t> bytes(result.GetByteSize());
  return result.ToBytesBE(bytes) && output.Assign(static_cast<int64_t>(bytes.size()), bytes.data());
}

CountedPtr<RSAImpl> CreateRSAImpl() { return MakeCounted<RSAImpl>(); }
