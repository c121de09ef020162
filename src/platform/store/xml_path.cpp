#include "platform/store/xml_path.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct AttributeTest {
  std::wstring name;
  std::wstring value;
  bool numeric = false;
};

struct Component {
  std::wstring name;
  std::vector<AttributeTest> tests;
  bool malformed = false;  // a test without '=' follows the tests above
};

std::wstring_view StripLeadingZeros(std::wstring_view value) {
  while (value.size() > 1 && value.front() == L'0') value.remove_prefix(1);
  return value;
}

// Cuts at '\' outside double-quoted runs.
bool SplitPath(std::wstring_view path, std::vector<std::wstring_view>* parts) {
  size_t start = 0;
  size_t i = 0;
  while (i <= path.size()) {
    if (i < path.size() && path[i] == L'"') {
      const size_t close = path.find(L'"', i + 1);
      i = close == std::wstring_view::npos ? path.size() : close + 1;
      continue;
    }
    if (i == path.size() || path[i] == L'\\') {
      parts->push_back(path.substr(start, i - start));
      start = i + 1;
    }
    ++i;
  }
  for (size_t n = 0; n < parts->size(); ++n) {
    const bool last = n + 1 == parts->size();
    if ((*parts)[n].empty()) return false;
    if (!last && (*parts)[n].size() > kXmlMaxPathComponent) return false;
  }
  return true;
}

std::wstring_view TakeUntilSemicolon(std::wstring_view text, size_t* pos) {
  const size_t end = std::min(text.find(L';', *pos), text.size());
  std::wstring_view value = text.substr(*pos, end - *pos);
  *pos = end;
  return value;
}

Component ParseComponent(std::wstring_view text) {
  Component component;
  size_t pos = 0;
  component.name = std::wstring(TakeUntilSemicolon(text, &pos));
  while (pos < text.size()) {
    ++pos;  // the ';'
    const size_t equals = text.find(L'=', pos);
    const size_t semicolon = text.find(L';', pos);
    if (equals == std::wstring_view::npos || equals > semicolon) {
      component.malformed = true;
      return component;
    }
    AttributeTest test;
    test.name = std::wstring(text.substr(pos, equals - pos));
    pos = equals + 1;
    if (pos < text.size() && text[pos] == L'"') {
      const size_t close = text.find(L'"', pos + 1);
      if (close != std::wstring_view::npos &&
          (close + 1 == text.size() || text[close + 1] == L';')) {
        test.value = std::wstring(text.substr(pos + 1, close - pos - 1));
        pos = close + 1;
      } else {
        test.value = std::wstring(TakeUntilSemicolon(text, &pos));
      }
    } else if (pos < text.size() && text[pos] == L'#') {
      ++pos;
      test.value = std::wstring(StripLeadingZeros(TakeUntilSemicolon(text, &pos)));
      test.numeric = true;
    } else {
      test.value = std::wstring(TakeUntilSemicolon(text, &pos));
    }
    component.tests.push_back(std::move(test));
  }
  return component;
}

bool TestsMatch(const _XML_DOCUMENT* document, const _XML_NODE* element,
                const std::vector<AttributeTest>& tests) {
  std::wstring value;
  for (const AttributeTest& test : tests) {
    const _XML_NODE* attribute = MemStoreFindAttributeNode(element, test.name.c_str());
    if (attribute == nullptr || !MemStoreDecodeNode(document, attribute, &value)) return false;
    const std::wstring compared(test.numeric ? StripLeadingZeros(value) : value);
    if (wcscasecmp(compared.c_str(), test.value.c_str()) != 0) return false;
  }
  return true;
}

_XML_NODE* Find(const _XML_DOCUMENT* document, _XML_NODE* parent, const Component& component,
                bool prefix) {
  for (_XML_NODE* child = MemStoreFirstChild(parent); child != nullptr;
       child = MemStoreNextSibling(child)) {
    if (child->kind == kXmlElement && MemStoreNameMatches(child, component.name, prefix) &&
        TestsMatch(document, child, component.tests)) {
      return child;
    }
  }
  return nullptr;
}

_XML_NODE* Create(_XML_DOCUMENT* document, _XML_NODE* parent, const Component& component) {
  _XML_NODE* element = MemStoreAddChild(document, parent, component.name.c_str());
  if (element == nullptr) return nullptr;
  for (const AttributeTest& test : component.tests) {
    if (MemStoreSetAttribute(document, element, test.name.c_str(), test.value.c_str()) != kXmlOk) {
      return nullptr;
    }
  }
  return component.malformed ? nullptr : element;
}

_XML_NODE* ResolveComponent(_XML_DOCUMENT* document, _XML_NODE* parent, const Component& component,
                            uint32_t mode, bool prefix) {
  switch (mode) {
    case kXmlPathFind:
      return component.malformed ? nullptr : Find(document, parent, component, prefix);
    case kXmlPathFindOrCreate: {
      _XML_NODE* found = component.malformed ? nullptr : Find(document, parent, component, false);
      return found != nullptr ? found : Create(document, parent, component);
    }
    case kXmlPathCreate:
    case kXmlPathCreateAlso:
      return Create(document, parent, component);
    default:
      return nullptr;
  }
}

}  // namespace

_XML_NODE* MemStoreResolvePath(_XML_DOCUMENT* document, _XML_NODE* start, const wchar_t* path,
                               uint32_t mode, bool prefix) {
  if (document == nullptr || path == nullptr) return nullptr;
  if (mode < kXmlPathCreate || mode > kXmlPathFindOrCreate) return nullptr;
  _XML_NODE* node = start != nullptr ? start : MemStoreGetRoot(document);
  if (node == nullptr) return nullptr;
  try {
    std::vector<std::wstring_view> parts;
    if (!SplitPath(path, &parts)) return nullptr;
    for (std::wstring_view part : parts) {
      node = ResolveComponent(document, node, ParseComponent(part), mode, prefix);
      if (node == nullptr) return nullptr;
    }
    return node;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
