#include "repository/json/json_parser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <numeric>
#include <string>
#include <vector>

#include "repository/json/json_image_builder.h"
#include "repository/json/json_number.h"

namespace wexajson {
namespace {

enum CharClass : uint8_t {
  kBlank = 1,       // space, tab, line feed, carriage return
  kNumberChar = 2,  // what may follow an integer's digits and make it a double
  kStringStop = 4,  // ends a run of plain string bytes
  kDigit = 8,
};

constexpr std::array<uint8_t, 256> MakeClasses() {
  std::array<uint8_t, 256> classes{};
  for (unsigned char c : {' ', '\t', '\n', '\r'}) classes[c] |= kBlank;
  for (unsigned char c = '0'; c <= '9'; ++c) classes[c] |= kDigit | kNumberChar;
  for (unsigned char c : {'+', '-', '.', 'E', 'e'}) classes[c] |= kNumberChar;
  for (unsigned char c : {'"', '\\', '\0'}) classes[c] |= kStringStop;
  return classes;
}

constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

bool Is(char c, CharClass cls) { return (kClasses[static_cast<unsigned char>(c)] & cls) != 0; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsHighSurrogate(uint32_t code) { return code >= 0xD800 && code <= 0xDBFF; }
bool IsLowSurrogate(uint32_t code) { return code >= 0xDC00 && code <= 0xDFFF; }

// UTF-8 of a code point up to U+10FFFF; a lone surrogate gets the 3-byte form.
size_t EncodeUtf8(uint32_t code, uint8_t* out) {
  if (code < 0x80) {
    out[0] = static_cast<uint8_t>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<uint8_t>(0xC0 | code >> 6);
    out[1] = static_cast<uint8_t>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<uint8_t>(0xE0 | code >> 12);
    out[1] = static_cast<uint8_t>(0x80 | (code >> 6 & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<uint8_t>(0xF0 | code >> 18);
  out[1] = static_cast<uint8_t>(0x80 | (code >> 12 & 0x3F));
  out[2] = static_cast<uint8_t>(0x80 | (code >> 6 & 0x3F));
  out[3] = static_cast<uint8_t>(0x80 | (code & 0x3F));
  return 4;
}

// Copies a number's text for strtod, which needs a terminating NUL that the
// input need not have. Short numbers stay on the stack.
class NumberText {
 public:
  NumberText(const char* text, size_t length) {
    if (length < sizeof small_) {
      std::memcpy(small_, text, length);
      small_[length] = 0;
      text_ = small_;
    } else {
      large_.assign(text, length);
      text_ = large_.c_str();
    }
  }
  const char* CStr() const { return text_; }

 private:
  char small_[64];
  std::string large_;
  const char* text_;
};

// One pass over the text, building the image as values complete. Containers
// are tracked on heap stacks, never by recursion, so the depth a caller allows
// costs no machine stack.
class Parser {
 public:
  Parser(std::string_view text, uint32_t max_depth, CBuffer& image)
      : p_(text.data()), end_(text.data() + text.size()), max_depth_(max_depth), out_(image) {}

  [[nodiscard]] bool Run();

 private:
  enum class Step { kFail, kValue, kOpened };
  struct Open {
    bool object;
    size_t base;  // first entry of this container in pending_
  };

  Step BeginValue(uint32_t* value);
  Step OpenContainer(bool object, uint32_t* value);
  [[nodiscard]] bool Close(uint32_t* value);
  [[nodiscard]] bool AppendIndex(uint32_t node, uint32_t members);
  [[nodiscard]] bool Key();
  [[nodiscard]] bool StringNode(uint32_t* node);
  [[nodiscard]] bool Escape();
  [[nodiscard]] bool UnicodeEscape();
  [[nodiscard]] bool HexCode(uint32_t* code);
  [[nodiscard]] bool NumberNode(uint32_t* node);
  [[nodiscard]] bool DoubleNode(const char* start, uint32_t* node);
  [[nodiscard]] bool WordNode(std::string_view word, Tag tag, uint8_t payload, uint32_t* node);
  [[nodiscard]] bool ScalarNode(Tag tag, const void* payload, size_t size, uint32_t* node);

  void SkipBlanks() {
    while (p_ < end_ && Is(*p_, kBlank)) ++p_;
  }
  [[nodiscard]] bool Take(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }

  const char* p_;
  const char* const end_;
  const uint32_t max_depth_;
  ImageBuilder out_;
  std::vector<Open> open_;
  // Offsets of the finished children of the open containers: element offsets
  // for arrays, {key, value} pairs for objects, as their nodes store them.
  std::vector<uint32_t> pending_;
};

bool Parser::Run() {
  if (!out_.Ensure(kHeaderSize)) return false;
  out_.PutU32(kHeaderMark);
  out_.PutU32(0);
  uint32_t value = 0;
  Step step = BeginValue(&value);
  for (;;) {
    if (step == Step::kFail) return false;
    if (step == Step::kOpened) {
      step = BeginValue(&value);
      continue;
    }
    if (open_.empty()) break;
    pending_.push_back(value);
    SkipBlanks();
    if (p_ == end_) return false;
    const char c = *p_++;
    const bool object = open_.back().object;
    if (c == ',') {
      step = object && !Key() ? Step::kFail : BeginValue(&value);
    } else if (c == (object ? '}' : ']')) {
      step = Close(&value) ? Step::kValue : Step::kFail;
    } else {
      return false;
    }
  }
  const uint32_t length = out_.Offset();
  if (!out_.Ensure(kEndRecordSize)) return false;
  out_.PutByte(kEndTag);
  out_.PutU32(length);
  StoreU32(out_.At(4), value);
  return out_.Finish();
}

Parser::Step Parser::BeginValue(uint32_t* value) {
  SkipBlanks();
  if (p_ == end_) return Step::kFail;
  bool done = false;
  switch (*p_) {
    case '"':
      done = StringNode(value);
      break;
    case '[':
      return OpenContainer(false, value);
    case '{':
      return OpenContainer(true, value);
    case 't':
      done = WordNode("true", Tag::kBool, 1, value);
      break;
    case 'f':
      done = WordNode("false", Tag::kBool, 0, value);
      break;
    case 'n':
      done = WordNode("null", Tag::kNull, 0, value);
      break;
    default:
      done = (*p_ == '-' || Is(*p_, kDigit)) && NumberNode(value);
      break;
  }
  return done ? Step::kValue : Step::kFail;
}

Parser::Step Parser::OpenContainer(bool object, uint32_t* value) {
  if (open_.size() >= max_depth_) return Step::kFail;
  ++p_;
  open_.push_back({object, pending_.size()});
  SkipBlanks();
  if (Take(object ? '}' : ']')) return Close(value) ? Step::kValue : Step::kFail;
  if (object && !Key()) return Step::kFail;
  return Step::kOpened;
}

bool Parser::Key() {
  SkipBlanks();
  if (p_ == end_ || *p_ != '"') return false;
  uint32_t key = 0;
  if (!StringNode(&key)) return false;
  pending_.push_back(key);
  SkipBlanks();
  return Take(':');
}

bool Parser::Close(uint32_t* value) {
  const Open open = open_.back();
  open_.pop_back();
  const size_t entries = pending_.size() - open.base;
  const uint64_t table = uint64_t{4} * entries;
  if (table > kMaxImageLength || !out_.Ensure(kCountedNodeHeader + table)) return false;
  *value = out_.Offset();
  const auto count = static_cast<uint32_t>(open.object ? entries / 2 : entries);
  out_.PutByte(static_cast<uint8_t>(open.object ? Tag::kObject : Tag::kArray));
  out_.PutU32(count);
  out_.PutBytes(pending_.data() + open.base, table);
  pending_.resize(open.base);
  return !open.object || count < kIndexedMembers || AppendIndex(*value, count);
}

// Member numbers sorted by key; equal keys stay in document order, so a
// search finds the first of them.
bool Parser::AppendIndex(uint32_t node, uint32_t members) {
  std::vector<uint32_t> order(members);
  std::iota(order.begin(), order.end(), 0u);
  const uint8_t* image = out_.At(0);
  const uint8_t* pairs = image + node + kCountedNodeHeader;
  auto key = [&](uint32_t member) {
    return StringNodeText(image, LoadU32(pairs + static_cast<size_t>(kPairSize) * member));
  };
  std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
    const int order_of_keys = KeyCompare(key(a), key(b));
    return order_of_keys != 0 ? order_of_keys < 0 : a < b;
  });
  const uint32_t width = IndexEntryWidth(members);
  if (!out_.Ensure(static_cast<size_t>(width) * members)) return false;
  for (uint32_t member : order) {
    for (uint32_t byte = 0; byte < width; ++byte) {
      out_.PutByte(static_cast<uint8_t>(member >> (8 * byte)));
    }
  }
  return true;
}

bool Parser::StringNode(uint32_t* node) {
  ++p_;  // the opening quotation mark
  if (!out_.Ensure(kCountedNodeHeader)) return false;
  *node = out_.Offset();
  out_.PutByte(static_cast<uint8_t>(Tag::kString));
  out_.PutU32(0);
  for (;;) {
    const char* run = p_;
    while (p_ < end_ && !Is(*p_, kStringStop)) ++p_;
    const auto length = static_cast<size_t>(p_ - run);
    if (!out_.Ensure(length)) return false;
    out_.PutBytes(run, length);
    if (p_ == end_ || *p_ == '\0') return false;
    if (*p_ == '"') break;
    if (!Escape()) return false;
  }
  ++p_;
  const uint32_t text_length = out_.Offset() - *node - kCountedNodeHeader;
  if (!out_.Ensure(1)) return false;
  out_.PutByte(0);
  StoreU32(out_.At(*node + 1), text_length);
  return true;
}

bool Parser::Escape() {
  ++p_;  // the backslash
  if (p_ == end_) return false;
  char c = *p_++;
  switch (c) {
    case '"':
    case '\\':
    case '/':
      break;
    case 'b':
      c = '\b';
      break;
    case 'f':
      c = '\f';
      break;
    case 'n':
      c = '\n';
      break;
    case 'r':
      c = '\r';
      break;
    case 't':
      c = '\t';
      break;
    case 'u':
      return UnicodeEscape();
    default:
      return false;
  }
  if (!out_.Ensure(1)) return false;
  out_.PutByte(static_cast<uint8_t>(c));
  return true;
}

// After "\u". A high surrogate directly followed by an escaped low surrogate
// makes one character; any other surrogate stands alone.
bool Parser::UnicodeEscape() {
  uint32_t code = 0;
  if (!HexCode(&code)) return false;
  if (IsHighSurrogate(code) && end_ - p_ >= 2 && p_[0] == '\\' && p_[1] == 'u') {
    const char* second = p_;
    p_ += 2;
    uint32_t low = 0;
    if (HexCode(&low) && IsLowSurrogate(low)) {
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    } else {
      p_ = second;
    }
  }
  if (!out_.Ensure(4)) return false;
  uint8_t bytes[4];
  out_.PutBytes(bytes, EncodeUtf8(code, bytes));
  return true;
}

// Up to four hexadecimal digits, blanks skipped before each; stops at the
// first other character without taking it. At least one digit is needed.
bool Parser::HexCode(uint32_t* code) {
  uint32_t value = 0;
  int digits = 0;
  for (; digits < 4; ++digits) {
    SkipBlanks();
    const int digit = p_ < end_ ? HexValue(*p_) : -1;
    if (digit < 0) break;
    value = value << 4 | static_cast<uint32_t>(digit);
    ++p_;
  }
  *code = value;
  return digits > 0;
}

bool Parser::NumberNode(uint32_t* node) {
  const char* start = p_;
  const bool negative = *p_ == '-';
  const char* digits = negative ? p_ + 1 : p_;
  const char* q = digits;
  uint64_t magnitude = 0;
  bool overflow = false;
  for (; q < end_ && Is(*q, kDigit); ++q) {
    overflow |= __builtin_mul_overflow(magnitude, 10u, &magnitude);
    overflow |= __builtin_add_overflow(magnitude, static_cast<unsigned>(*q - '0'), &magnitude);
  }
  if (q == digits) return false;
  const uint64_t limit = negative ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
  if (overflow || magnitude > limit || (q < end_ && Is(*q, kNumberChar)))
    return DoubleNode(start, node);
  p_ = q;
  const auto value = static_cast<int64_t>(negative ? 0 - magnitude : magnitude);
  return ScalarNode(Tag::kInt, &value, sizeof value, node);
}

// The run of number characters from the start, read by strtod in the C locale.
bool Parser::DoubleNode(const char* start, uint32_t* node) {
  const char* run_end = start;
  while (run_end < end_ && Is(*run_end, kNumberChar)) ++run_end;
  const NumberText text(start, static_cast<size_t>(run_end - start));
  double value = 0;
  size_t consumed = 0;
  if (!ReadDouble(text.CStr(), &value, &consumed)) return false;
  p_ = start + consumed;
  return ScalarNode(Tag::kDouble, &value, sizeof value, node);
}

bool Parser::WordNode(std::string_view word, Tag tag, uint8_t payload, uint32_t* node) {
  if (static_cast<size_t>(end_ - p_) < word.size() ||
      std::memcmp(p_, word.data(), word.size()) != 0) {
    return false;
  }
  p_ += word.size();
  return ScalarNode(tag, &payload, tag == Tag::kNull ? 0 : 1, node);
}

bool Parser::ScalarNode(Tag tag, const void* payload, size_t size, uint32_t* node) {
  if (!out_.Ensure(1 + size)) return false;
  *node = out_.Offset();
  out_.PutByte(static_cast<uint8_t>(tag));
  out_.PutBytes(payload, size);
  return true;
}

}  // namespace

Value Parse(const char* text, size_t length, uint32_t depth) {
  if (text == nullptr) return Value();
  return Parse(std::string_view(text, length == 0 ? std::strlen(text) : length), depth);
}

Value Parse(std::string_view text, uint32_t depth) {
  try {
    auto document = std::make_shared<Document>();
    Parser parser(text, depth, document->Buffer());
    if (!parser.Run()) return Value();
    return RootOf(std::move(document));
  } catch (const std::bad_alloc&) {
    return Value();
  }
}

}  // namespace wexajson
