#pragma once

#include <cstdint>

#include "verify/x509/x509_extension.h"

// "2.5.29.15": the key usage bits, first bit octet in the high byte.
class KeyUsageExtension : public X509Extension {
 public:
  static constexpr const char* kOid = "2.5.29.15";
  static constexpr uint16_t kDigitalSignature = 0x8000;
  static constexpr uint16_t kNonRepudiation = 0x4000;
  static constexpr uint16_t kKeyEncipherment = 0x2000;
  static constexpr uint16_t kDataEncipherment = 0x1000;
  static constexpr uint16_t kKeyAgreement = 0x0800;
  static constexpr uint16_t kKeyCertSign = 0x0400;
  static constexpr uint16_t kCrlSign = 0x0200;
  static constexpr uint16_t kEncipherOnly = 0x0100;
  static constexpr uint16_t kDecipherOnly = 0x0080;

  // Does not decode: the caller runs Decode.
  explicit KeyUsageExtension(const X509Extension& generic);

  [[nodiscard]] int Decode() override;
  uint16_t GetBits() const { return bits_; }

 private:
  uint16_t bits_ = 0;
};
