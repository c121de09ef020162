#include "updater/engine/package/update_package.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "platform/os/os_file.h"
#include "platform/os/os_temp.h"
#include "platform/store/profile_cache.h"
#include "platform/util/crc32.h"
#include "platform/util/file_helpers.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "updater/engine/catalogue/signed_buffer.h"
#include "updater/engine/package/package_layout.h"
#include "updater/engine/package/package_stream.h"
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
// The window a signed package is checked through: large enough to hold the
// header of any usual package and to keep the system calls few, small enough
// to stay in the cache between the read, the verifier and the CRC.
constexpr uint64_t kStreamWindow = uint64_t{1} << 20;

struct FileCloser {
  void operator()(OS_FILE* file) const { (void)OsFileClose(file); }
};
using FileHandle = std::unique_ptr<OS_FILE, FileCloser>;

// Opens a package to be read whole; size receives its size.
UPD_ERROR OpenWholePackage(const char* path, FileHandle* file, uint64_t* size) {
  file->reset(OsFileOpen(path, nullptr, kOsAccessRead, kOsOpenExisting));
  if (*file == nullptr) return kUpdMissing;
  const int64_t got = OsFileGetSize(file->get());
  if (got < 0) return kUpdEmptyFile;  // the code of a size that cannot be had
  if (static_cast<uint64_t>(got) > kMaxPackageSize) return kUpdBadFile;
  *size = static_cast<uint64_t>(got);
  return kUpdOk;
}

struct PackageBytes {
  std::unique_ptr<uint8_t[]> data;
  uint64_t size = 0;
  std::span<const uint8_t> view() const { return {data.get(), size}; }
};

UPD_ERROR ReadPackage(const char* path, bool whole, PackageBytes* out) {
  FileHandle file;
  uint64_t capacity = kHeaderOnlyReadSize;
  if (whole) {
    const UPD_ERROR rc = OpenWholePackage(path, &file, &capacity);
    if (rc != kUpdOk) return rc;
  } else {
    file.reset(OsFileOpen(path, nullptr, kOsAccessRead, kOsOpenExisting));
    if (file == nullptr) return kUpdMissing;
  }
  out->data.reset(new (std::nothrow) uint8_t[capacity == 0 ? 1 : capacity]);
  if (out->data == nullptr) return kUpdOutOfMemory;
  const int64_t got = OsFileReadFully(file.get(), out->data.get(), capacity);
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

  // Deletes the file after all and takes its path back from the caller.
  void Discard() {
    keep_ = false;
    if (caller_ != nullptr && caller_size_ > 0) caller_[0] = '\0';
  }

  // Makes the file (its name within the caller's buffer size when that is
  // smaller than the limit), hands its path to the caller and writes the header.
  UPD_ERROR Write(char* caller, size_t caller_size, std::span<const uint8_t> header) {
    const size_t limit =
        caller != nullptr && caller_size < kIniPathLimit ? caller_size : kIniPathLimit;
    if (OsGetTempFileName(kIniPrefix, path_, limit, nullptr) != 0 || path_[0] == '\0') {
      path_[0] = '\0';
      return kUpdTempFileFailed;
    }
    caller_ = caller;
    caller_size_ = caller_size;
    if (caller != nullptr) SafeStrCopy(caller, caller_size, path_);
    return SaveBufferToFile(path_, header.data(), header.size());
  }

 private:
  bool keep_;
  char* caller_ = nullptr;
  size_t caller_size_ = 0;
  char path_[kIniPathLimit] = {};
};

UPD_ERROR CheckFileName(const char* ini_path) {
  auto name = std::make_unique<char[]>(kFileNameBufferSize);
  (void)ProfileGetString(kSection, kFileNameKey, "", name.get(), kFileNameBufferSize, ini_path);
  return IsPlainFileName(name.get()) ? kUpdOk : kUpdBadFile;
}

// The payload's size and CRC-32 as the header gives them.
struct PayloadExtent {
  uint64_t offset = 0;
  uint32_t size = 0;
  uint32_t crc = 0;
};

UPD_ERROR ReadPayloadExtent(const char* ini_path, const ByteRange& content, const PackageParts& parts,
                          PayloadExtent* extent) {
  const auto size = static_cast<uint32_t>(ProfileGetInt(kSection, "filesize", 0, ini_path));
  if (size > content.end() - parts.payload_offset) return kUpdBadFile;
  extent->offset = parts.payload_offset;
  extent->size = size;
  extent->crc = static_cast<uint32_t>(ProfileGetInt(kSection, "crc", -1, ini_path));
  return kUpdOk;
}

// The signature must cover exactly the content the container was read from.
UPD_ERROR CheckSignature(IInputStream* stream, const ByteRange& content) {
  ByteRange signed_content;
  if (VerifyUpdatePackageSignature(stream, &signed_content.offset, &signed_content.length) !=
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

// The payload as it passes through the stream: its CRC-32 and, when it is to
// be written, a copy.
class PayloadTap final : public IPackageByteObserver {
 public:
  PayloadTap(const PayloadExtent& extent, uint8_t* copy)
      : begin_(extent.offset), end_(extent.offset + extent.size), copy_(copy) {}
  void Observe(uint64_t offset, std::span<const uint8_t> bytes) override {
    const uint64_t from = std::max(offset, begin_);
    const uint64_t to = std::min(offset + bytes.size(), end_);
    if (from >= to) return;
    const uint8_t* data = bytes.data() + (from - offset);
    crc_ = Crc32(data, to - from, crc_);
    if (copy_ != nullptr) std::memcpy(copy_ + (from - begin_), data, to - from);
  }
  uint32_t crc() const { return crc_; }

 private:
  uint64_t begin_;
  uint64_t end_;
  uint8_t* copy_;
  uint32_t crc_ = 0;
};

// The whole package in memory: the checks one after the other.
UPD_ERROR ExtractWhole(const char* package_path, const char* payload_path, char* ini_path,
                       size_t ini_size, bool skip_signature) {
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
  PayloadExtent payload;
  rc = ReadPayloadExtent(ini.path(), content, parts, &payload);
  if (rc != kUpdOk) return rc;
  const uint8_t* bytes = file.data.get() + payload.offset;
  if (Crc32(bytes, payload.size, 0) != payload.crc) return kUpdBadFile;
  if (!skip_signature) {
    MemoryInputStream memory;
    if (memory.Open(file.data.get(), file.size) != kStreamOk) return kUpdSignatureMismatch;
    rc = CheckSignature(&memory, content);
    if (rc != kUpdOk) return rc;
  }
  if (payload_path == kPackageCheckOnly) return kUpdOk;
  return WritePayload(payload_path, bytes, payload.size);
}

// The verifier reads the package while the tap takes the payload's CRC-32 and
// copy; reading goes on to the payload's end where the verifier stops early,
// as the CRC is judged first. nullopt: the file shrank meanwhile.
std::optional<UPD_ERROR> CheckInOnePass(PackageFileStream& stream, const ByteRange& content,
                                        const PayloadExtent& payload, const char* payload_path,
                                        IniFile* ini) {
  std::unique_ptr<uint8_t[]> copy;
  if (payload_path != kPackageCheckOnly) {
    copy.reset(new (std::nothrow) uint8_t[payload.size == 0 ? 1 : payload.size]);
    if (copy == nullptr) return kUpdOutOfMemory;
  }
  PayloadTap tap(payload, copy.get());
  stream.SetObserver(&tap);
  const UPD_ERROR signature = CheckSignature(&stream, content);
  stream.ReadThrough(payload.offset + payload.size);
  if (stream.failed() || stream.short_file()) {
    ini->Discard();
    if (stream.failed()) return kUpdReadFailed;
    return std::nullopt;
  }
  if (tap.crc() != payload.crc) return kUpdBadFile;
  if (signature != kUpdOk) return signature;
  if (payload_path == kPackageCheckOnly) return kUpdOk;
  return WritePayload(payload_path, copy.get(), payload.size);
}

// A signed package read once through a window: the header is taken from the
// first window, the payload's CRC-32 (and copy) from the bytes the verifier
// reads. Same results as ExtractWhole, which answers (nullopt) where the
// header does not lie in the first window or the file shrinks meanwhile.
std::optional<UPD_ERROR> ExtractStreamed(const char* package_path, const char* payload_path,
                                         char* ini_path, size_t ini_size) {
  FileHandle file;
  uint64_t size = 0;
  UPD_ERROR rc = OpenWholePackage(package_path, &file, &size);
  if (rc != kUpdOk) return rc;
  PackageFileStream stream(file.get(), size);
  if (!stream.Start(kStreamWindow)) return stream.failed() ? kUpdReadFailed : kUpdOutOfMemory;
  const std::span<const uint8_t> first = stream.Window();
  ByteRange content;
  PackageParts parts;
  if (stream.short_file() || !LocatePackageContent(first, size, &content)) return std::nullopt;
  const ByteRange seen{content.offset,
                       std::min<uint64_t>(content.end(), first.size()) - content.offset};
  if (!FindPackageParts(first, seen, &parts)) return std::nullopt;
  IniFile ini(ini_path != nullptr);
  rc = ini.Write(ini_path, ini_size, first.subspan(parts.header.offset, parts.header.length));
  if (rc != kUpdOk) return rc;
  rc = CheckFileName(ini.path());
  if (rc != kUpdOk) return rc;
  PayloadExtent payload;
  rc = ReadPayloadExtent(ini.path(), content, parts, &payload);
  if (rc != kUpdOk) return rc;
  return CheckInOnePass(stream, content, payload, payload_path, &ini);
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
  if (payload_path != nullptr && !skip_signature) {
    const std::optional<UPD_ERROR> rc =
        ExtractStreamed(package_path, payload_path, ini_path, ini_size);
    if (rc.has_value()) return *rc;
  }
  return ExtractWhole(package_path, payload_path, ini_path, ini_size, skip_signature);
}
