#pragma once

#include <cstdint>
#include <span>

// CRC-32 of ISO 3309 / ITU-T V.42, equal to zlib's crc32(): the CRC of the data
// continued from previous (0 to start); length 0 returns previous unchanged.
[[nodiscard]] uint32_t Crc32(const void* data, uint64_t length, uint32_t previous);

// The reflected byte table of polynomial 0xEDB88320.
[[nodiscard]] std::span<const uint32_t, 256> Crc32Table();

// The byte-wise and slicing-by-8 forms, for tests that check every path against
// the same oracle; Crc32 picks carry-less multiplication where the processor has it.
[[nodiscard]] uint32_t Crc32Bytewise(const void* data, uint64_t length, uint32_t previous);
[[nodiscard]] uint32_t Crc32Sliced(const void* data, uint64_t length, uint32_t previous);
// Only where CpuHasPclmul().
[[nodiscard]] uint32_t Crc32Pclmul(const void* data, uint64_t length, uint32_t previous);
