#pragma once

#include <cstdint>
#include <string_view>

// Whole-file saves that a full disk or a crash cannot leave half-written.
//
// A regular file (or a new one) gets the content through a temporary file in
// its own folder (named temp_prefix plus a unique suffix), which is flushed to
// disk, given the old file's mode and owner, and renamed over it. A symbolic
// link keeps being a link: the file it names is replaced. Anything that must
// not be replaced by a rename (a /dev/fd/N path, a device, a pipe, a link
// that names nothing) is written in place, every step checked. lock adds the
// OS layer's advisory lock to that in-place write. The folder must exist.
// False when any step fails; a regular target is then left as it was.
[[nodiscard]] bool ReplaceFileContent(const char* path, std::string_view content,
                                      const char* temp_prefix, bool lock);
