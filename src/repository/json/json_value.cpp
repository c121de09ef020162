#include "repository/json/json_value.h"

#include <cstring>

namespace wexajson {

Value RootOf(std::shared_ptr<const Document> document) {
  const uint32_t root = document->Root();
  return Value(std::move(document), root);
}

Value Value::FromKey(const char* key) {
  Value value;
  value.literal_ = Literal::kString;
  value.literal_text_ = String(key);
  return value;
}

Value Value::FromString(const std::string& text) {
  Value value;
  value.literal_ = Literal::kString;
  value.literal_text_ = String(text);
  return value;
}

bool Value::IsUndefined() const {
  if (literal_ != Literal::kNone) return false;
  return !HasNode() || NodeTag() == Tag::kUndefined;
}

uint32_t Value::Size() const {
  if (!IsArray() && !IsObject()) return 0;
  return Count();
}

Value Value::At(uint32_t index) const {
  if (IsArray() && index < Count()) return Child(LoadU32(Table() + 4 * index));
  if (IsObject() && index < Count()) return Child(LoadU32(Table() + kPairSize * index + 4));
  return Child(kNoNode);
}

Value Value::MemberName(uint32_t index) const {
  Value name = Child(kNoNode);
  if (IsArray() && index < Count()) {
    name.literal_ = Literal::kInt;
    name.literal_int_ = index;
  } else if (IsObject() && index < Count()) {
    name.literal_ = Literal::kString;
    name.literal_text_ = String::Shared(
        document_, StringNodeText(document_->Bytes(), LoadU32(Table() + kPairSize * index)));
  }
  return name;
}

Value Value::FindMember(const Value& key) const {
  std::string_view text;
  if (!key.Text(&text)) return Child(kNoNode);
  return FindMember(text);
}

Value Value::FindMember(std::string_view key) const {
  if (!IsObject()) return Child(kNoNode);
  const uint32_t members = Count();
  if (members >= kIndexedMembers) return FindIndexed(key, members);
  const uint8_t* image = document_->Bytes();
  const uint8_t* pair = Table();
  for (uint32_t i = 0; i < members; ++i, pair += kPairSize) {
    if (StringNodeText(image, LoadU32(pair)) == key) {
      return Child(LoadU32(pair + 4));
    }
  }
  return Child(kNoNode);
}

// Lower bound over the index, which orders equal keys by member number, so
// the first of several equal keys is found as in a small object.
Value Value::FindIndexed(std::string_view key, uint32_t members) const {
  const uint8_t* image = document_->Bytes();
  const uint8_t* pairs = Table();
  const uint8_t* index = pairs + static_cast<size_t>(kPairSize) * members;
  const uint32_t width = IndexEntryWidth(members);
  auto member_at = [&](uint32_t slot) -> uint32_t {
    const uint8_t* entry = index + static_cast<size_t>(width) * slot;
    if (width == 1) return entry[0];
    if (width == 2) return static_cast<uint32_t>(entry[0] | entry[1] << 8);
    return LoadU32(entry);
  };
  auto key_of = [&](uint32_t member) {
    return StringNodeText(image, LoadU32(pairs + static_cast<size_t>(kPairSize) * member));
  };
  uint32_t low = 0;
  uint32_t count = members;
  while (count > 0) {
    const uint32_t half = count / 2;
    if (KeyLess(key_of(member_at(low + half)), key)) {
      low += half + 1;
      count -= half + 1;
    } else {
      count = half;
    }
  }
  if (low == members) return Child(kNoNode);
  const uint32_t member = member_at(low);
  if (key_of(member) != key) return Child(kNoNode);
  return Child(LoadU32(pairs + static_cast<size_t>(kPairSize) * member + 4));
}

const char* Value::CStr() const {
  if (literal_ == Literal::kString) return literal_text_.CStr();
  if (!TagIs(Tag::kString)) return nullptr;
  return StringNodeText(document_->Bytes(), offset_).data();
}

bool Value::Text(std::string_view* text) const {
  if (literal_ == Literal::kString) {
    *text = literal_text_.View();
    return true;
  }
  if (!TagIs(Tag::kString)) return false;
  *text = StringNodeText(document_->Bytes(), offset_);
  return true;
}

bool Value::Integer(int64_t* value) const {
  if (literal_ == Literal::kInt) {
    *value = literal_int_;
    return true;
  }
  if (!TagIs(Tag::kInt)) return false;
  *value = LoadI64(Node() + 1);
  return true;
}

ValueIterator::ValueIterator(const Value& container) : container_(container) {
  if (!container.IsArray() && !container.IsObject()) return;
  remaining_ = container.Count();
  position_ = container.Table();
  Load();
}

void ValueIterator::Load() {
  if (remaining_ == 0) {
    current_ = Value();
    key_ = String();
    return;
  }
  if (container_.IsArray()) {
    current_ = container_.Child(LoadU32(position_));
    return;
  }
  current_ = container_.Child(LoadU32(position_ + 4));
  key_ = String::Shared(container_.document_,
                        StringNodeText(container_.document_->Bytes(), LoadU32(position_)));
}

ValueIterator& ValueIterator::operator++() {
  if (remaining_ == 0) return *this;
  --remaining_;
  position_ += container_.IsArray() ? 4 : kPairSize;
  Load();
  return *this;
}

bool ValueIterator::operator==(const ValueIterator& other) const {
  return current_.document_ == other.current_.document_ &&
         current_.offset_ == other.current_.offset_;
}

}  // namespace wexajson
