#include "platform/store/xml_parser.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/store/xml_chars.h"
#include "platform/store/xml_pointer_set.h"

namespace {

// Elements with more attributes than this get a name index, so a start tag
// with very many attributes cannot make duplicate checks quadratic.
constexpr size_t kAttributeIndexThreshold = 8;

enum class Step { kFail, kElement, kAttribute, kEnd, kNothing, kText, kComment, kDeclaration };

struct Construct {
  Step kind = Step::kFail;
  // A name runs contiguously in the text unless line breaks split it; then
  // only its spelled-out copy holds it.
  char spelled[kXmlMaxNameLength] = {};
  size_t name_start = 0;
  size_t name_length = 0;
  bool name_in_text = true;
  size_t begin = 0;  // value range in the text
  size_t end = 0;
  uint32_t budget = 0;  // budget the construct was parsed at
  std::string_view Spelled() const { return {spelled, name_length}; }
};

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Reads markup one byte per character: line breaks are skipped, TAB is a space.
class MarkupReader {
 public:
  explicit MarkupReader(std::string_view text) : text_(text) {}

  [[nodiscard]] bool Next(char* c) {
    SkipLineBreaks();
    if (pos_ >= text_.size()) return false;
    *c = text_[pos_++];
    if (*c == '\t') *c = ' ';
    return true;
  }
  [[nodiscard]] bool Peek(char* c) {
    const size_t saved = pos_;
    const bool ok = Next(c);
    pos_ = saved;
    return ok;
  }
  [[nodiscard]] bool NextNonBlank(char* c) {
    do {
      if (!Next(c)) return false;
    } while (*c == ' ');
    return true;
  }
  // Skips blanks and looks at the next character without taking it. Each
  // blank is taken with the line breaks before it, so a long run of line
  // breaks is passed once rather than once per blank.
  [[nodiscard]] bool PeekNonBlank(char* c) {
    while (Peek(c) && *c == ' ') static_cast<void>(Next(c));
    return Peek(c);
  }
  [[nodiscard]] bool Expect(char wanted) {
    char c;
    return Next(&c) && c == wanted;
  }
  [[nodiscard]] bool ExpectWord(const char* word) {
    for (; *word != 0; ++word) {
      char c;
      if (!Next(&c) || AsciiLower(c) != *word) return false;
    }
    return true;
  }
  // Raw bytes up to the next `stop`, which is taken too; false at the end.
  [[nodiscard]] bool ScanTo(char stop, size_t* begin, size_t* end) {
    const size_t found = text_.find(stop, pos_);
    if (found == std::string_view::npos) return false;
    *begin = pos_;
    *end = found;
    pos_ = found + 1;
    return true;
  }
  [[nodiscard]] size_t Position() const { return pos_; }
  void SetPosition(size_t pos) { pos_ = pos; }
  [[nodiscard]] std::string_view Text() const { return text_; }

 private:
  void SkipLineBreaks() {
    while (pos_ < text_.size() && (text_[pos_] == '\r' || text_[pos_] == '\n')) ++pos_;
  }
  std::string_view text_;
  size_t pos_ = 0;
};

class Parser {
 public:
  explicit Parser(std::string_view text) : in_(text) {}

  // One step at a budget; a declaration is followed by the next constructs at
  // one unit less, blank runs and comments passed over.
  Step Next(uint32_t budget, Construct* out) {
    bool after_declaration = false;
    while (true) {
      if (budget == 0) return Step::kFail;
      out->kind = ParseConstruct(out);
      if (out->kind == Step::kDeclaration) {
        after_declaration = true;
        --budget;
        continue;
      }
      if (after_declaration && (out->kind == Step::kNothing || out->kind == Step::kComment)) {
        continue;
      }
      out->budget = budget;
      return out->kind;
    }
  }

 private:
  Step ParseConstruct(Construct* out) {
    char c;
    if (!in_.NextNonBlank(&c)) return Step::kFail;
    if (c == '<') return ParseMarkup(out);
    if (c == '/') return in_.PeekNonBlank(&c) && c == '>' ? Step::kEnd : Step::kFail;
    if (c == '>') return ParseText(out);
    char terminator;
    if (!ReadName(c, out, &terminator) || terminator != '=') return Step::kFail;
    return ParseAttributeValue(out);
  }

  Step ParseMarkup(Construct* out) {
    char c;
    if (!in_.NextNonBlank(&c)) return Step::kFail;
    if (c == '?') return ParseDeclaration() ? Step::kDeclaration : Step::kFail;
    if (c == '!') return ParseComment() ? Step::kComment : Step::kFail;
    char terminator;
    if (c == '/') {
      if (!in_.Next(&c) || !ReadName(c, out, &terminator)) return Step::kFail;
      return IsTagEnd(terminator) ? Step::kEnd : Step::kFail;
    }
    if (!ReadName(c, out, &terminator)) return Step::kFail;
    if (terminator == '=') return ParseAttributeValue(out);
    return IsTagEnd(terminator) ? Step::kElement : Step::kFail;
  }

  static bool IsTagEnd(char c) { return c == ' ' || c == '>' || c == '/'; }

  // A name starting with `first` (just taken); the character after it is
  // left unread.
  bool ReadName(char first, Construct* out, char* terminator) {
    if (!XmlIsNameChar(static_cast<uint8_t>(first))) return false;
    const std::string_view text = in_.Text();
    out->name_start = in_.Position() - 1;
    out->name_in_text = true;
    out->spelled[0] = first;
    size_t length = 1;
    while (true) {
      size_t pos = in_.Position();
      for (; pos < text.size() && XmlIsNameChar(static_cast<uint8_t>(text[pos])); ++pos) {
        if (length == kXmlMaxNameLength) return false;
        out->spelled[length++] = text[pos];
      }
      in_.SetPosition(pos);
      char c;
      if (!in_.Peek(&c)) return false;
      if (!XmlIsNameChar(static_cast<uint8_t>(c))) {
        out->name_length = length;
        *terminator = c;
        return true;
      }
      // Line breaks inside a name are skipped like everywhere in markup.
      out->name_in_text = false;
      if (length == kXmlMaxNameLength || !in_.Next(&c)) return false;
      out->spelled[length++] = c;
    }
  }

  Step ParseAttributeValue(Construct* out) {
    char c;
    if (!in_.Expect('=') || !in_.NextNonBlank(&c) || c != '"') return Step::kFail;
    return in_.ScanTo('"', &out->begin, &out->end) ? Step::kAttribute : Step::kFail;
  }

  Step ParseText(Construct* out) {
    const std::string_view text = in_.Text();
    const size_t begin = in_.Position();
    const size_t lt = text.find('<', begin);
    if (lt == std::string_view::npos) return Step::kFail;
    in_.SetPosition(lt);
    for (size_t i = begin; i < lt; ++i) {
      if (!XmlIsBlank(text[i])) {
        out->begin = begin;
        out->end = lt;
        return Step::kText;
      }
    }
    return Step::kNothing;
  }

  // "<!--" ... "-->"; the final '>' stays for the next step like every tag's.
  bool ParseComment() {
    if (!in_.Expect('-') || !in_.Expect('-')) return false;
    const size_t close = in_.Text().find("-->", in_.Position());
    if (close == std::string_view::npos) return false;
    in_.SetPosition(close + 2);
    return true;
  }

  // Up to the next double quote, read as markup, at most 49 characters.
  bool ReadQuoted(std::string* value) {
    value->clear();
    char c;
    while (in_.Next(&c)) {
      if (c == '"') return true;
      if (value->size() == kXmlMaxNameLength) return false;
      value->push_back(c);
    }
    return false;
  }

  bool ParseDeclaration() {
    char c;
    std::string value;
    if (!in_.ExpectWord("xml") || !in_.Expect(' ') || !in_.ExpectWord("version") ||
        !in_.Expect('=') || !in_.Expect('"') || !ReadQuoted(&value) || value != "1.0") {
      return false;
    }
    // Further pseudo-attributes (encoding, standalone) are read and ignored:
    // the text is always UTF-8.
    while (true) {
      if (!in_.NextNonBlank(&c)) return false;
      if (c == '?') return in_.PeekNonBlank(&c) && c == '>';
      Construct pseudo;
      char terminator;
      if (!ReadName(c, &pseudo, &terminator) || terminator != '=') return false;
      if (!in_.Expect('=') || !in_.Expect('"') || !ReadQuoted(&value)) return false;
    }
  }

  MarkupReader in_;
};

bool NamesEqualFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Attributes of one element by name (ASCII letters without case).
struct AttributeTraits {
  static std::string_view Name(const _XML_NODE* node) { return MemStoreNodeName(node); }
  static size_t Hash(std::string_view name) { return XmlNameHash(name, AsciiLower); }
  static bool Equal(std::string_view a, std::string_view b) { return NamesEqualFolded(a, b); }
};
using AttributeIndex = XmlPointerSet<_XML_NODE, AttributeTraits>;

// One open element of the tree being built. Its first attributes are the
// tail of the builder's attribute list while it is the innermost open
// element; beyond kAttributeIndexThreshold they move into an index.
struct Frame {
  _XML_NODE* element = nullptr;
  _XML_NODE* first_text = nullptr;
  size_t attribute_base = 0;
  uint32_t child_budget = 0;
  AttributeIndex index;
};

class TreeBuilder {
 public:
  // copy: the text is the document's own (the start of its value pool), else
  // the caller's, read in place.
  TreeBuilder(_XML_DOCUMENT* document, std::string_view text, bool copy)
      : document_(document), text_(text), copy_(copy), parser_(text) {}

  bool Build(uint32_t budget) {
    Construct construct;
    if (parser_.Next(budget, &construct) != Step::kElement) return false;
    _XML_NODE* root = NewNode(kXmlElement, construct);
    if (root == nullptr) return false;
    MemStoreAppendChild(&document_->pseudo, root);
    Push(root, construct.budget - 1);
    while (depth_ > 0) {
      Frame& frame = frames_[depth_ - 1];
      switch (parser_.Next(frame.child_budget, &construct)) {
        case Step::kElement: {
          _XML_NODE* child = NewNode(kXmlElement, construct);
          if (child == nullptr) return false;
          MemStoreAppendChild(frame.element, child);
          Push(child, construct.budget - 1);
          break;
        }
        case Step::kAttribute:
          if (!AddAttribute(&frame, construct)) return false;
          break;
        case Step::kText:
          if (!AddText(&frame, construct)) return false;
          break;
        case Step::kEnd:
          Pop();
          break;
        case Step::kNothing:
        case Step::kComment:
          break;
        default:
          return false;
      }
    }
    return true;
  }

 private:
  void Push(_XML_NODE* element, uint32_t child_budget) {
    if (depth_ == frames_.size()) frames_.emplace_back();
    Frame& frame = frames_[depth_++];
    frame.element = element;
    frame.first_text = nullptr;
    frame.attribute_base = attributes_.size();
    frame.child_budget = child_budget;
  }

  void Pop() {
    Frame& frame = frames_[--depth_];
    attributes_.resize(frame.attribute_base);
    if (!frame.index.Empty()) frame.index.Release();
  }

  // Names that run contiguously refer into the text; others are kept once in
  // the document's name store.
  _XML_NODE* NewNode(uint32_t kind, const Construct& construct) {
    std::string_view name = construct.Spelled();
    if (construct.name_in_text) {
      name = text_.substr(construct.name_start, construct.name_length);
    } else {
      const char* kept = document_->names.Intern(name);
      if (kept == nullptr) return nullptr;
      name = std::string_view(kept, name.size());
    }
    return MemStoreNewNodeNamed(document_, kind, name);
  }

  bool SetValue(_XML_NODE* node, const Construct& construct) {
    const size_t length = construct.end - construct.begin;
    if (length > kXmlMaxValueBytes) return false;
    node->source = copy_ ? kXmlSourcePool : kXmlSourceText;
    node->value_begin = construct.begin;
    node->value_length = static_cast<uint32_t>(length);
    return true;
  }

  _XML_NODE* FindAttribute(const Frame& frame, std::string_view name) const {
    if (!frame.index.Empty()) return frame.index.Find(name);
    for (size_t i = frame.attribute_base; i < attributes_.size(); ++i) {
      if (NamesEqualFolded(MemStoreNodeName(attributes_[i]), name)) return attributes_[i];
    }
    return nullptr;
  }

  // An attribute given twice keeps one node with the last value.
  bool AddAttribute(Frame* frame, const Construct& construct) {
    _XML_NODE* existing = FindAttribute(*frame, construct.Spelled());
    if (existing != nullptr) return SetValue(existing, construct);
    _XML_NODE* node = NewNode(kXmlAttribute, construct);
    if (node == nullptr || !SetValue(node, construct)) return false;
    MemStoreAppendChild(frame->element, node);
    if (!frame->index.Empty()) {
      frame->index.Insert(node);
      return true;
    }
    attributes_.push_back(node);
    if (attributes_.size() - frame->attribute_base > kAttributeIndexThreshold) {
      for (size_t i = frame->attribute_base; i < attributes_.size(); ++i) {
        frame->index.Insert(attributes_[i]);
      }
      attributes_.resize(frame->attribute_base);
    }
    return true;
  }

  // Text runs of one element merge into its first text node, holding the last.
  bool AddText(Frame* frame, const Construct& construct) {
    if (frame->first_text != nullptr) return SetValue(frame->first_text, construct);
    _XML_NODE* node = MemStoreNewNodeNamed(document_, kXmlText, kXmlTextNodeName);
    if (node == nullptr || !SetValue(node, construct)) return false;
    MemStoreAppendChild(frame->element, node);
    frame->first_text = node;
    return true;
  }

  _XML_DOCUMENT* document_;
  std::string_view text_;
  bool copy_;
  Parser parser_;
  // Open elements on the heap rather than the call stack, so deep input costs
  // memory in proportion to the budget, never stack.
  std::vector<Frame> frames_;
  size_t depth_ = 0;
  // Attributes of the open elements, innermost last.
  std::vector<_XML_NODE*> attributes_;
};

uint32_t Load(_XML_DOCUMENT* document, std::string_view text, bool copy, uint32_t max_depth) {
  bool ok = false;
  try {
    TreeBuilder builder(document, text, copy);
    ok = builder.Build(max_depth);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  if (ok) return kXmlOk;
  MemStoreFreeChildren(document, &document->pseudo);
  if (copy) document->pool.ReleaseText();
  return kXmlFailure;
}

}  // namespace

uint32_t MemStoreLoadText(_XML_DOCUMENT* document, const char* text, size_t length, uint32_t copy,
                          uint32_t max_depth) {
  if (document == nullptr || text == nullptr || MemStoreGetRoot(document) != nullptr) {
    return kXmlFailure;
  }
  const std::string_view view(text, length == kXmlTextToNul ? std::strlen(text) : length);
  if (copy == 0) {
    document->source = view;
    return Load(document, view, false, max_depth);
  }
  try {
    return MemStoreAdoptText(document, std::string(view), max_depth);
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  } catch (const std::length_error&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreAdoptText(_XML_DOCUMENT* document, std::string text, uint32_t max_depth) {
  if (document == nullptr || MemStoreGetRoot(document) != nullptr) return kXmlFailure;
  document->pool.AdoptText(std::move(text));
  return Load(document, document->pool.Text(), true, max_depth);
}
