#pragma once

#include <cstdint>

#include "platform/store/xml_document.h"

// Modes of MemStoreResolvePath.
inline constexpr uint32_t kXmlPathCreate = 1;      // always append a new element
inline constexpr uint32_t kXmlPathCreateAlso = 2;  // the same as 1
inline constexpr uint32_t kXmlPathFind = 3;
inline constexpr uint32_t kXmlPathFindOrCreate = 4;

// Longest component before the last one of a path.
inline constexpr size_t kXmlMaxPathComponent = 511;

// The element a backslash path names, found or created from the start node
// (the root when null; the first component is looked up among its children).
// A component is a name and optional tests ";attr=value", where the value is
// bare, double-quoted, or numeric ("#007" matches 7, 07 or 0007). Null when a
// component is empty or too long, a test has no '=', nothing is found in mode 3,
// or an element cannot be created.
[[nodiscard]] _XML_NODE* MemStoreResolvePath(_XML_DOCUMENT* document, _XML_NODE* start,
                                             const wchar_t* path, uint32_t mode, bool prefix);
