#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/store/xml_document.h"

// Attribute codecs: one named attribute of an element as a number, narrow
// (UTF-8) text, bytes or a scrambled password. 0 success, 1 failure.

// Upper-case hexadecimal without leading zeros ("0" for zero).
uint32_t MemStoreSetDword(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                          uint32_t value);
uint32_t MemStoreSetQword(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                          uint64_t value);
// Up to 16 hexadecimal digits (either case; empty reads as 0). The Dword form
// keeps the low 32 bits. Nothing is stored on failure.
uint32_t MemStoreGetDword(const _XML_DOCUMENT* document, const _XML_NODE* element,
                          const wchar_t* name, uint32_t* out);
uint32_t MemStoreGetQword(const _XML_DOCUMENT* document, const _XML_NODE* element,
                          const wchar_t* name, uint64_t* out);

// 1 when the text is not valid UTF-8 (nothing is stored) or memory runs out.
uint32_t MemStoreSetString(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                           const char* text);
// The value as UTF-8 in buffer (cut at a character boundary when it does not
// fit); *size becomes the stored length + 1. Without a buffer *size becomes the
// bytes the whole text needs, NUL included. 1 when the attribute is missing or
// cannot be read or converted (buffer then empty).
uint32_t MemStoreGetString(const _XML_DOCUMENT* document, const _XML_NODE* element,
                           const wchar_t* name, char* buffer, size_t* size);

// Base64 of the bytes; 1 for null bytes or when memory runs out.
uint32_t MemStoreSetBinary(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                           const void* bytes, size_t length);
// Decodes into buffer: 0 and *size = bytes decoded (0 for an empty value); with
// no buffer and *size 0, 0 and *size = bytes needed. 1 when the attribute is
// missing, holds a character outside the alphabet, or the buffer is too small
// (*size = bytes needed).
uint32_t MemStoreGetBinary(const _XML_DOCUMENT* document, const _XML_NODE* element,
                           const wchar_t* name, void* buffer, size_t* size);

// Password form: the UTF-16LE text, scrambled, in base64. 1 when the text is
// not valid UTF-8.
uint32_t MemStoreSetUtf16(_XML_DOCUMENT* document, _XML_NODE* element, const wchar_t* name,
                          const char* text);
// Reads a password value into buffer (capacity *size bytes, NUL included);
// *size becomes the count of UTF-16 units decoded. 1 when the value is missing,
// malformed, longer than *size units, or its text does not fit the buffer.
uint32_t MemStoreGetUtf16(const _XML_DOCUMENT* document, const _XML_NODE* element,
                          const wchar_t* name, char* buffer, size_t* size);

// Typed values: child elements NODE carrying NAME, VALUE and TYPE.
enum MemStoreValueType : uint32_t {
  kMemStoreEmpty = 0,
  kMemStoreDword = 1,
  kMemStoreString = 2,
  kMemStoreBinary = 3,
  kMemStoreSubnode = 4,
  kMemStorePass = 5,
  kMemStoreXml = 6,
  kMemStoreUlonglong = 7,
};

// Names of 64 characters or more are never found.
inline constexpr size_t kMemStoreMaxValueName = 63;
// TYPE attributes longer than this are not a known type.
inline constexpr size_t kMemStoreMaxTypeName = 31;

// The first NODE child whose NAME equals name (both case-insensitive), or null.
[[nodiscard]] _XML_NODE* MemStoreFindNamedNode(const _XML_DOCUMENT* document,
                                               const _XML_NODE* parent, const wchar_t* name);

// Writes a value (creating its NODE with NAME first); data holds a u32 for
// DWORD, a u64 for ULONGLONG, NUL-terminated UTF-8 for STRING and PASS, size
// bytes for BINARY. 1 success, 0 failure (TYPE is still set when the value
// could not be written).
uint32_t MemStoreWriteValue(_XML_DOCUMENT* document, _XML_NODE* parent, const wchar_t* name,
                            uint32_t type, const void* data, size_t size);

// Typed readers: 1 when the value exists with that TYPE and reads, else 0. They
// never convert between types. The sized readers set *size as their codec does,
// and 0 when the value is missing or has another type.
uint32_t MemStoreReadDword(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                           const wchar_t* name, uint32_t* out);
uint32_t MemStoreReadString(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                            const wchar_t* name, char* buffer, size_t* size);
uint32_t MemStoreReadBinary(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                            const wchar_t* name, void* buffer, size_t* size);
uint32_t MemStoreReadPassword(const _XML_DOCUMENT* document, const _XML_NODE* parent,
                              const wchar_t* name, char* buffer, size_t* size);
