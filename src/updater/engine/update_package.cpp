#include "updater/engine/update_package.h"

#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string_view>

#include "platform/os/os_file.h"
#include "platform/os/os_temp.h"
#include "platform/store/profile_cache.h"
#include "platform/util/crc32.h"
#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/engine/package_layout.h"
#include "updater/engine/signed_buffer.h"
#include "verify/openpgp/pgp_public_key.h"

namespace {

// A header-only read looks at the start of the file alone.
constexpr uint64_t kHeaderOnlyReadSize = 65536;
// The payload size is 32-bit; what the header and the OpenPGP framing add is
// far below this slack. A larger file cannot be a package, and reading it
// whole would cost the host its memory.
constexpr uint64_t kMaxPackageSize = uint64_t{UINT32_MAX} + (uint64_t{64} << 20);
constexpr char kIniPrefix[] = "NSFX";
// Longest temporary INI path made when the caller's buffer is larger or absent.
constexpr size_t kIniPathLimit = 4096;
constexpr char kSection[] = "update_info";
constexpr char kFileNameKey[] = "filename";
// A file name of the system has at most 255 bytes (NAME_MAX); the buffer
// holds more, so that a longer value, which the INI reader would cut to fit,
// is seen and refused rather than checked cut.
constexpr size_t kMaxFileName = 255;
constexpr uint32_t kFileNameBufferSize = 4096;

struct PackageBytes {
  std::unique_ptr<uint8_t[]> data;
  uint64_t size = 0;
  std::span<const uint8_t> view() const { return {data.get(), size}; }
};

UPD_ERROR ReadPackage(const char* path, bool whole, PackageBytes* out) {
  OS_FILE* file = OsFileOpen(path, nullptr, kOsAccessRead, kOsOpenExisting);
  if (file == nullptr) return kUpdMissing;
  uint64_t capacity = kHeaderOnlyReadSize;
  if (whole) {
    const int64_t size = OsFileGetSize(file);
    if (size < 0) {
      (void)OsFileClose(file);
      return kUpdEmptyFile;  // the code of a size that cannot be had
    }
    if (static_cast<uint64_t>(size) > kMaxPackageSize) {
      (void)OsFileClose(file);
      return kUpdBadFile;
    }
    capacity = static_cast<uint64_t>(size);
  }
  out->data.reset(new (std::nothrow) uint8_t[capacity == 0 ? 1 : capacity]);
  if (out->data == nullptr) {
    (void)OsFileClose(file);
    return kUpdOutOfMemory;
  }
  const int64_t got = OsFileReadFully(file, out->data.get(), capacity);
  (void)OsFileClose(file);
  if (got < 0) return kUpdReadFailed;
  out->size = static_cast<uint64_t>(got);
  return kUpdOk;
}

// The temporary INI file of one extraction: always dropped from the profile
// cache at the end, deleted unless the caller keeps it.
class IniFile {
 public:
  explicit IniFile(bool keep) : keep_(keep) {}
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;
  ~IniFile() {
    if (path_[0] == '\0') return;
    (void)ProfileWriteString(nullptr, nullptr, nullptr, path_);
    if (!keep_) (void)DeleteFileChecked(path_, 0);
  }

  const char* path() const { return path_; }

  // Makes the file (its name within the caller's buffer size when that is
  // smaller than the limit), hands its path to the caller and writes the header.
  UPD_ERROR Write(char* caller, size_t caller_size, std::span<const uint8_t> header) {
    const size_t limit =
        caller != nullptr && caller_size < kIniPathLimit ? caller_size : kIniPathLimit;
    if (OsGetTempFileName(kIniPrefix, path_, limit, nullptr) != 0 || path_[0] == '\0') {
      path_[0] = '\0';
      return kUpdTempFileFailed;
    }
    if (caller != nullptr) SafeStrCopy(caller, caller_size, path_);
    return SaveBufferToFile(path_, header.data(), header.size());
  }

 private:
  bool keep_;
  char path_[kIniPathLimit] = {};
};

UPD_ERROR CheckFileName(const char* ini_path) {
  auto name = std::make_unique<char[]>(kFileNameBufferSize);
  (void)ProfileGetString(kSection, kFileNameKey, "", name.get(), kFileNameBufferSize, ini_path);
  return IsPlainFileName(name.get()) ? kUpdOk : kUpdBadFile;
}

UPD_ERROR CheckPayload(const PackageBytes& file, const ByteRange& content,
                       const PackageParts& parts, const char* ini_path, uint32_t* payload_size) {
  const auto size = static_cast<uint32_t>(ProfileGetInt(kSection, "filesize", 0, ini_path));
  if (size > content.end() - parts.payload_offset) return kUpdBadFile;
  const uint32_t crc = Crc32(file.data.get() + parts.payload_offset, size, 0);
  const auto expected = static_cast<uint32_t>(ProfileGetInt(kSection, "crc", -1, ini_path));
  if (crc != expected) return kUpdBadFile;
  *payload_size = size;
  return kUpdOk;
}

// The signature must cover exactly the content the container was read from.
UPD_ERROR CheckSignature(const PackageBytes& file, const ByteRange& content) {
  MemoryInputStream memory;
  if (memory.Open(file.data.get(), file.size) != kStreamOk) return kUpdSignatureMismatch;
  ByteRange signed_content;
  if (VerifyUpdatePackageSignature(&memory, &signed_content.offset, &signed_content.length) !=
          kPgpOk ||
      signed_content != content) {
    return kUpdSignatureMismatch;
  }
  return kUpdOk;
}

UPD_ERROR WritePayload(const char* path, const uint8_t* data, uint32_t size) {
  const UPD_ERROR rc = SaveBufferToFile(path, data, size);
  if (rc != kUpdOk) (void)DeleteFileChecked(path, 0);
  return rc;
}

}  // namespace

// The module file is placed in the modules folder under this name: anything
// but a plain name could put it elsewhere. Paths are normalised from '\' to
// '/' in places, so both separate; ".." is refused wherever it stands.
bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxFileName && name != "." &&
         name.find("..") == std::string_view::npos &&
         name.find_first_of("/\\") == std::string_view::npos;
}

uint32_t VerifyUpdatePackageSignature(IInputStream* stream, uint64_t* content_offset,
                                      uint64_t* content_length) {
  uint64_t offset = 0;
  uint64_t length = 0;
  const uint32_t rc = VerifySignedMessage(stream, kUpdateSigner, &offset, &length);
  if (rc == kPgpOk) {
    if (content_offset != nullptr) *content_offset = offset;
    if (content_length != nullptr) *content_length = length;
  }
  return rc;
}

UPD_ERROR ExtractUpdateInfoPackage(const char* package_path, const char* payload_path,
                                   char* ini_path, size_t ini_size, bool skip_signature) {
  if (ini_path != nullptr && ini_size > 0) ini_path[0] = '\0';
  if (package_path == nullptr) return kUpdMissing;
  const bool header_only = payload_path == nullptr;
  PackageBytes file;
  UPD_ERROR rc = ReadPackage(package_path, !header_only, &file);
  if (rc != kUpdOk) return rc;
  ByteRange content;
  PackageParts parts;
  if (!LocatePackageContent(file.view(), &content) ||
      !FindPackageParts(file.view(), content, &parts)) {
    return kUpdBadFile;
  }
  IniFile ini(ini_path != nullptr);
  rc = ini.Write(ini_path, ini_size, file.view().subspan(parts.header.offset, parts.header.length));
  if (rc != kUpdOk) return rc;
  rc = CheckFileName(ini.path());
  if (rc != kUpdOk || header_only) return rc;
  uint32_t payload_size = 0;
  rc = CheckPayload(file, content, parts, ini.path(), &payload_size);
  if (rc != kUpdOk) return rc;
  if (!skip_signature) {
    rc = CheckSignature(file, content);
    if (rc != kUpdOk) return rc;
  }
  if (payload_path == kPackageCheckOnly) return kUpdOk;
  return WritePayload(payload_path, file.data.get() + parts.payload_offset, payload_size);
}
