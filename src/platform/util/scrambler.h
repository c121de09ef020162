#pragma once

#include <cstdint>
#include <span>

// Hides short secrets (protected passwords, PASS values of the XML store) from
// plain sight. Not encryption: there is no caller key, and scrambling twice
// restores the input. Each byte is XORed with a key stream that depends only on
// its position, so a range may be done in pieces, each given its own start.
void ScrambleBytes(void* buffer, uint64_t start_offset, uint64_t length);

// The key tables, by index 0..5 (11, 13, 17, 23, 29 and 31 bytes). Values
// stored by this library can be read back only while these stay as they are.
[[nodiscard]] std::span<const uint8_t> ScrambleKeyTable(int index);
