#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "repository/json/json_value.h"

namespace wexajson {

// The nesting depth the repository code parses its documents with.
inline constexpr uint32_t kDocumentDepth = 500;

// Parses one value at the start of text (length 0: up to the NUL) into a new
// document; depth containers may nest, the next one fails. Text after the
// value is not examined. Every failure (syntax, depth, number range, memory)
// gives a handle without a node.
Value Parse(const char* text, size_t length, uint32_t depth);
Value Parse(std::string_view text, uint32_t depth);

}  // namespace wexajson
