#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "repository/json/json_document.h"
#include "repository/json/json_string.h"

namespace wexajson {

class ValueIterator;

// A handle on one value of a parsed document, sharing ownership of it; or a
// literal that holds its own integer (an array element's number) or text (a
// key). A handle without a node reads as undefined and converts to the
// caller's default. Handles are cheap to copy and may be kept after the parse.
class Value {
 public:
  Value() = default;

  static Value FromKey(const char* key);
  static Value FromString(const std::string& text);

  bool IsBool() const { return TagIs(Tag::kBool); }
  bool IsInt() const { return literal_ == Literal::kInt || TagIs(Tag::kInt); }
  bool IsDouble() const { return TagIs(Tag::kDouble); }
  bool IsString() const { return literal_ == Literal::kString || TagIs(Tag::kString); }
  bool IsArray() const { return TagIs(Tag::kArray); }
  bool IsObject() const { return TagIs(Tag::kObject); }
  bool IsNull() const { return TagIs(Tag::kNull); }
  bool IsUndefined() const;

  // Elements of an array, members of an object, else 0.
  uint32_t Size() const;
  // The element of an array or the value of member number index of an object;
  // otherwise a handle without a node.
  Value At(uint32_t index) const;
  // Of an object: a literal text handle with the key of member number index;
  // of an array: a literal integer handle holding index.
  Value MemberName(uint32_t index) const;
  // The value of the first member with that key (a literal text or a string
  // node); a handle without a node when there is none.
  Value FindMember(const Value& key) const;
  Value FindMember(std::string_view key) const;
  Value operator[](const Value& key) const { return FindMember(key); }
  Value operator[](std::string_view key) const { return FindMember(key); }

  // NUL-terminated text of a string or a literal text; null for other values.
  const char* CStr() const;
  // The whole text (NULs inside included) of a string or a literal text.
  [[nodiscard]] bool Text(std::string_view* text) const;

  bool AsBool(bool fallback) const;
  int64_t AsInt64(int64_t fallback) const;
  int32_t AsInt32(int32_t fallback) const;
  double AsDouble(double fallback) const;
  std::string AsString(const std::string& fallback) const;
  std::wstring AsWString(const std::wstring& fallback) const;

  // The document and the node offset (kNoNode for none), for inspection.
  const Document* GetDocument() const { return document_.get(); }
  uint32_t Offset() const { return offset_; }

 private:
  friend class ValueIterator;
  friend Value RootOf(std::shared_ptr<const Document> document);

  enum class Literal : uint8_t { kNone, kInt, kString };

  Value(std::shared_ptr<const Document> document, uint32_t offset)
      : document_(std::move(document)), offset_(offset) {}

  bool HasNode() const { return offset_ != kNoNode && document_ != nullptr; }
  bool TagIs(Tag tag) const { return HasNode() && NodeTag() == tag; }
  Tag NodeTag() const { return static_cast<Tag>(Node()[0]); }
  const uint8_t* Node() const { return document_->Bytes() + offset_; }
  // Count and table of a container node.
  uint32_t Count() const { return LoadU32(Node() + 1); }
  const uint8_t* Table() const { return Node() + kCountedNodeHeader; }
  Value Child(uint32_t offset) const { return Value(document_, offset); }
  // The integer of an integer node or a literal integer.
  bool Integer(int64_t* value) const;
  Value FindIndexed(std::string_view key, uint32_t members) const;

  std::shared_ptr<const Document> document_;
  uint32_t offset_ = kNoNode;
  Literal literal_ = Literal::kNone;
  int64_t literal_int_ = 0;
  String literal_text_;
};

// A handle on the root node of a complete image.
Value RootOf(std::shared_ptr<const Document> document);

// Walks an array's elements or an object's members in document order. The
// default-constructed iterator is the end.
class ValueIterator {
 public:
  ValueIterator() = default;
  explicit ValueIterator(const Value& container);

  ValueIterator& operator++();
  bool operator==(const ValueIterator& other) const;
  bool operator!=(const ValueIterator& other) const { return !(*this == other); }
  const Value& operator*() const { return current_; }
  const Value* operator->() const { return &current_; }
  // The current member's key (objects only; empty for arrays).
  const String& Key() const { return key_; }

 private:
  void Load();

  Value container_;
  Value current_;
  uint32_t remaining_ = 0;
  const uint8_t* position_ = nullptr;  // next entry of the offset or pair table
  String key_;
};

}  // namespace wexajson
