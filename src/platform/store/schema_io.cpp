#include "platform/store/schema_io.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "platform/store/typed_values.h"
#include "platform/store/xml_path.h"
#include "platform/util/charset.h"
#include "platform/util/str_substitute.h"
#include "platform/util/strings.h"

namespace {

constexpr size_t kKeyBuffer = kSchemaMaxKey + 1;
// DELETE is read into a two-character buffer: one character and the NUL.
constexpr size_t kDeleteBuffer = 2;

unsigned char* FieldAt(void* record, const SCHEMA_FIELD& field) {
  return static_cast<unsigned char*>(record) + field.offset;
}
const unsigned char* FieldAt(const void* record, const SCHEMA_FIELD& field) {
  return static_cast<const unsigned char*>(record) + field.offset;
}

// The descriptor's key with its tokens replaced, as wide text (empty when it
// has none).
std::wstring PrepareKey(const SCHEMA_FIELD& field, const char* substitutions) {
  char narrow[kKeyBuffer] = {};
  if (field.type == kSchemaPath) {
    if (field.path == nullptr) return {};
    if (WideToMultiByte(field.path, narrow, sizeof(narrow)) == kStrToNul) return {};
  } else {
    if (field.name == nullptr) return {};
    SafeStrCopy(narrow, sizeof(narrow), field.name);
  }
  if (substitutions != nullptr) (void)StrReplaceTokens(narrow, sizeof(narrow), substitutions);
  wchar_t wide[kKeyBuffer] = {};
  if (MultiByteToWide(narrow, wide, kKeyBuffer) == kStrToNul) return {};
  return wide;
}

// An element whose DELETE is not "0" is reached only through a path that
// asks for DELETE=1, and the other way round.
bool DeletionMatches(const _XML_DOCUMENT* document, const _XML_NODE* element,
                     const std::wstring& key) {
  wchar_t mark[kDeleteBuffer] = {L'0', 0};
  size_t size = kDeleteBuffer;
  if (MemStoreGetAttribute(document, element, L"DELETE", mark, &size) != kXmlOk) {
    mark[0] = L'0';
  }
  const bool deleted = mark[0] != L'0';
  const bool wants_deleted = key.find(L"DELETE=1") != std::wstring::npos;
  return deleted == wants_deleted;
}

std::string FixedText(const unsigned char* field, uint64_t size) {
  const auto* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, static_cast<size_t>(size)));
}

void LoadValue(const SCHEMA_FIELD& field, void* record, const std::wstring& key,
               const _XML_DOCUMENT* document, const _XML_NODE* element) {
  unsigned char* target = FieldAt(record, field);
  const auto capacity = static_cast<size_t>(field.size);
  // Reads go to scratch first, so a failed read leaves the field as it was.
  std::vector<char> scratch(capacity);
  size_t size = capacity;
  switch (field.type) {
    case kSchemaDword: {
      uint32_t value = 0;
      if (MemStoreReadDword(document, element, key.c_str(), &value) == 1) {
        std::memcpy(target, &value, sizeof(value));
      }
      return;
    }
    case kSchemaBytes:
      if (MemStoreReadBinary(document, element, key.c_str(), scratch.data(), &size) == 1) {
        std::memcpy(target, scratch.data(), size);
      }
      return;
    case kSchemaText:
      if (MemStoreReadString(document, element, key.c_str(), scratch.data(), &size) == 1) {
        std::memcpy(target, scratch.data(), size);
      }
      return;
    case kSchemaPassword:
      if (MemStoreReadPassword(document, element, key.c_str(), scratch.data(), &size) == 1) {
        std::memcpy(target, scratch.data(), std::strlen(scratch.data()) + 1);
      }
      std::fill(scratch.begin(), scratch.end(), '\0');
      return;
    case kSchemaTextPointer: {
      size = 0;
      if (MemStoreReadString(document, element, key.c_str(), nullptr, &size) != 1 || size == 0) {
        return;
      }
      auto* text = static_cast<char*>(std::malloc(size + 1));
      if (text == nullptr) return;
      size_t read = size + 1;
      if (MemStoreReadString(document, element, key.c_str(), text, &read) != 1) {
        std::free(text);
        return;
      }
      char* previous;
      std::memcpy(&previous, target, sizeof(previous));
      std::free(previous);
      std::memcpy(target, &text, sizeof(text));
      return;
    }
    default:
      return;
  }
}

bool SaveValue(const SCHEMA_FIELD& field, const void* record, const std::wstring& key,
               _XML_DOCUMENT* document, _XML_NODE* element) {
  const unsigned char* source = FieldAt(record, field);
  switch (field.type) {
    case kSchemaDword:
      return MemStoreWriteValue(document, element, key.c_str(), kMemStoreDword, source, 4) == 1;
    case kSchemaBytes:
      return MemStoreWriteValue(document, element, key.c_str(), kMemStoreBinary, source,
                                static_cast<size_t>(field.size)) == 1;
    case kSchemaText:
    case kSchemaPassword: {
      const std::string text = FixedText(source, field.size);
      const uint32_t type = field.type == kSchemaText ? kMemStoreString : kMemStorePass;
      return MemStoreWriteValue(document, element, key.c_str(), type, text.c_str(),
                                text.size() + 1) == 1;
    }
    case kSchemaTextPointer: {
      const char* text;
      std::memcpy(&text, source, sizeof(text));
      if (text == nullptr) text = "";
      return MemStoreWriteValue(document, element, key.c_str(), kMemStoreString, text,
                                std::strlen(text) + 1) == 1;
    }
    default:
      return true;
  }
}

bool IsValueType(uint32_t type) { return type >= kSchemaDword && type <= kSchemaTextPointer; }

uint32_t LoadTable(const SCHEMA_FIELD* table, void* record, const char* substitutions,
                   _XML_DOCUMENT* document, _XML_NODE* start) {
  _XML_NODE* root = MemStoreGetRoot(document);
  _XML_NODE* current = start != nullptr ? start : root;
  if (current == nullptr) return 0;
  uint32_t result = 1;
  for (const SCHEMA_FIELD* field = table; field->type != kSchemaEnd; ++field) {
    const std::wstring key = PrepareKey(*field, substitutions);
    if (field->type == kSchemaPath) {
      if (key.empty()) continue;
      current = MemStoreResolvePath(document, root, key.c_str(), kXmlPathFind, false);
      if (current == nullptr || !DeletionMatches(document, current, key)) return 0;
    } else if (field->type == kSchemaNested) {
      if (field->nested != nullptr && LoadTable(field->nested, FieldAt(record, *field),
                                                substitutions, document, current) != 1) {
        result = 0;
      }
    } else if (IsValueType(field->type) && !key.empty()) {
      LoadValue(*field, record, key, document, current);
    }
  }
  return result;
}

uint32_t SaveTable(const SCHEMA_FIELD* table, const void* record, const char* substitutions,
                   _XML_DOCUMENT* document, _XML_NODE* start, uint32_t write_all) {
  _XML_NODE* root = MemStoreGetRoot(document);
  _XML_NODE* current = start != nullptr ? start : root;
  if (current == nullptr) return 0;
  uint32_t result = 1;
  for (const SCHEMA_FIELD* field = table; field->type != kSchemaEnd; ++field) {
    if ((field->flags & kSchemaWriteAllOnly) != 0 && write_all == 0) continue;
    const std::wstring key = PrepareKey(*field, substitutions);
    if (field->type == kSchemaPath) {
      if (key.empty()) continue;
      current = MemStoreResolvePath(document, root, key.c_str(), kXmlPathFindOrCreate, false);
      if (current == nullptr || !DeletionMatches(document, current, key)) return 0;
    } else if (field->type == kSchemaNested) {
      if (field->nested != nullptr && SaveTable(field->nested, FieldAt(record, *field),
                                                substitutions, document, current, write_all) != 1) {
        result = 0;
      }
    } else if (IsValueType(field->type) && !key.empty()) {
      if (!SaveValue(*field, record, key, document, current)) result = 0;
    }
  }
  return result;
}

void LoadDefault(const SCHEMA_FIELD& field, void* record) {
  unsigned char* target = FieldAt(record, field);
  const auto size = static_cast<size_t>(field.size);
  switch (field.type) {
    case kSchemaNested:
      SchemaLoadDefaults(field.nested, target);
      return;
    case kSchemaDword: {
      const auto value = static_cast<uint32_t>(field.default_number);
      std::memcpy(target, &value, sizeof(value));
      return;
    }
    case kSchemaBytes:
      if (field.default_data != nullptr) {
        std::memcpy(target, field.default_data, size);
      } else {
        std::memset(target, 0, size);
      }
      return;
    case kSchemaText:
    case kSchemaPassword: {
      const auto* text = static_cast<const char*>(field.default_data);
      SafeStrCopy(reinterpret_cast<char*>(target), size, text != nullptr ? text : "");
      return;
    }
    case kSchemaTextPointer: {
      // Meant for fresh records: a previous pointer is not freed.
      const auto* text = static_cast<const char*>(field.default_data);
      char* copy = nullptr;
      if (text != nullptr && *text != 0) copy = strdup(text);
      std::memcpy(target, &copy, sizeof(copy));
      return;
    }
    default:
      return;
  }
}

}  // namespace

void SchemaLoadDefaults(const SCHEMA_FIELD* table, void* record) {
  if (table == nullptr || record == nullptr) return;
  for (const SCHEMA_FIELD* field = table; field->type != kSchemaEnd; ++field) {
    LoadDefault(*field, record);
  }
}

uint32_t SchemaLoad(const SCHEMA_FIELD* table, void* record, const char* substitutions,
                    _XML_DOCUMENT* document, _XML_NODE* start) {
  if (table == nullptr || record == nullptr || document == nullptr) return 0;
  try {
    return LoadTable(table, record, substitutions, document, start);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

uint32_t SchemaSave(const SCHEMA_FIELD* table, const void* record, const char* substitutions,
                    _XML_DOCUMENT* document, _XML_NODE* start, uint32_t write_all) {
  if (table == nullptr || record == nullptr || document == nullptr) return 0;
  try {
    return SaveTable(table, record, substitutions, document, start, write_all);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

void SchemaFreeTexts(const SCHEMA_FIELD* table, void* record) {
  if (table == nullptr || record == nullptr) return;
  for (const SCHEMA_FIELD* field = table; field->type != kSchemaEnd; ++field) {
    if (field->type == kSchemaNested) {
      SchemaFreeTexts(field->nested, FieldAt(record, *field));
    } else if (field->type == kSchemaTextPointer) {
      char* text;
      std::memcpy(&text, FieldAt(record, *field), sizeof(text));
      std::free(text);
      text = nullptr;
      std::memcpy(FieldAt(record, *field), &text, sizeof(text));
    }
  }
}
