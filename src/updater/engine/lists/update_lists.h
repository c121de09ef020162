#pragma once

#include <cstdint>

#include "updater/engine/common/carray.h"
#include "updater/engine/common/component_info.h"
#include "updater/engine/lists/component_list.h"

// Plain (un-prefixed) catalogue entries chosen for this run.
class CUpdateList : public CListBase {};
// Entries of "CONTINUOUS_" sections.
class CContinuousList : public CListBase {};
// Entries of "PRELIMINARY_" sections.
class CPreliminaryList : public CListBase {};
// Entries of "REVERSE_" sections.
class CReverseList : public CListBase {};
// Packages of the local package folders and of "base_nonnups".
class CLocalList : public CListBase {};
// Catalogue sections that the mirror settings name one by one.
class CComponentList : public CListBase {};
// Bases for deltas: installed module files and full local packages.
class CBaseNupList : public CListBase {};
// The mirror's entries.
class CMirrorList : public CListBase {};

// Installed engine modules that the catalogue offers.
class CInstalledList : public CArray<_INSTALLED_COMPONENT_INFO> {
 public:
  // Names compare ASCII case-insensitively; kNoEntry when none matches.
  [[nodiscard]] ListIndex FindByNameAndPlatform(const char* name, uint32_t platform) const;
  [[nodiscard]] ListIndex FindByName(const char* name) const;
};

// CRC-32 values of update-group names.
class CGroupList : public CArray<unsigned int> {};

// The six per-run lists of a library context, kept for the context's life
// and emptied at the start of every module update.
struct CUpdateLists {
  CUpdateList updateList;
  CContinuousList continuousList;
  CPreliminaryList preliminaryList;
  CReverseList reverseList;
  CLocalList localList;
  CComponentList componentList;

  // Frees every list's block.
  void Clear();
};
