#include "platform/store/xml_writer.h"

#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "platform/store/xml_chars.h"

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr std::string_view kAsciiDeclaration = "<?xml version=\"1.0\"?>\n";

_XML_NODE* NextElement(_XML_NODE* node) {
  while (node != nullptr && node->kind != kXmlElement) node = node->next_sibling;
  return node;
}

class Serializer {
 public:
  Serializer(const _XML_DOCUMENT* document, std::string* out)
      : document_(document), ascii_(document->ascii_output != 0), out_(out) {}

  // Elements are written from an explicit stack: documents built through the
  // API may nest deeper than the call stack allows.
  bool Write(const _XML_NODE* root) {
    if (root->kind != kXmlElement || !Open(root, 0)) return false;
    while (!open_.empty()) {
      OpenElement& top = open_.back();
      _XML_NODE* child = NextElement(top.next);
      if (child == nullptr) {
        Close(top);
        open_.pop_back();
        continue;
      }
      top.next = child->next_sibling;
      if (!Open(child, top.depth + 1)) return false;
    }
    return true;
  }

 private:
  struct OpenElement {
    const _XML_NODE* element;
    _XML_NODE* next;  // next child to look at
    size_t depth;
    bool indent_close;
  };

  void Name(const _XML_NODE* node) {
    for (const wchar_t* c = node->name; *c != 0; ++c) out_->push_back(static_cast<char>(*c));
  }

  bool Value(const _XML_NODE* node) {
    return MemStoreDecodeNode(document_, node, &value_) && XmlAppendEscaped(out_, value_, ascii_);
  }

  bool Open(const _XML_NODE* element, size_t depth) {
    out_->append(depth, ' ');
    out_->push_back('<');
    Name(element);
    bool has_attributes = false;
    bool has_elements = false;
    const _XML_NODE* text = nullptr;
    for (const _XML_NODE* child = element->first_child; child != nullptr;
         child = child->next_sibling) {
      if (child->kind == kXmlAttribute) {
        has_attributes = true;
        out_->push_back(' ');
        Name(child);
        out_->append("=\"");
        if (!Value(child)) return false;
        out_->push_back('"');
      } else if (child->kind == kXmlText) {
        if (text == nullptr) text = child;
      } else if (child->kind == kXmlElement) {
        has_elements = true;
      }
    }
    if (text != nullptr) {
      out_->push_back('>');
      if (!Value(text)) return false;
      open_.push_back({element, element->first_child, depth, false});
      return true;
    }
    if (has_attributes && !has_elements) {
      out_->append(" />\n");
      return true;
    }
    out_->append(">\n");
    open_.push_back({element, element->first_child, depth, true});
    return true;
  }

  void Close(const OpenElement& open) {
    if (open.indent_close) out_->append(open.depth, ' ');
    out_->append("</");
    Name(open.element);
    out_->append(">\n");
  }

  const _XML_DOCUMENT* document_;
  bool ascii_;
  std::string* out_;
  std::vector<OpenElement> open_;
  std::wstring value_;  // reused so that writing a value allocates nothing
};

}  // namespace

bool MemStoreSerialize(const _XML_DOCUMENT* document, const _XML_NODE* node, std::string* out) {
  if (document == nullptr) return false;
  try {
    out->append(document->ascii_output != 0 ? kAsciiDeclaration : kDeclaration);
    if (node == nullptr) return true;
    Serializer serializer(document, out);
    return serializer.Write(node);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

uint32_t MemStoreWriteToBuffer(const _XML_DOCUMENT* document, const _XML_NODE* node, char* buffer,
                               size_t* size) {
  if (document == nullptr || size == nullptr) return kXmlFailure;
  std::string text;
  const bool ok = MemStoreSerialize(document, node, &text);
  if (buffer == nullptr || *size == 0 || text.size() > *size - 1) {
    *size = text.size() + 1;
    return kXmlTooSmall;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = 0;
  *size = text.size() + 1;
  return ok ? kXmlOk : kXmlFailure;
}
