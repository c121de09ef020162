#include "platform/store/typed_values.h"

#include <array>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>

namespace {

constexpr const wchar_t* kNodeElement = L"NODE";
constexpr const wchar_t* kNameAttribute = L"NAME";
constexpr const wchar_t* kValueAttribute = L"VALUE";
constexpr const wchar_t* kTypeAttribute = L"TYPE";

constexpr std::array<const wchar_t*, 8> kTypeNames = {
    L"EMPTY", L"DWORD", L"STRING", L"BINARY", L"SUBNODE", L"PASS", L"XML", L"ULONGLONG"};

// The TYPE of a NODE as a type number; false when missing or unknown (EMPTY is
// never a readable type).
bool ReadType(const _XML_DOCUMENT* document, const _XML_NODE* node, uint32_t* type) {
  wchar_t text[kMemStoreMaxTypeName + 1];
  size_t size = kMemStoreMaxTypeName + 1;
  if (MemStoreGetAttribute(document, node, kTypeAttribute, text, &size) != kXmlOk) return false;
  for (uint32_t t = kMemStoreDword; t < kTypeNames.size(); ++t) {
    if (wcscasecmp(text, kTypeNames[t]) == 0) {
      *type = t;
      return true;
    }
  }
  return false;
}

// The NODE of that name when it holds a value of the wanted type.
const _XML_NODE* FindTyped(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                           const wchar_t* name, uint32_t wanted) {
  const _XML_NODE* node = MemStoreFindNamedNode(document, parent, name);
  uint32_t type = 0;
  if (node == nullptr || !ReadType(document, node, &type) || type != wanted) return nullptr;
  return node;
}

uint32_t WriteByType(_XML_DOCUMENT* document, _XML_NODE* node, uint32_t type, const void* data,
                     size_t size) {
  switch (type) {
    case kMemStoreDword: {
      if (data == nullptr || size < sizeof(uint32_t)) return kXmlFailure;
      uint32_t value;
      std::memcpy(&value, data, sizeof(value));
      return MemStoreSetDword(document, node, kValueAttribute, value);
    }
    case kMemStoreUlonglong: {
      if (data == nullptr || size < sizeof(uint64_t)) return kXmlFailure;
      uint64_t value;
      std::memcpy(&value, data, sizeof(value));
      return MemStoreSetQword(document, node, kValueAttribute, value);
    }
    case kMemStoreString:
      return MemStoreSetString(document, node, kValueAttribute, static_cast<const char*>(data));
    case kMemStoreBinary:
      return MemStoreSetBinary(document, node, kValueAttribute, data, size);
    case kMemStorePass:
      return MemStoreSetUtf16(document, node, kValueAttribute, static_cast<const char*>(data));
    default:
      return kXmlFailure;  // SUBNODE and XML carry no value of their own
  }
}

}  // namespace

_XML_NODE* MemStoreFindNamedNode(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                                 const wchar_t* name) {
  if (document == nullptr || parent == nullptr || name == nullptr) return nullptr;
  if (std::wcslen(name) > kMemStoreMaxValueName) return nullptr;
  wchar_t own[kMemStoreMaxValueName + 1];
  MemStoreCursor cursor;
  while (_XML_NODE* child = MemStoreFindChild(parent, kNodeElement, &cursor, false)) {
    size_t size = kMemStoreMaxValueName + 1;
    if (MemStoreGetAttribute(document, child, kNameAttribute, own, &size) != kXmlOk) continue;
    if (wcscasecmp(own, name) == 0) return child;
  }
  return nullptr;
}

uint32_t MemStoreWriteValue(_XML_DOCUMENT* document, _XML_NODE* parent, const wchar_t* name,
                            uint32_t type, const void* data, size_t size) {
  if (type >= kTypeNames.size() || document == nullptr || parent == nullptr || name == nullptr) {
    return 0;
  }
  bool ok = true;
  _XML_NODE* node = MemStoreFindNamedNode(document, parent, name);
  if (node == nullptr) {
    node = MemStoreAddChild(document, parent, kNodeElement);
    if (node == nullptr) return 0;
    ok = MemStoreSetAttribute(document, node, kNameAttribute, name) == kXmlOk;
  }
  if (type == kMemStoreEmpty) return ok ? 1 : 0;
  if (WriteByType(document, node, type, data, size) != kXmlOk) ok = false;
  if (MemStoreSetAttribute(document, node, kTypeAttribute, kTypeNames[type]) != kXmlOk) return 0;
  return ok ? 1 : 0;
}

uint32_t MemStoreReadDword(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                           const wchar_t* name, uint32_t* out) {
  const _XML_NODE* node = FindTyped(document, parent, name, kMemStoreDword);
  if (node == nullptr) return 0;
  return MemStoreGetDword(document, node, kValueAttribute, out) == kXmlOk ? 1 : 0;
}

uint32_t MemStoreReadString(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                            const wchar_t* name, char* buffer, size_t* size) {
  if (size == nullptr) return 0;
  const _XML_NODE* node = FindTyped(document, parent, name, kMemStoreString);
  if (node == nullptr) {
    *size = 0;
    return 0;
  }
  return MemStoreGetString(document, node, kValueAttribute, buffer, size) == kXmlOk ? 1 : 0;
}

uint32_t MemStoreReadBinary(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                            const wchar_t* name, void* buffer, size_t* size) {
  if (size == nullptr) return 0;
  const _XML_NODE* node = FindTyped(document, parent, name, kMemStoreBinary);
  if (node == nullptr) {
    *size = 0;
    return 0;
  }
  return MemStoreGetBinary(document, node, kValueAttribute, buffer, size) == kXmlOk ? 1 : 0;
}

uint32_t MemStoreReadPassword(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                              const wchar_t* name, char* buffer, size_t* size) {
  if (size == nullptr) return 0;
  const _XML_NODE* node = FindTyped(document, parent, name, kMemStorePass);
  if (node == nullptr) {
    *size = 0;
    return 0;
  }
  return MemStoreGetUtf16(document, node, kValueAttribute, buffer, size) == kXmlOk ? 1 : 0;
}
