#pragma once

#include <cstdint>

#include "net/http/transfer_bound.h"

// Size bounds of the engine's downloads (TransferBound). A listing that
// announces a package's size bounds that package; these named limits bound
// what nobody announced, far above any real file of its kind and low enough
// that a hostile or broken server can neither fill the disk nor the host's
// memory.

// A catalogue, its signed form or a repository document: a few hundred KiB
// in practice.
inline constexpr uint64_t kMaxDocumentBytes = uint64_t{64} << 20;
// Any other download into a file (a pico file, a package whose listing gave
// no size).
inline constexpr uint64_t kDefaultFileDownloadBytes = uint64_t{1} << 30;
// Any other download into memory.
inline constexpr uint64_t kDefaultMemoryDownloadBytes = uint64_t{64} << 20;
