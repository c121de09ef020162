#pragma once

#include <cstdint>

// Identifier octets of the ASN.1 types the DER readers meet.

inline constexpr uint8_t kAsn1Boolean = 0x01;
inline constexpr uint8_t kAsn1Integer = 0x02;
inline constexpr uint8_t kAsn1BitString = 0x03;
inline constexpr uint8_t kAsn1OctetString = 0x04;
inline constexpr uint8_t kAsn1Null = 0x05;
inline constexpr uint8_t kAsn1Oid = 0x06;
inline constexpr uint8_t kAsn1TeletexString = 0x14;
inline constexpr uint8_t kAsn1UtcTime = 0x17;
inline constexpr uint8_t kAsn1GeneralizedTime = 0x18;
inline constexpr uint8_t kAsn1BmpString = 0x1E;

// The constructed bit of an identifier octet.
inline constexpr uint8_t kAsn1Constructed = 0x20;
inline constexpr uint8_t kAsn1Sequence = 0x30;
inline constexpr uint8_t kAsn1Set = 0x31;

// Context-specific [n]: constructed (EXPLICIT, or IMPLICIT over a constructed
// type), and primitive (IMPLICIT over a primitive type).
constexpr uint8_t Asn1ContextTag(uint8_t n) { return 0xA0 | n; }
constexpr uint8_t Asn1ContextPrimitiveTag(uint8_t n) { return 0x80 | n; }
