#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "platform/store/profile_file.h"
#include "platform/util/result.h"
#include "platform/util/update_errors.h"

// A package (".nup", see update_package.h) opened once: its header parsed,
// its payload found and checked, its signature judged. Callers ask the object
// instead of reading a header file back.

// The "[update_info]" header of a package, parsed.
class PackageInfo {
 public:
  // Parses the header's bytes exactly as they stand in the package.
  [[nodiscard]] static Result<PackageInfo> Parse(std::span<const uint8_t> header);

  // The value as an INI reader gives it: a signed decimal number kept to 32
  // bits (text that is not a number reads 0), or fallback when absent.
  [[nodiscard]] int32_t Int(std::string_view key, int32_t fallback) const;
  // The value without surrounding double quotes, cut to fit size - 1 bytes as
  // an INI reader cuts it; "" when absent.
  [[nodiscard]] std::string Text(std::string_view key, uint32_t size) const;
  // The value as stored, or nothing when absent.
  [[nodiscard]] std::optional<std::string_view> Value(std::string_view key) const;
  // The header as a parsed INI file, for readers of catalogue sections.
  [[nodiscard]] const CProfileFile& file() const { return *file_; }
  // The header's bytes as they stand in the package.
  [[nodiscard]] std::string_view bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::unique_ptr<CProfileFile> file_;
};

// How much of the package an opening reads and checks.
enum class PackageRead {
  // The first 64 KiB: the header and its file name, nothing else.
  kHeader,
  // The whole package: the payload's size and CRC-32 and the signature.
  kChecked,
  // As kChecked, and the payload is kept for WritePayload.
  kPayload,
};

enum class SignatureVerdict {
  kNotRead,   // a header-only opening
  kSkipped,   // the caller asked not to check it
  kVerified,  // under the update key and its signing certificate
};

// The payload as the header gives it, counted from the file's start.
struct PayloadExtent {
  uint64_t offset = 0;
  uint32_t size = 0;
  uint32_t crc = 0;
};

class OpenedPackage {
 public:
  // The header and payload are taken only from the literal content of a
  // signed package, never from the unsigned bytes around it, and the
  // header's "filename" must be a plain file name; otherwise kUpdBadFile. A
  // payload whose CRC-32 is wrong is kUpdBadFile before any signature fault
  // (kUpdSignatureMismatch). kUpdMissing for a null or missing path.
  [[nodiscard]] static Result<OpenedPackage> Open(const char* path, PackageRead read,
                                                  bool skip_signature);

  [[nodiscard]] const PackageInfo& info() const { return info_; }
  // The header, for a caller that keeps it longer than the package.
  [[nodiscard]] PackageInfo TakeInfo() && { return std::move(info_); }
  [[nodiscard]] SignatureVerdict signature() const { return signature_; }
  // Nothing for a header-only opening.
  [[nodiscard]] const std::optional<PayloadExtent>& payload() const { return payload_; }

  // Writes the kept payload (PackageRead::kPayload) to path; a file only
  // partly written is deleted. kUpdInvalidArgument when none was kept.
  [[nodiscard]] UpdError WritePayload(const char* path) const;

  // Used by the opening steps.
  OpenedPackage(PackageInfo info, SignatureVerdict signature,
                std::optional<PayloadExtent> payload, std::unique_ptr<uint8_t[]> kept,
                const uint8_t* kept_payload);

 private:
  PackageInfo info_;
  SignatureVerdict signature_;
  std::optional<PayloadExtent> payload_;
  // The bytes holding the kept payload (the whole file, or a copy of the
  // payload alone), and where the payload starts in them.
  std::unique_ptr<uint8_t[]> kept_;
  const uint8_t* kept_payload_ = nullptr;
};
