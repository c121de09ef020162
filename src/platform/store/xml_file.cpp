#include "platform/store/xml_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "platform/os/os_file.h"
#include "platform/os/os_file_info.h"
#include "platform/os/os_file_ops.h"
#include "platform/os/os_path.h"
#include "platform/os/os_temp.h"
#include "platform/store/xml_parser.h"
#include "platform/store/xml_writer.h"

namespace {

struct FileCloser {
  void operator()(OS_FILE* file) const { OsFileClose(file); }
};
using FilePtr = std::unique_ptr<OS_FILE, FileCloser>;

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

// Writes all of text to an opened file and closes it; false on any failure.
bool WriteAndClose(FilePtr file, const std::string& text, bool sync) {
  if (!text.empty()) {
    const int64_t written = OsFileWrite(file.get(), text.data(), text.size());
    if (written < 0 || static_cast<uint64_t>(written) != text.size()) return false;
  }
  if (OsFileFlush(file.get()) != 0) return false;
  // The data must be on disk before the rename makes it the file's content.
  if (sync && fsync(fileno(file->stream)) != 0) return false;
  return OsFileClose(file.release()) == 0;
}

bool WriteInPlace(const char* path, const std::string& text) {
  FilePtr file(OsFileOpen(path, nullptr, kOsAccessWrite | kOsAccessLock, kOsCreateAlways));
  return file != nullptr && WriteAndClose(std::move(file), text, false);
}

// The path the text finally lands at: a symbolic link is followed so that the
// rename replaces the file it names, not the link.
std::string FinalTarget(const char* path) {
  char resolved[PATH_MAX];
  uint32_t attributes = 0;
  if (OsGetFileAttributes(path, nullptr, &attributes) == 0 && (attributes & kOsAttrSymlink) != 0 &&
      realpath(path, resolved) != nullptr) {
    return resolved;
  }
  return path;
}

bool RenameIsSafe(const std::string& target) {
  if (OsParseFdPath(target.c_str()) >= 0) return false;
  uint32_t attributes = 0;
  if (OsGetFileAttributes(target.c_str(), nullptr, &attributes) != 0) return true;  // new file
  return (attributes & kOsAttrRegular) != 0;
}

// The replacement of an existing file keeps its mode and, where the process
// may give files away, its owner, as rewriting it in place would.
bool KeepModeAndOwner(const std::string& target, OS_FILE* file) {
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) return true;  // a new file
  const int fd = fileno(file->stream);
  if (::fchmod(fd, old.st_mode & 07777) != 0) return false;
  static_cast<void>(::fchown(fd, old.st_uid, old.st_gid));
  return true;
}

bool WriteReplacing(const std::string& target, const std::string& text) {
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  char temp[PATH_MAX];
  if (OsGetTempFileName(name.c_str(), temp, sizeof(temp), folder.c_str()) != 0) return false;
  FilePtr file(OsFileOpen(temp, nullptr, kOsAccessWrite | kOsAccessLock, kOsCreateAlways));
  if (file == nullptr || !KeepModeAndOwner(target, file.get()) ||
      !WriteAndClose(std::move(file), text, true) ||
      OsFileRename(temp, nullptr, target.c_str(), nullptr, kOsRenameOverwrite) != 0) {
    (void)OsFileDelete(temp, nullptr);
    return false;
  }
  return true;
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
    return MemStoreLoadText(out->get(), text.data(), text.size(), 1, max_depth);
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}

uint32_t MemStoreSaveFile(const _XML_DOCUMENT* document, const _XML_NODE* node, const char* path) {
  if (document == nullptr || path == nullptr || *path == 0) return kXmlFailure;
  try {
    std::string text;
    if (!MemStoreSerialize(document, node, &text)) return kXmlFailure;
    const std::string target = FinalTarget(path);
    const bool ok = RenameIsSafe(target) ? WriteReplacing(target, text) : WriteInPlace(path, text);
    return ok ? kXmlOk : kXmlFailure;
  } catch (const std::bad_alloc&) {
    return kXmlFailure;
  }
}
