#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/store/xml_document.h"

// Depth budget of the store's own files: every nesting level costs one unit and
// an element's content one more, so the root's descendants may nest 498 deep.
inline constexpr uint32_t kXmlDefaultDepth = 500;

// Length value meaning "up to the first NUL".
inline constexpr size_t kXmlTextToNul = static_cast<size_t>(-1);

// Parses UTF-8 text into a document that has no root yet. With copy non-zero
// the document keeps its own copy of the text as the start of its value pool
// (names and values refer into it), so the caller's text may go away; with
// copy 0 the document keeps referring to the caller's text. 1 for malformed
// input or a nesting deeper than the budget allows; the document then has no
// root.
uint32_t MemStoreLoadText(_XML_DOCUMENT* document, const char* text, size_t length, uint32_t copy,
                          uint32_t max_depth);

// MemStoreLoadText with copy 1 for a text the document takes over instead of
// copying.
uint32_t MemStoreAdoptText(_XML_DOCUMENT* document, std::string text, uint32_t max_depth);
