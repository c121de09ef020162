#include "platform/store/xml_file.h"

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "platform/os/os_file.h"
#include "platform/os/os_file_info.h"
#include "platform/store/xml_parser.h"
#include "platform/store/xml_writer.h"
#include "platform/util/replace_file.h"

namespace {

struct FileCloser {
  void operator()(OS_FILE* file) const { OsFileClose(file); }
};
using FilePtr = std::unique_ptr<OS_FILE, FileCloser>;

// Temporary files start with '.', so that folder searches by pattern skip a
// file left behind by a crash.
constexpr const char* kTempPrefix = ".xml-save";

bool ReadWholeFile(const char* path, std::string* text) {
  FilePtr file(OsFileOpen(path, nullptr, kOsAccessRead | kOsAccessLock, kOsOpenExisting));
  if (file == nullptr) return false;
  uint64_t size = 0;
  if (OsFileGetInfoByHandle(file.get(), nullptr, &size, nullptr) != 0) return false;
  if (size == 0 || size > kXmlMaxFileBytes) return false;
  text->resize(static_cast<size_t>(size));
  const int64_t read = OsFileReadFully(file.get(), text->data(), text->size());
  return read >= 0 && static_cast<uint64_t>(read) == size;
}

}  // namespace

uint32_t MemStoreLoadFile(XmlDocumentPtr* out, const char* path, uint32_t max_depth) {
  if (out == nullptr || path == nullptr) return kXmlFailure;
  try {
    std::string text;
    if (!ReadWholeFile(path, &text)) return kXmlFailure;
    XmlDocumentPtr document = MemStoreCreate(0);
    if (document == nullptr) return kXmlFailure;
    *out = std::move(document);
    return MemStoreAdoptText(out->get(), std::move(text), max_depth);
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreSaveFile(const _XML_DOCUMENT* document, const _XML_NODE* node, const char* path) {
  if (document == nullptr || path == nullptr || *path == 0) return kXmlFailure;
  try {
    std::string text;
    if (!MemStoreSerializeSized(document, node, &text)) return kXmlFailure;
    return ReplaceFileContent(path, text, kTempPrefix, true) ? kXmlOk : kXmlFailure;
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}
