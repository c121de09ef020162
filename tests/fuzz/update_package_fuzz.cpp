// Fuzzes the update package container. An input is a flags byte (bit 0
// header only, bit 1 skip the signature, bit 2 keep the payload) followed
// by the package file's bytes, which are opened through a memory file as
// OpenedPackage opens any package. The layout search and the
// signed-buffer check also run over the bytes directly, and every range they
// report must lie inside them. update_package_fuzz_seeds.sh writes genuine
// and tampered packages of the signing kit, signed by the key this build
// embeds, so the fuzzer starts past the signature.

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "updater/engine/catalogue/signed_buffer.h"
#include "updater/engine/package/opened_package.h"
#include "updater/engine/package/package_layout.h"
#include "updater/engine/package/update_package.h"

namespace {

int g_package_fd = -1;
std::string g_package_path;
std::string g_temp_folder;

void RemoveTempFolder() {
  std::error_code ec;
  std::filesystem::remove_all(g_temp_folder, ec);
}

bool Inside(const ByteRange& range, size_t size) {
  return range.offset <= size && range.length <= size - range.offset;
}

void CheckLayout(std::span<const uint8_t> bytes) {
  ByteRange content;
  if (!LocatePackageContent(bytes, &content)) return;
  if (!Inside(content, bytes.size())) __builtin_trap();
  // The file's first half frames the same content, or none at all.
  ByteRange from_start;
  if (LocatePackageContent(bytes.first(bytes.size() / 2), bytes.size(), &from_start) &&
      from_start != content) {
    __builtin_trap();
  }
  PackageParts parts;
  if (!FindPackageParts(bytes, content, &parts)) return;
  if (!Inside(parts.header, bytes.size()) || parts.header.offset < content.offset ||
      parts.payload_offset > content.end()) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // INI files go to a folder of this process alone.
  std::string pattern = (std::filesystem::temp_directory_path() / "nupfuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  g_temp_folder = pattern;
  setenv("TMPDIR", g_temp_folder.c_str(), 1);
  std::atexit(RemoveTempFolder);
  g_package_fd = memfd_create("package", 0);
  if (g_package_fd < 0) std::abort();
  g_package_path = "/dev/fd/" + std::to_string(g_package_fd);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  const std::span<const uint8_t> bytes(data + 1, size - 1);
  CheckLayout(bytes);

  uint64_t offset = 0;
  uint64_t length = 0;
  if (CheckSignedBuffer(bytes.data(), bytes.size(), &offset, &length, kUpdateSigner) &&
      !Inside({offset, length}, bytes.size())) {
    __builtin_trap();
  }

  if (ftruncate(g_package_fd, 0) != 0 ||
      (!bytes.empty() && pwrite(g_package_fd, bytes.data(), bytes.size(), 0) !=
                             static_cast<ssize_t>(bytes.size())) ||
      lseek(g_package_fd, 0, SEEK_SET) != 0) {
    std::abort();
  }
  const PackageRead read = (flags & 1) != 0 ? PackageRead::kHeader
                          : (flags & 4) != 0 ? PackageRead::kPayload
                                             : PackageRead::kChecked;
  const Result<OpenedPackage> opened =
      OpenedPackage::Open(g_package_path.c_str(), read, (flags & 2) != 0);
  if (opened && read != PackageRead::kHeader) {
    // A payload claimed must lie inside the file.
    const PayloadExtent& payload = *opened->payload();
    if (!Inside({payload.offset, payload.size}, bytes.size())) __builtin_trap();
  }
  return 0;
}
