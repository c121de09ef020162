#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/store/xml_document.h"

// Reads and writes a plain record as typed values of an XML document, driven
// by a constant table of field descriptors ended by kSchemaEnd.

enum SchemaFieldType : uint32_t {
  kSchemaPath = 0,         // path: the element the fields after it live in
  kSchemaNested = 1,       // nested record described by its own table
  kSchemaDword = 2,        // u32
  kSchemaBytes = 3,        // size bytes
  kSchemaText = 4,         // char[size] holding NUL-terminated UTF-8
  kSchemaPassword = 5,     // char[size], stored as a PASS value
  kSchemaTextPointer = 6,  // char* owned by the record (std::malloc'd text or null)
  kSchemaEnd = 0xFFFFFFFF,
};

// A field with this flag is saved only when all fields are asked for.
inline constexpr uint32_t kSchemaWriteAllOnly = 2;

// Keys are cut to this many characters after token substitution.
inline constexpr size_t kSchemaMaxKey = 255;

struct SCHEMA_FIELD {
  uint32_t type;
  const SCHEMA_FIELD* nested;  // kSchemaNested
  size_t offset;               // of the field in the record
  uint64_t size;               // kSchemaBytes, kSchemaText, kSchemaPassword
  uint64_t default_number;     // kSchemaDword
  const void* default_data;    // bytes or text of the other value types; null for none
  const wchar_t* path;         // kSchemaPath: a path of the XML store
  const char* name;            // value fields: the value's name
  uint32_t flags;
};

// Fills every field from its default; nothing when either argument is null.
void SchemaLoadDefaults(const SCHEMA_FIELD* table, void* record);

// Loads the fields found under their elements; fields not found keep their
// values. Keys may hold tokens of the substitution list "name=value|...".
// 1 success, 0 failure (a path not found, or an element marked deleted).
uint32_t SchemaLoad(const SCHEMA_FIELD* table, void* record, const char* substitutions,
                    _XML_DOCUMENT* document, _XML_NODE* start);

// Saves the fields, creating the elements their paths name. The document is
// not written to a file. 1 success, 0 failure.
uint32_t SchemaSave(const SCHEMA_FIELD* table, const void* record, const char* substitutions,
                    _XML_DOCUMENT* document, _XML_NODE* start, uint32_t write_all);

// Frees the text-pointer fields of a record and sets them to null.
void SchemaFreeTexts(const SCHEMA_FIELD* table, void* record);
