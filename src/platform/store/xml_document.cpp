#include "platform/store/xml_document.h"

#include <cwchar>
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

_XML_NODE* MemStoreNewNode(_XML_DOCUMENT* document, uint32_t kind, std::wstring_view name) {
  if (name.size() > kXmlMaxNameLength) return nullptr;
  _XML_NODE* node = document->nodes.Alloc();
  if (node == nullptr) return nullptr;
  *node = _XML_NODE{};
  node->kind = kind;
  name.copy(node->name, name.size());
  node->name[name.size()] = 0;
  node->source = kXmlSourcePool;
  return node;
}

void MemStoreAppendChild(_XML_NODE* parent, _XML_NODE* child) {
  child->parent = parent;
  child->next_sibling = nullptr;
  if (parent->first_child == nullptr) {
    parent->first_child = child;
  } else {
    parent->last_child->next_sibling = child;
  }
  parent->last_child = child;
}

void MemStoreFreeChildren(_XML_DOCUMENT* document, _XML_NODE* node) {
  // Iterative post-order walk: hostile or API-built trees may be far deeper
  // than the stack allows.
  _XML_NODE* current = node->first_child;
  while (current != nullptr) {
    if (current->first_child != nullptr) {
      current = current->first_child;
      continue;
    }
    _XML_NODE* next = current->next_sibling;
    _XML_NODE* parent = current->parent;
    document->nodes.Free(current);
    if (next != nullptr) {
      current = next;
      continue;
    }
    parent->first_child = nullptr;
    parent->last_child = nullptr;
    current = parent == node ? nullptr : parent;
  }
  node->first_child = nullptr;
  node->last_child = nullptr;
}

bool MemStorePoolAppend(_XML_DOCUMENT* document, std::string_view raw, uint64_t* begin,
                        uint64_t* end) {
  try {
    *begin = document->pool.size();
    document->pool.append(raw);
    *end = document->pool.size();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

_XML_NODE* MemStoreGetRoot(const _XML_DOCUMENT* document) {
  return document == nullptr ? nullptr : document->pseudo.first_child;
}

_XML_NODE* MemStoreCreateRoot(_XML_DOCUMENT* document, const wchar_t* name) {
  if (document == nullptr || name == nullptr || document->pseudo.first_child != nullptr) {
    return nullptr;
  }
  if (!MemStoreIsValidName(name)) return nullptr;
  _XML_NODE* root = MemStoreNewNode(document, kXmlElement, name);
  if (root == nullptr) return nullptr;
  MemStoreAppendChild(&document->pseudo, root);
  return root;
}

_XML_NODE* MemStoreAddChild(_XML_DOCUMENT* document, _XML_NODE* parent, const wchar_t* name) {
  if (document == nullptr || parent == nullptr || name == nullptr) return nullptr;
  if (parent->kind != kXmlElement || !MemStoreIsValidName(name)) return nullptr;
  _XML_NODE* child = MemStoreNewNode(document, kXmlElement, name);
  if (child == nullptr) return nullptr;
  MemStoreAppendChild(parent, child);
  return child;
}

namespace {

bool NameMatches(const _XML_NODE* node, const wchar_t* name, bool prefix) {
  const wchar_t* own = node->name;
  if (prefix) {
    const wchar_t* colon = std::wcschr(own, L':');
    if (colon != nullptr) own = colon + 1;
  }
  return wcscasecmp(own, name) == 0;
}

}  // namespace

_XML_NODE* MemStoreFindChild(_XML_NODE* parent, const wchar_t* name, MemStoreCursor* cursor,
                             bool prefix) {
  if (parent == nullptr || name == nullptr) return nullptr;
  MemStoreCursor local;
  MemStoreCursor* position = cursor != nullptr ? cursor : &local;
  if (position->exhausted) return nullptr;
  _XML_NODE* node = position->next != nullptr ? position->next : parent->first_child;
  while (node != nullptr) {
    _XML_NODE* next = node->next_sibling;
    position->next = next;
    position->exhausted = next == nullptr;
    if (node->kind == kXmlElement && NameMatches(node, name, prefix)) return node;
    node = next;
  }
  position->exhausted = true;
  return nullptr;
}

std::string_view MemStoreRawValue(const _XML_DOCUMENT* document, const _XML_NODE* node) {
  const std::string_view stream =
      node->source == kXmlSourceText ? document->source : std::string_view(document->pool);
  if (node->value_begin > node->value_end || node->value_end > stream.size()) return {};
  return stream.substr(node->value_begin, node->value_end - node->value_begin);
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
  for (_XML_NODE* node = element->first_child; node != nullptr; node = node->next_sibling) {
    if (node->kind == kXmlAttribute && wcscasecmp(node->name, name) == 0) return node;
  }
  return nullptr;
}

_XML_NODE* MemStoreFirstText(const _XML_NODE* element) {
  for (_XML_NODE* node = element->first_child; node != nullptr; node = node->next_sibling) {
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
  uint64_t begin = 0;
  uint64_t end = 0;
  _XML_NODE* attribute = MemStoreFindAttributeNode(element, name);
  if (attribute == nullptr) {
    attribute = MemStoreNewNode(document, kXmlAttribute, name);
    if (attribute == nullptr) return kXmlFailure;
    if (!MemStorePoolAppend(document, escaped, &begin, &end)) {
      document->nodes.Free(attribute);
      return kXmlFailure;
    }
    MemStoreAppendChild(element, attribute);
  } else if (!MemStorePoolAppend(document, escaped, &begin, &end)) {
    return kXmlFailure;
  }
  attribute->source = kXmlSourcePool;
  attribute->value_begin = begin;
  attribute->value_end = end;
  return kXmlOk;
}

uint32_t MemStoreRemoveNode(_XML_DOCUMENT* document, _XML_NODE* node) {
  if (document == nullptr || node == nullptr || node == &document->pseudo) return kXmlFailure;
  MemStoreFreeChildren(document, node);
  _XML_NODE* parent = node->parent;
  if (parent == nullptr) return kXmlFailure;
  _XML_NODE* previous = nullptr;
  for (_XML_NODE* child = parent->first_child; child != nullptr; child = child->next_sibling) {
    if (child != node) {
      previous = child;
      continue;
    }
    if (previous == nullptr) {
      parent->first_child = node->next_sibling;
    } else {
      previous->next_sibling = node->next_sibling;
    }
    if (parent->last_child == node) parent->last_child = previous;
    document->nodes.Free(node);
    return kXmlOk;
  }
  return kXmlFailure;
}
