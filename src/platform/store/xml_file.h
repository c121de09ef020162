#pragma once

#include <cstdint>

#include "platform/store/xml_document.h"

// Largest file the store loads: its own state files are far smaller, and the
// whole text is held in memory while it is parsed.
inline constexpr uint64_t kXmlMaxFileBytes = uint64_t{256} << 20;

// Reads the whole file (it must not be empty) and parses it with copied values
// into a new document stored in *out. 1 on any failure; when only the parse
// failed *out holds the new rootless document, which the caller releases.
uint32_t MemStoreLoadFile(XmlDocumentPtr* out, const char* path, uint32_t max_depth);

// Writes the declaration and the node's subtree to path. The text goes to a
// temporary file beside the target, is flushed to disk and renamed over the
// target, so a full disk or a crash leaves the old file whole; a failed write,
// flush, close or rename is reported as 1. Targets that cannot be renamed over
// ("/dev/fd/N", devices, pipes) are written in place.
uint32_t MemStoreSaveFile(const _XML_DOCUMENT* document, const _XML_NODE* node, const char* path);
