#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/store/memory_store.h"

// In-memory XML documents for configuration and state files: a tree of
// element, attribute and text nodes with wide names; values stay in their
// escaped file form (in the document's value pool, or in the text a document
// was parsed from in place) and are decoded only when read.

// Results of the document operations.
inline constexpr uint32_t kXmlOk = 0;
inline constexpr uint32_t kXmlFailure = 1;
inline constexpr uint32_t kXmlTooSmall = 2;  // buffer missing or too small

inline constexpr uint32_t kXmlElement = 5;
inline constexpr uint32_t kXmlAttribute = 6;
inline constexpr uint32_t kXmlText = 9;

inline constexpr uint32_t kXmlSourceText = 0;  // value range lies in the parsed text
inline constexpr uint32_t kXmlSourcePool = 1;  // value range lies in the value pool

// The name field holds 49 characters and the NUL.
inline constexpr size_t kXmlNameSize = 50;
inline constexpr size_t kXmlMaxNameLength = kXmlNameSize - 1;
// Name of every text node.
inline constexpr const wchar_t* kXmlTextNodeName = L"__content__";

// Value pool size at creation; it grows geometrically from there.
inline constexpr size_t kXmlPoolInitialBytes = 4096;
// Blocks in the first chunk of a document's node pool.
inline constexpr uint64_t kXmlNodePoolInitialBlocks = 8;

struct _XML_NODE {
  uint32_t kind;
  wchar_t name[kXmlNameSize];
  uint32_t source;
  uint64_t value_begin;  // [begin, end) of the escaped value in its source
  uint64_t value_end;
  _XML_NODE* first_child;
  _XML_NODE* next_sibling;
  _XML_NODE* parent;
  _XML_NODE* last_child;  // keeps appends constant-time in long child lists
};

struct _XML_DOCUMENT {
  explicit _XML_DOCUMENT(uint32_t ascii) : ascii_output(ascii) {
    pool.reserve(kXmlPoolInitialBytes);
  }
  std::string_view source;  // text parsed in place (not owned)
  std::string pool;         // escaped values; append-only while the document lives
  uint32_t ascii_output;
  _XML_NODE pseudo{};  // its first child is the root element
  CMemoryStoreTemplate<_XML_NODE, CMemoryStoreManager> nodes{kXmlNodePoolInitialBlocks};
};

struct XmlDocumentDeleter {
  void operator()(_XML_DOCUMENT* document) const;
};
using XmlDocumentPtr = std::unique_ptr<_XML_DOCUMENT, XmlDocumentDeleter>;

// A new empty document (no root), or null when memory runs out.
[[nodiscard]] XmlDocumentPtr MemStoreCreate(uint32_t ascii_output);
// Release the document with its nodes and values; 0. Close hands every node
// back to the pool first, Discard drops the pool whole.
uint32_t MemStoreClose(XmlDocumentPtr document);
uint32_t MemStoreDiscard(XmlDocumentPtr document);

[[nodiscard]] _XML_NODE* MemStoreGetRoot(const _XML_DOCUMENT* document);
// Null when the document has a root already, the name is not one the parser
// reads back, or memory runs out.
[[nodiscard]] _XML_NODE* MemStoreCreateRoot(_XML_DOCUMENT* document, const wchar_t* name);
// New element appended as the parent's last child.
[[nodiscard]] _XML_NODE* MemStoreAddChild(_XML_DOCUMENT* document, _XML_NODE* parent,
                                          const wchar_t* name);

// Position of a repeated MemStoreFindChild search.
struct MemStoreCursor {
  _XML_NODE* next = nullptr;  // null: start at the first child
  bool exhausted = false;
};
// Next child element with that name (case-insensitive; with prefix the part of
// the child's name after its first ':' is compared).
[[nodiscard]] _XML_NODE* MemStoreFindChild(_XML_NODE* parent, const wchar_t* name,
                                           MemStoreCursor* cursor, bool prefix);

// Decoded value of any node's range. Without a buffer *size becomes the
// decoded length + 1 (0). With one: the NUL-terminated text, or 1 when it does
// not fit or cannot be decoded.
uint32_t MemStoreReadValue(const _XML_DOCUMENT* document, const _XML_NODE* node, wchar_t* buffer,
                           size_t* size);
// The same for the element's first attribute of that name; 1 when it has none.
uint32_t MemStoreGetAttribute(const _XML_DOCUMENT* document, const _XML_NODE* element,
                              const wchar_t* name, wchar_t* buffer, size_t* size);
// Replaces the value of the first attribute of that name or appends a new
// attribute as the last child. 1 for a name the parser could not read back or
// when memory runs out.
uint32_t MemStoreSetAttribute(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                              const wchar_t* value);
// Removes the node with its subtree.
uint32_t MemStoreRemoveNode(_XML_DOCUMENT* document, _XML_NODE* node);

// Conveniences over the operations above.
[[nodiscard]] bool MemStoreDecodeNode(const _XML_DOCUMENT* document, const _XML_NODE* node,
                                      std::wstring* out);
[[nodiscard]] _XML_NODE* MemStoreFindAttributeNode(const _XML_NODE* element, const wchar_t* name);
[[nodiscard]] _XML_NODE* MemStoreFirstText(const _XML_NODE* element);
// The escaped bytes of a node's value.
[[nodiscard]] std::string_view MemStoreRawValue(const _XML_DOCUMENT* document,
                                                const _XML_NODE* node);
// 1 to 49 name characters (A-Z, a-z, 0-9, '_', '-', ':'): what the parser reads.
[[nodiscard]] bool MemStoreIsValidName(std::wstring_view name);

// Building blocks of the parser and the path resolver.
[[nodiscard]] _XML_NODE* MemStoreNewNode(_XML_DOCUMENT* document, uint32_t kind,
                                         std::wstring_view name);
void MemStoreAppendChild(_XML_NODE* parent, _XML_NODE* child);
// Frees every descendant of node (not node itself).
void MemStoreFreeChildren(_XML_DOCUMENT* document, _XML_NODE* node);
// Appends raw (already escaped) bytes to the pool; false when memory runs out.
[[nodiscard]] bool MemStorePoolAppend(_XML_DOCUMENT* document, std::string_view raw,
                                      uint64_t* begin, uint64_t* end);
