#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/store/xml_document.h"
#include "platform/store/xml_parser.h"
#include "platform/store/xml_writer.h"

namespace upd::test {

// Parses text into a fresh document; null when the store refuses it.
inline XmlDocumentPtr ParseXml(std::string_view text, uint32_t depth = kXmlDefaultDepth,
                               uint32_t ascii = 0) {
  XmlDocumentPtr document = MemStoreCreate(ascii);
  if (MemStoreLoadText(document.get(), text.data(), text.size(), 1, depth) != kXmlOk) return {};
  return document;
}

// The document as the store writes it; "<failed>" when serialisation fails.
inline std::string Serialized(const _XML_DOCUMENT* document) {
  std::string text;
  if (!MemStoreSerialize(document, MemStoreGetRoot(document), &text)) return "<failed>";
  return text;
}

inline std::string WithDeclaration(std::string_view body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n" + std::string(body);
}

// Decoded attribute value, or "<missing>" when it cannot be read.
inline std::wstring AttributeOf(const _XML_DOCUMENT* document, const _XML_NODE* element,
                                const wchar_t* name) {
  std::wstring value;
  const _XML_NODE* attribute = MemStoreFindAttributeNode(element, name);
  if (attribute == nullptr || !MemStoreDecodeNode(document, attribute, &value)) {
    return L"<missing>";
  }
  return value;
}

// Names of a node's children in list order.
inline std::vector<std::string> ChildNames(const _XML_NODE* node) {
  std::vector<std::string> names;
  for (const _XML_NODE* n = MemStoreFirstChild(node); n != nullptr; n = MemStoreNextSibling(n)) {
    names.emplace_back(MemStoreNodeName(n));
  }
  return names;
}

// N elements nested inside each other, the root counted.
inline std::string Nested(size_t levels, bool declaration = false) {
  std::string text = declaration ? "<?xml version=\"1.0\"?>\n" : "";
  for (size_t i = 0; i < levels; ++i) text += "<E>";
  for (size_t i = 0; i < levels; ++i) text += "</E>";
  return text;
}

}  // namespace upd::test
