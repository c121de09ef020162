#pragma once

#include <cstdint>
#include <span>
#include <string_view>

// The update package container inside a package file's bytes: any prefix,
// the header "[update_info]" with its INI lines, the data marker, the
// payload, any suffix.

inline constexpr std::string_view kPackageHeaderTag = "[update_info]";
// "[update_data]" CR LF 0x1A 0x00; the letters match in either case.
inline constexpr std::string_view kPackageDataMarker{"[update_data]\r\n\x1a\0", 17};

struct ByteRange {
  uint64_t offset = 0;
  uint64_t length = 0;
  uint64_t end() const { return offset + length; }
  bool operator==(const ByteRange&) const = default;
};

// Where the container is searched. Bytes that begin with an OpenPGP packet
// are a signed message, and only the content of its literal data packet
// counts: the literal's file name and the packets around it are not signed,
// so a header placed there must never be found. The literal's body is cut at
// the end of the bytes, so that the start of a large package read alone
// still yields its header. Other bytes are a bare container, searched whole.
// False when packets come first but no literal content can be framed.
[[nodiscard]] bool LocatePackageContent(std::span<const uint8_t> bytes, ByteRange* content);
// The same for the first bytes of a file of total bytes: the content is
// framed as in the whole file, so every packet header up to the literal's
// fixed fields must lie within bytes.
[[nodiscard]] bool LocatePackageContent(std::span<const uint8_t> bytes, uint64_t total,
                                        ByteRange* content);

struct PackageParts {
  ByteRange header;             // "[update_info]" up to the marker
  uint64_t payload_offset = 0;  // right after the marker's 0x00
};

// Finds the first "[update_info]" inside within (ASCII case-insensitive) and
// the first data marker from there on; both must lie whole inside within.
[[nodiscard]] bool FindPackageParts(std::span<const uint8_t> bytes, ByteRange within,
                                    PackageParts* parts);
