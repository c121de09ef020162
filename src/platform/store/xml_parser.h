#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/store/xml_document.h"

// Depth budget of the store's own files: every nesting level costs one unit and
// an element's content one more, so the root's descendants may nest 498 deep.
inline constexpr uint32_t kXmlDefaultDepth = 500;

// Length value meaning "up to the first NUL".
inline constexpr size_t kXmlTextToNul = static_cast<size_t>(-1);

// Parses UTF-8 text into a document that has no root yet. With copy non-zero
// every value is copied into the document's pool, so the text may go away;
// with copy 0 the document keeps referring to the text. 1 for malformed input
// or a nesting deeper than the budget allows; the document then has no root.
uint32_t MemStoreLoadText(_XML_DOCUMENT* document, const char* text, size_t length, uint32_t copy,
                          uint32_t max_depth);
