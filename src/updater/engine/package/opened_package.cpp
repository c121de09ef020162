#include "updater/engine/package/opened_package.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "platform/os/os_file.h"
#include "platform/util/crc32.h"
#include "platform/util/file_helpers.h"
#include "updater/engine/package/package_layout.h"
#include "updater/engine/package/package_stream.h"
#include "updater/engine/package/update_package.h"
#include "verify/openpgp/pgp_public_key.h"

namespace {

// A header-only read looks at the start of the file alone.
constexpr uint64_t kHeaderOnlyReadSize = 65536;
// The payload size is 32-bit; what the header and the OpenPGP framing add is
// far below this slack. A larger file cannot be a package, and reading it
// whole would cost the host its memory.
constexpr uint64_t kMaxPackageSize = uint64_t{UINT32_MAX} + (uint64_t{64} << 20);
constexpr char kSection[] = "update_info";
// The file name is read through a buffer larger than any file name of the
// system (255 bytes), so that a longer value, which the INI reader would cut
// to fit, is seen and refused rather than checked cut.
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
UpdError OpenWholePackage(const char* path, FileHandle* file, uint64_t* size) {
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

UpdError ReadPackage(const char* path, bool whole, PackageBytes* out) {
  FileHandle file;
  uint64_t capacity = kHeaderOnlyReadSize;
  if (whole) {
    const UpdError rc = OpenWholePackage(path, &file, &capacity);
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

// The header parsed, its module file name checked.
Result<PackageInfo> ReadHeader(std::span<const uint8_t> bytes, const PackageParts& parts) {
  Result<PackageInfo> info =
      PackageInfo::Parse(bytes.subspan(parts.header.offset, parts.header.length));
  if (!info) return info;
  if (!IsPlainFileName(info->Text("filename", kFileNameBufferSize))) return kUpdBadFile;
  return info;
}

Result<PayloadExtent> ReadPayloadExtent(const PackageInfo& info, const ByteRange& content,
                                        const PackageParts& parts) {
  const auto size = static_cast<uint32_t>(info.Int("filesize", 0));
  if (size > content.end() - parts.payload_offset) return kUpdBadFile;
  return PayloadExtent{.offset = parts.payload_offset,
                       .size = size,
                       .crc = static_cast<uint32_t>(info.Int("crc", -1))};
}

// The signature must cover exactly the content the container was read from.
UpdError CheckSignature(IInputStream* stream, const ByteRange& content) {
  ByteRange signed_content;
  if (VerifyUpdatePackageSignature(stream, &signed_content.offset, &signed_content.length) !=
          kPgpOk ||
      signed_content != content) {
    return kUpdSignatureMismatch;
  }
  return kUpdOk;
}

// The payload as it passes through the stream: its CRC-32 and, when it is to
// be kept, a copy.
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

// The whole package in memory (or its first 64 KiB for a header-only
// opening): the checks one after the other.
Result<OpenedPackage> OpenWhole(const char* path, PackageRead read, bool skip_signature) {
  const bool header_only = read == PackageRead::kHeader;
  PackageBytes file;
  const UpdError rc = ReadPackage(path, !header_only, &file);
  if (rc != kUpdOk) return rc;
  ByteRange content;
  PackageParts parts;
  if (!LocatePackageContent(file.view(), &content) ||
      !FindPackageParts(file.view(), content, &parts)) {
    return kUpdBadFile;
  }
  Result<PackageInfo> info = ReadHeader(file.view(), parts);
  if (!info) return info.code();
  if (header_only) {
    return OpenedPackage(std::move(info).value(), SignatureVerdict::kNotRead, std::nullopt,
                         nullptr, nullptr);
  }
  const Result<PayloadExtent> payload = ReadPayloadExtent(*info, content, parts);
  if (!payload) return payload.code();
  const uint8_t* bytes = file.data.get() + payload->offset;
  if (Crc32(bytes, payload->size, 0) != payload->crc) return kUpdBadFile;
  if (!skip_signature) {
    MemoryInputStream memory;
    if (memory.Open(file.data.get(), file.size) != kStreamOk) return kUpdSignatureMismatch;
    const UpdError signature = CheckSignature(&memory, content);
    if (signature != kUpdOk) return signature;
  }
  const SignatureVerdict verdict =
      skip_signature ? SignatureVerdict::kSkipped : SignatureVerdict::kVerified;
  if (read != PackageRead::kPayload) {
    return OpenedPackage(std::move(info).value(), verdict, *payload, nullptr, nullptr);
  }
  return OpenedPackage(std::move(info).value(), verdict, *payload, std::move(file.data), bytes);
}

// The verifier reads the package while the tap takes the payload's CRC-32
// (and copy); reading goes on to the payload's end where the verifier stops
// early, as the CRC is judged first. nullopt: the file shrank meanwhile.
std::optional<Result<OpenedPackage>> CheckInOnePass(PackageFileStream& stream,
                                                    const ByteRange& content,
                                                    const PayloadExtent& payload,
                                                    PackageRead read, PackageInfo info) {
  std::unique_ptr<uint8_t[]> copy;
  if (read == PackageRead::kPayload) {
    copy.reset(new (std::nothrow) uint8_t[payload.size == 0 ? 1 : payload.size]);
    if (copy == nullptr) return kUpdOutOfMemory;
  }
  PayloadTap tap(payload, copy.get());
  stream.SetObserver(&tap);
  const UpdError signature = CheckSignature(&stream, content);
  stream.ReadThrough(payload.offset + payload.size);
  if (stream.failed()) return kUpdReadFailed;
  if (stream.short_file()) return std::nullopt;
  if (tap.crc() != payload.crc) return kUpdBadFile;
  if (signature != kUpdOk) return signature;
  const uint8_t* kept = copy.get();
  return OpenedPackage(std::move(info), SignatureVerdict::kVerified, payload, std::move(copy),
                       kept);
}

// A signed package read once through a window: the header is taken from the
// first window, the payload's CRC-32 (and copy) from the bytes the verifier
// reads. Same results as OpenWhole, which answers (nullopt) where the header
// does not lie in the first window or the file shrinks meanwhile.
std::optional<Result<OpenedPackage>> OpenStreamed(const char* path, PackageRead read) {
  FileHandle file;
  uint64_t size = 0;
  const UpdError rc = OpenWholePackage(path, &file, &size);
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
  Result<PackageInfo> info = ReadHeader(first, parts);
  if (!info) return info.code();
  const Result<PayloadExtent> payload = ReadPayloadExtent(*info, content, parts);
  if (!payload) return payload.code();
  return CheckInOnePass(stream, content, *payload, read, std::move(info).value());
}

}  // namespace

Result<PackageInfo> PackageInfo::Parse(std::span<const uint8_t> header) {
  PackageInfo info;
  info.bytes_.assign(reinterpret_cast<const char*>(header.data()), header.size());
  info.file_.reset(new (std::nothrow) CProfileFile());
  if (info.file_ == nullptr || !info.file_->ParseText(info.bytes_)) return kUpdOutOfMemory;
  return info;
}

std::optional<std::string_view> PackageInfo::Value(std::string_view key) const {
  const char* value = file_->GetValue(kSection, key, nullptr);
  if (value == nullptr) return std::nullopt;
  return std::string_view(value);
}

int32_t PackageInfo::Int(std::string_view key, int32_t fallback) const {
  return file_->GetInt(kSection, key, fallback);
}

// Cut as the INI reader's string copy cuts: a quoted value that fits loses
// its quotes; a value too long keeps size - 2 bytes (1 for size 2).
std::string PackageInfo::Text(std::string_view key, uint32_t size) const {
  const std::optional<std::string_view> found = Value(key);
  if (!found || size == 0) return {};
  const std::string_view value = *found;
  const size_t n = value.size();
  if (n >= 1 && value.front() == '"' && value.back() == '"' && size + 1 >= n) {
    const std::string_view inner = n >= 2 ? value.substr(1, n - 2) : std::string_view();
    return std::string(inner.substr(0, size - 1));
  }
  if (n < size) return std::string(value);
  if (size == 2) return std::string(value.substr(0, 1));
  return std::string(value.substr(0, size >= 3 ? size - 2 : 0));
}

OpenedPackage::OpenedPackage(PackageInfo info, SignatureVerdict signature,
                             std::optional<PayloadExtent> payload,
                             std::unique_ptr<uint8_t[]> kept, const uint8_t* kept_payload)
    : info_(std::move(info)),
      signature_(signature),
      payload_(payload),
      kept_(std::move(kept)),
      kept_payload_(kept_payload) {}

Result<OpenedPackage> OpenedPackage::Open(const char* path, PackageRead read,
                                          bool skip_signature) {
  if (path == nullptr) return kUpdMissing;
  if (read != PackageRead::kHeader && !skip_signature) {
    std::optional<Result<OpenedPackage>> opened = OpenStreamed(path, read);
    if (opened.has_value()) return std::move(*opened);
  }
  return OpenWhole(path, read, skip_signature);
}

UpdError OpenedPackage::WritePayload(const char* path) const {
  if (kept_ == nullptr || !payload_.has_value()) return kUpdInvalidArgument;
  const auto rc = static_cast<UpdError>(SaveBufferToFile(path, kept_payload_, payload_->size));
  if (rc != kUpdOk) (void)DeleteFileChecked(path, 0);
  return rc;
}
