// The XML store's loader and writer over arbitrary input: a document loaded
// in place and one loaded as a copy must agree, and whatever the writer
// produces must load again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/store/xml_document.h"
#include "platform/store/xml_parser.h"
#include "platform/store/xml_writer.h"

namespace {

// The store's own budget; the written text adds a declaration, which costs
// one unit more when it is read back.
constexpr uint32_t kDepth = kXmlDefaultDepth;

bool LoadAndWrite(const char* text, size_t size, uint32_t copy, std::string* out) {
  XmlDocumentPtr document = MemStoreCreate(0);
  if (document == nullptr) return false;
  if (MemStoreLoadText(document.get(), text, size, copy, kDepth) != kXmlOk) return false;
  return MemStoreSerialize(document.get(), MemStoreGetRoot(document.get()), out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string copied;
  std::string in_place;
  const bool copied_ok = LoadAndWrite(input.data(), input.size(), 1, &copied);
  const bool in_place_ok = LoadAndWrite(input.data(), input.size(), 0, &in_place);
  if (copied_ok != in_place_ok || copied != in_place) std::abort();
  if (!copied_ok) return 0;
  XmlDocumentPtr again = MemStoreCreate(0);
  if (MemStoreLoadText(again.get(), copied.data(), copied.size(), 1, kDepth + 1) != kXmlOk) {
    std::abort();
  }
  return 0;
}
