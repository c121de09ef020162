#pragma once

#include <cstdint>

// Folds length bytes (a multiple of 16, at least 64) into the running,
// complemented CRC value with carry-less multiplication. Only where
// CpuHasPclmul().
[[nodiscard]] uint32_t Crc32FoldBlocks(const uint8_t* data, uint64_t length, uint32_t crc);
