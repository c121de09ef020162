#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater.h"
#include "verify/common/input_stream.h"

// Update packages (".nup"): an OpenPGP signed message whose literal content
// is the container of package_layout.h.

// Name of a package kept on disk; the number is random (CreateUniqueFile).
inline constexpr char kPackageNameFormat[] = "zel%08X.nup";

// Payload path of ExtractUpdateInfoPackage that checks everything but writes
// no payload (the all-ones pointer value).
inline const char* const kPackageCheckOnly = reinterpret_cast<const char*>(~uintptr_t{0});

// A module file name that names a file of the folder it is placed in and
// nothing else: not empty, at most 255 bytes, without '/', '\\' or "..".
[[nodiscard]] bool IsPlainFileName(std::string_view name);

// 0 when the signed message read from stream verifies under the update key
// and "Wexa Update Signing Certificate"; 9 when the stream cannot be
// attached; else the verifier's code. On 0 the optional outputs receive where
// the literal content lies, counted from the stream's position on entry.
[[nodiscard]] uint32_t VerifyUpdatePackageSignature(IInputStream* stream,
                                                    uint64_t* content_offset = nullptr,
                                                    uint64_t* content_length = nullptr);

// Opens a package: writes its "[update_info]" header to a new temporary INI
// file ("NSFX.XXXXXX" in the temporary folder) and, with a payload path,
// checks the payload's size and CRC-32 and the package's signature, then
// writes the payload there (kPackageCheckOnly: nowhere). A null payload path
// reads only the first 64 KiB and checks nothing beyond the header.
//
// The header and payload are taken only from the literal content of a
// signed package, never from the unsigned bytes around it, and the header's
// "filename" must be a plain file name; otherwise 0x1012.
//
// ini_path (ini_size bytes, may be null) is emptied first and receives the
// INI file's path; the file then stays for the caller, also on failure.
// Without it the INI file is deleted before returning. Either way the INI
// file is dropped from the INI profile cache.
[[nodiscard]] UPD_ERROR ExtractUpdateInfoPackage(const char* package_path,
                                                 const char* payload_path, char* ini_path,
                                                 size_t ini_size, bool skip_signature);
