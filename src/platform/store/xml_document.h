#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/store/memory_store.h"
#include "platform/store/xml_storage.h"

// In-memory XML documents for configuration and state files: a tree of
// element, attribute and text nodes with ASCII names; values stay in their
// escaped file form (in the document's value pool, or in the text a document
// was parsed from in place) and are decoded only when read.

// Results of the document operations.
inline constexpr uint32_t kXmlOk = 0;
inline constexpr uint32_t kXmlFailure = 1;
inline constexpr uint32_t kXmlTooSmall = 2;  // buffer missing or too small

inline constexpr uint32_t kXmlElement = 5;
inline constexpr uint32_t kXmlAttribute = 6;
inline constexpr uint32_t kXmlText = 9;
// Kind of the pseudo node above the root: it holds a child list but is no
// element, so nothing can be added to it but the root.
inline constexpr uint32_t kXmlDocumentNode = 0;

inline constexpr uint32_t kXmlSourceText = 0;  // value range lies in the caller's parsed text
inline constexpr uint32_t kXmlSourcePool = 1;  // value range lies in the value pool

// Names hold 1 to 49 characters.
inline constexpr size_t kXmlMaxNameLength = 49;
// Name of every text node.
inline constexpr std::string_view kXmlTextNodeName = "__content__";
// A value's length is kept in 32 bits; the store's files are capped far below.
// A longer value fails the load or the setter like memory running out.
inline constexpr uint64_t kXmlMaxValueBytes = UINT32_MAX;

// Blocks in the first chunk of a document's node pool.
inline constexpr uint64_t kXmlNodePoolInitialBlocks = 8;

// One tree node. A document of empty elements holds one node per four bytes
// of text, so the record is kept small: names and values refer into the
// document's storage, an element's children form a circular list reached
// through its last child (the last child's next_sibling is the first), and the
// value range of attributes and text shares room with that list.
struct _XML_NODE {
  _XML_NODE* parent;
  _XML_NODE* next_sibling;  // circular within the parent's list
  const char* name;         // name_length ASCII bytes, not terminated
  union {
    _XML_NODE* last_child;  // element: null without children
    uint64_t value_begin;   // attribute, text: offset of the escaped value in its source
  };
  uint32_t value_length;
  uint8_t kind;
  uint8_t source;
  uint8_t name_length;
};
static_assert(sizeof(_XML_NODE) <= 40,
              "a node must stay a small multiple of the text it came from");

struct _XML_DOCUMENT {
  explicit _XML_DOCUMENT(uint32_t ascii) : ascii_output(ascii) {}
  std::string_view source;  // text parsed in place (not owned)
  XmlValuePool pool;        // own text and escaped values; only grows while there is a root
  XmlNameStore names;
  uint32_t ascii_output;
  _XML_NODE pseudo{};  // kind kXmlDocumentNode; its only child is the root
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
[[nodiscard]] _XML_NODE* MemStoreFindChild(const _XML_NODE* parent, const wchar_t* name,
                                           MemStoreCursor* cursor, bool prefix);

// Decoded value of any node's range (empty for elements). Without a buffer
// *size becomes the decoded length + 1 (0). With one: the NUL-terminated text,
// or 1 when it does not fit or cannot be decoded.
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

// Attributes and text hold a value; elements and the pseudo node a child list.
[[nodiscard]] inline bool MemStoreHoldsValue(const _XML_NODE* node) {
  return node->kind == kXmlAttribute || node->kind == kXmlText;
}

// Walking the tree: attributes, text and elements share one child list in the
// order they were parsed or added.
[[nodiscard]] inline _XML_NODE* MemStoreFirstChild(const _XML_NODE* node) {
  if (node == nullptr || MemStoreHoldsValue(node) || node->last_child == nullptr) return nullptr;
  return node->last_child->next_sibling;
}
[[nodiscard]] inline _XML_NODE* MemStoreNextSibling(const _XML_NODE* node) {
  if (node == nullptr || node->parent == nullptr || node->parent->last_child == node) {
    return nullptr;
  }
  return node->next_sibling;
}
[[nodiscard]] inline std::string_view MemStoreNodeName(const _XML_NODE* node) {
  return {node->name, node->name_length};
}

// Conveniences over the operations above.
[[nodiscard]] bool MemStoreDecodeNode(const _XML_DOCUMENT* document, const _XML_NODE* node,
                                      std::wstring* out);
[[nodiscard]] _XML_NODE* MemStoreFindAttributeNode(const _XML_NODE* element, const wchar_t* name);
[[nodiscard]] _XML_NODE* MemStoreFirstText(const _XML_NODE* element);
// The escaped bytes of a node's value (empty for elements).
[[nodiscard]] std::string_view MemStoreRawValue(const _XML_DOCUMENT* document,
                                                const _XML_NODE* node);
// 1 to 49 name characters (A-Z, a-z, 0-9, '_', '-', ':'): what the parser reads.
[[nodiscard]] bool MemStoreIsValidName(std::wstring_view name);
// The node's name equals name, ASCII letters compared without case; with
// prefix the part of the node's name after its first ':' is compared.
[[nodiscard]] bool MemStoreNameMatches(const _XML_NODE* node, std::wstring_view name, bool prefix);

// Building blocks of the parser and the path resolver.
// A node with a valid name (kept in the document's name store).
[[nodiscard]] _XML_NODE* MemStoreNewNode(_XML_DOCUMENT* document, uint32_t kind,
                                         std::wstring_view name);
// A node whose name bytes stay valid as long as the document (checked by the
// caller).
[[nodiscard]] _XML_NODE* MemStoreNewNodeNamed(_XML_DOCUMENT* document, uint32_t kind,
                                              std::string_view name);
void MemStoreAppendChild(_XML_NODE* parent, _XML_NODE* child);
// Frees every descendant of node (not node itself).
void MemStoreFreeChildren(_XML_DOCUMENT* document, _XML_NODE* node);
// Points the node at raw (already escaped) bytes appended to the pool; false
// when memory runs out or the value is too long to keep.
[[nodiscard]] bool MemStoreSetPoolValue(_XML_DOCUMENT* document, _XML_NODE* node,
                                        std::string_view raw);
