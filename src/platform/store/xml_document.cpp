#include "platform/store/xml_document.h"

#include <memory>
#include <new>

#include "platform/store/xml_chars.h"

void XmlDocumentDeleter::operator()(_XML_DOCUMENT* document) const { delete document; }

XmlDocumentPtr MemStoreCreate(uint32_t ascii_output) {
  try {
    return XmlDocumentPtr(new _XML_DOCUMENT(ascii_output));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

uint32_t MemStoreClose(XmlDocumentPtr document) {
  if (document != nullptr) {
    MemStoreFreeChildren(document.get(), &document->pseudo);
  }
  return kXmlOk;
}

uint32_t MemStoreDiscard(XmlDocumentPtr document) {
  document.reset();
  return kXmlOk;
}

bool MemStoreIsValidName(std::wstring_view name) {
  if (name.empty() || name.size() > kXmlMaxNameLength) return false;
  for (wchar_t c : name) {
    if (!XmlIsNameChar(static_cast<uint32_t>(c))) return false;
  }
  return true;
}

namespace {

uint32_t AsciiFold(uint32_t c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

}  // namespace

bool MemStoreNameMatches(const _XML_NODE* node, std::wstring_view name, bool prefix) {
  std::string_view own = MemStoreNodeName(node);
  if (prefix) {
    const size_t colon = own.find(':');
    if (colon != std::string_view::npos) own.remove_prefix(colon + 1);
  }
  if (own.size() != name.size()) return false;
  for (size_t i = 0; i < own.size(); ++i) {
    if (AsciiFold(static_cast<uint8_t>(own[i])) != AsciiFold(static_cast<uint32_t>(name[i]))) {
      return false;
    }
  }
  return true;
}

_XML_NODE* MemStoreNewNodeNamed(_XML_DOCUMENT* document, uint32_t kind, std::string_view name) {
  _XML_NODE* node = document->nodes.Alloc();
  if (node == nullptr) return nullptr;
  *node = _XML_NODE{};
  node->kind = static_cast<uint8_t>(kind);
  node->name = name.data();
  node->name_length = static_cast<uint8_t>(name.size());
  node->source = kXmlSourcePool;
  if (MemStoreHoldsValue(node)) node->value_begin = 0;
  return node;
}

_XML_NODE* MemStoreNewNode(_XML_DOCUMENT* document, uint32_t kind, std::wstring_view name) {
  if (!MemStoreIsValidName(name)) return nullptr;
  char ascii[kXmlMaxNameLength];
  for (size_t i = 0; i < name.size(); ++i) ascii[i] = static_cast<char>(name[i]);
  const char* kept = document->names.Intern(std::string_view(ascii, name.size()));
  if (kept == nullptr) return nullptr;
  return MemStoreNewNodeNamed(document, kind, std::string_view(kept, name.size()));
}

void MemStoreAppendChild(_XML_NODE* parent, _XML_NODE* child) {
  child->parent = parent;
  if (parent->last_child == nullptr) {
    child->next_sibling = child;
  } else {
    child->next_sibling = parent->last_child->next_sibling;
    parent->last_child->next_sibling = child;
  }
  parent->last_child = child;
}

void MemStoreFreeChildren(_XML_DOCUMENT* document, _XML_NODE* node) {
  if (MemStoreHoldsValue(node)) return;
  // Iterative post-order walk: hostile or API-built trees may be far deeper
  // than the stack allows.
  _XML_NODE* current = MemStoreFirstChild(node);
  while (current != nullptr) {
    _XML_NODE* first = MemStoreFirstChild(current);
    if (first != nullptr) {
      current = first;
      continue;
    }
    _XML_NODE* parent = current->parent;
    _XML_NODE* next = MemStoreNextSibling(current);
    document->nodes.Free(current);
    if (next != nullptr) {
      current = next;
      continue;
    }
    parent->last_child = nullptr;
    current = parent == node ? nullptr : parent;
  }
  node->last_child = nullptr;
}

bool MemStoreSetPoolValue(_XML_DOCUMENT* document, _XML_NODE* node, std::string_view raw) {
  uint64_t begin = 0;
  if (raw.size() > kXmlMaxValueBytes || !document->pool.Append(raw, &begin)) return false;
  node->source = kXmlSourcePool;
  node->value_begin = begin;
  node->value_length = static_cast<uint32_t>(raw.size());
  return true;
}

_XML_NODE* MemStoreGetRoot(const _XML_DOCUMENT* document) {
  return document == nullptr ? nullptr : MemStoreFirstChild(&document->pseudo);
}

_XML_NODE* MemStoreCreateRoot(_XML_DOCUMENT* document, const wchar_t* name) {
  if (document == nullptr || name == nullptr || document->pseudo.last_child != nullptr) {
    return nullptr;
  }
  _XML_NODE* root = MemStoreNewNode(document, kXmlElement, name);
  if (root == nullptr) return nullptr;
  MemStoreAppendChild(&document->pseudo, root);
  return root;
}

_XML_NODE* MemStoreAddChild(_XML_DOCUMENT* document, _XML_NODE* parent, const wchar_t* name) {
  if (document == nullptr || parent == nullptr || name == nullptr) return nullptr;
  if (parent->kind != kXmlElement) return nullptr;
  _XML_NODE* child = MemStoreNewNode(document, kXmlElement, name);
  if (child == nullptr) return nullptr;
  MemStoreAppendChild(parent, child);
  return child;
}

_XML_NODE* MemStoreFindChild(const _XML_NODE* parent, const wchar_t* name, MemStoreCursor* cursor,
                             bool prefix) {
  if (parent == nullptr || name == nullptr) return nullptr;
  MemStoreCursor local;
  MemStoreCursor* position = cursor != nullptr ? cursor : &local;
  if (position->exhausted) return nullptr;
  const std::wstring_view wanted(name);
  _XML_NODE* node = position->next != nullptr ? position->next : MemStoreFirstChild(parent);
  while (node != nullptr) {
    _XML_NODE* next = MemStoreNextSibling(node);
    position->next = next;
    position->exhausted = next == nullptr;
    if (node->kind == kXmlElement && MemStoreNameMatches(node, wanted, prefix)) return node;
    node = next;
  }
  position->exhausted = true;
  return nullptr;
}

std::string_view MemStoreRawValue(const _XML_DOCUMENT* document, const _XML_NODE* node) {
  if (!MemStoreHoldsValue(node)) return {};
  if (node->source == kXmlSourcePool)
    return document->pool.Range(node->value_begin, node->value_length);
  const std::string_view text = document->source;
  if (node->value_begin > text.size() || node->value_length > text.size() - node->value_begin) {
    return {};
  }
  return text.substr(node->value_begin, node->value_length);
}

bool MemStoreDecodeNode(const _XML_DOCUMENT* document, const _XML_NODE* node, std::wstring* out) {
  if (document == nullptr || node == nullptr) return false;
  try {
    return XmlDecodeValue(MemStoreRawValue(document, node), out);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

uint32_t MemStoreReadValue(const _XML_DOCUMENT* document, const _XML_NODE* node, wchar_t* buffer,
                           size_t* size) {
  if (size == nullptr) return kXmlFailure;
  std::wstring value;
  if (!MemStoreDecodeNode(document, node, &value)) return kXmlFailure;
  if (buffer == nullptr) {
    *size = value.size() + 1;
    return kXmlOk;
  }
  if (value.size() + 1 > *size) return kXmlFailure;
  value.copy(buffer, value.size());
  buffer[value.size()] = 0;
  return kXmlOk;
}

_XML_NODE* MemStoreFindAttributeNode(const _XML_NODE* element, const wchar_t* name) {
  if (element == nullptr || name == nullptr) return nullptr;
  const std::wstring_view wanted(name);
  for (_XML_NODE* node = MemStoreFirstChild(element); node != nullptr;
       node = MemStoreNextSibling(node)) {
    if (node->kind == kXmlAttribute && MemStoreNameMatches(node, wanted, false)) return node;
  }
  return nullptr;
}

_XML_NODE* MemStoreFirstText(const _XML_NODE* element) {
  for (_XML_NODE* node = MemStoreFirstChild(element); node != nullptr;
       node = MemStoreNextSibling(node)) {
    if (node->kind == kXmlText) return node;
  }
  return nullptr;
}

uint32_t MemStoreGetAttribute(const _XML_DOCUMENT* document, const _XML_NODE* element,
                              const wchar_t* name, wchar_t* buffer, size_t* size) {
  const _XML_NODE* attribute = MemStoreFindAttributeNode(element, name);
  if (attribute == nullptr) return kXmlFailure;
  return MemStoreReadValue(document, attribute, buffer, size);
}

uint32_t MemStoreSetAttribute(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                              const wchar_t* value) {
  if (document == nullptr || element == nullptr || name == nullptr || value == nullptr) {
    return kXmlFailure;
  }
  if (element->kind != kXmlElement || !MemStoreIsValidName(name)) return kXmlFailure;
  std::string escaped;
  try {
    if (!XmlAppendEscaped(&escaped, value, document->ascii_output != 0)) return kXmlFailure;
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
  _XML_NODE* attribute = MemStoreFindAttributeNode(element, name);
  if (attribute != nullptr) {
    return MemStoreSetPoolValue(document, attribute, escaped) ? kXmlOk : kXmlFailure;
  }
  attribute = MemStoreNewNode(document, kXmlAttribute, name);
  if (attribute == nullptr) return kXmlFailure;
  if (!MemStoreSetPoolValue(document, attribute, escaped)) {
    document->nodes.Free(attribute);
    return kXmlFailure;
  }
  MemStoreAppendChild(element, attribute);
  return kXmlOk;
}

namespace {

// The node before `node` in its parent's circular list; null when the list
// does not hold it.
_XML_NODE* PreviousInList(const _XML_NODE* parent, const _XML_NODE* node) {
  _XML_NODE* last = parent->last_child;
  if (last == nullptr) return nullptr;
  _XML_NODE* previous = last;
  do {
    if (previous->next_sibling == node) return previous;
    previous = previous->next_sibling;
  } while (previous != last);
  return nullptr;
}

}  // namespace

uint32_t MemStoreRemoveNode(_XML_DOCUMENT* document, _XML_NODE* node) {
  if (document == nullptr || node == nullptr || node == &document->pseudo) return kXmlFailure;
  MemStoreFreeChildren(document, node);
  _XML_NODE* parent = node->parent;
  if (parent == nullptr || MemStoreHoldsValue(parent)) return kXmlFailure;
  _XML_NODE* previous = PreviousInList(parent, node);
  if (previous == nullptr) return kXmlFailure;
  if (parent->last_child == node) parent->last_child = previous == node ? nullptr : previous;
  previous->next_sibling = node->next_sibling;
  document->nodes.Free(node);
  return kXmlOk;
}
