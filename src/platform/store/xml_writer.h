#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/store/xml_document.h"

// Serialises the declaration and the node's subtree (only the declaration for
// a null node) with one space of indent per level. False when a stored value
// cannot be decoded or a character cannot be written; out then holds the text
// up to that point.
[[nodiscard]] bool MemStoreSerialize(const _XML_DOCUMENT* document, const _XML_NODE* node,
                                     std::string* out);

// Receives serialised text piece by piece; false stops the serialisation.
using XmlTextSink = std::function<bool(std::string_view)>;

// MemStoreSerialize handing the text to sink in pieces as it is produced, so
// that it is never held whole; also false when the sink refuses a piece.
// What was produced before a failure is handed on.
[[nodiscard]] bool MemStoreSerializeTo(const _XML_DOCUMENT* document, const _XML_NODE* node,
                                       const XmlTextSink& sink);

// MemStoreSerialize into an empty string sized first by a counting pass, so
// that a large document's text takes its own size and no more (what a save
// holds before the disk).
[[nodiscard]] bool MemStoreSerializeSized(const _XML_DOCUMENT* document, const _XML_NODE* node,
                                          std::string* out);

// Serialises into buffer (capacity *size bytes, the NUL included). 0 done and
// *size = text length + 1; 1 when a value cannot be decoded or a character
// cannot be written; 2 when the buffer is missing or too small, with *size set
// to the bytes needed.
uint32_t MemStoreWriteToBuffer(const _XML_DOCUMENT* document, const _XML_NODE* node, char* buffer,
                               size_t* size);
