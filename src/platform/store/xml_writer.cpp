#include "platform/store/xml_writer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "platform/store/xml_chars.h"

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
constexpr std::string_view kAsciiDeclaration = "<?xml version=\"1.0\"?>\n";

// Text handed to a sink in pieces of about this size, so that a large
// document's text is never held whole next to the document.
constexpr size_t kSinkPieceBytes = size_t{64} << 10;

_XML_NODE* NextElement(_XML_NODE* node) {
  while (node != nullptr && node->kind != kXmlElement) node = MemStoreNextSibling(node);
  return node;
}

class Serializer {
 public:
  Serializer(const _XML_DOCUMENT* document, std::string* out, const XmlTextSink* sink)
      : document_(document), ascii_(document->ascii_output != 0), out_(out), sink_(sink) {}

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
      } else {
        top.next = MemStoreNextSibling(child);
        if (!Open(child, top.depth + 1)) return false;
      }
      if (!Flush()) return false;
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

  bool Flush() {
    if (sink_ == nullptr || out_->size() < kSinkPieceBytes) return true;
    if (!(*sink_)(*out_)) return false;
    out_->clear();
    return true;
  }

  void Name(const _XML_NODE* node) { out_->append(MemStoreNodeName(node)); }

  bool Value(const _XML_NODE* node) {
    return XmlAppendReescaped(out_, MemStoreRawValue(document_, node), ascii_);
  }

  bool Open(const _XML_NODE* element, size_t depth) {
    out_->append(depth, ' ');
    out_->push_back('<');
    Name(element);
    bool has_attributes = false;
    bool has_elements = false;
    const _XML_NODE* text = nullptr;
    _XML_NODE* first = MemStoreFirstChild(element);
    for (const _XML_NODE* child = first; child != nullptr; child = MemStoreNextSibling(child)) {
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
      open_.push_back({element, first, depth, false});
      return true;
    }
    if (has_attributes && !has_elements) {
      out_->append(" />\n");
      return true;
    }
    out_->append(">\n");
    open_.push_back({element, first, depth, true});
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
  const XmlTextSink* sink_;  // null: everything stays in out_
  std::vector<OpenElement> open_;
};

bool Serialize(const _XML_DOCUMENT* document, const _XML_NODE* node, std::string* out,
               const XmlTextSink* sink) {
  out->append(document->ascii_output != 0 ? kAsciiDeclaration : kDeclaration);
  if (node == nullptr) return true;
  Serializer serializer(document, out, sink);
  return serializer.Write(node);
}

}  // namespace

bool MemStoreSerialize(const _XML_DOCUMENT* document, const _XML_NODE* node, std::string* out) {
  if (document == nullptr) return false;
  try {
    return Serialize(document, node, out, nullptr);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool MemStoreSerializeTo(const _XML_DOCUMENT* document, const _XML_NODE* node,
                         const XmlTextSink& sink) {
  if (document == nullptr) return false;
  try {
    bool refused = false;
    const XmlTextSink guarded = [&](std::string_view piece) {
      refused = !sink(piece);
      return !refused;
    };
    std::string pending;
    const bool ok = Serialize(document, node, &pending, &guarded);
    // What was produced before a failure is handed on too.
    if (!refused && !pending.empty()) refused = !sink(pending);
    return ok && !refused;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool MemStoreSerializeSized(const _XML_DOCUMENT* document, const _XML_NODE* node,
                            std::string* out) {
  size_t size = 0;
  const bool counted = MemStoreSerializeTo(document, node, [&](std::string_view piece) {
    size += piece.size();
    return true;
  });
  if (!counted) return false;
  try {
    out->clear();
    out->reserve(size);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return MemStoreSerialize(document, node, out);
}

uint32_t MemStoreWriteToBuffer(const _XML_DOCUMENT* document, const _XML_NODE* node, char* buffer,
                               size_t* size) {
  if (document == nullptr || size == nullptr) return kXmlFailure;
  // The output never grows: bytes that do not fit are only counted.
  const size_t capacity = buffer == nullptr || *size == 0 ? 0 : *size - 1;
  size_t produced = 0;
  const bool ok = MemStoreSerializeTo(document, node, [&](std::string_view piece) {
    if (produced < capacity) {
      std::memcpy(buffer + produced, piece.data(), std::min(piece.size(), capacity - produced));
    }
    produced += piece.size();
    return true;
  });
  *size = produced + 1;
  if (buffer == nullptr || produced > capacity) return kXmlTooSmall;
  buffer[produced] = 0;
  return ok ? kXmlOk : kXmlFailure;
}
