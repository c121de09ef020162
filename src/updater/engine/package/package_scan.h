#pragma once

#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/lists/component_list.h"

// Component records of the package files in a folder.

// Reads the "[update_info]" header of the package at package_path into
// record (zeroed first) through a temporary INI file, which is deleted
// before returning. skip_signature reads only the header; otherwise the
// whole package is checked, signature included. On success the record has
// is present and its localFile is package_path. The container's code on
// its failure; kUpdBadFile for a header the catalogue reader refuses.
[[nodiscard]] UpdError ReadUpdateInfoSection(const char* package_path, _COMPONENT_INFO* record,
                                             bool skip_signature);

struct FolderScan {
  // Glob pattern of the folder's package names, e.g. "*.nup".
  const char* pattern = "*.nup";
  // ORed into every record stored.
  uint32_t flagsToSet = 0;
  // Keep engine packages (category 3) only.
  bool onlyEngine = false;
  // Pass over a record the list already holds (CListBase::FindMatching).
  bool skipDuplicates = false;
  // Reads only the headers; otherwise every package is checked whole.
  bool skipSignature = false;
};

// Reads every package of folder that matches the scan's pattern and is not
// a folder, and stores the records at start_index onwards (the list grows as
// needed). A package found invalid is deleted; one that cannot be read for
// another reason stays. A record without a size gets the file's size.
// Returns the number of records stored.
uint32_t ScanFolderToList(const char* folder, CListBase* list, int64_t start_index,
                          const FolderScan& scan);

// Deletes the file of every record whose flags share a bit with mask; for a
// file ending in ".raw" (any case) also the file without that extension.
void DeleteSelectedFiles(const CListBase& records, uint32_t mask);
