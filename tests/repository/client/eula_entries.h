#pragma once

#include <string>
#include <vector>

#include "repository/client/eula_manager.h"
#include "support/temp_dir.h"

namespace upd::test {

// An agreement file waiting in its temporary file beside its target.
inline EulaManager::EulaFileEntry MakeEulaEntry(const TempDir& dir, const std::string& name,
                                                const std::string& new_text) {
  EulaManager::EulaFileEntry entry;
  entry.temporary = dir.file(name + ".EUL.tmp");
  entry.target = dir.file(name);
  entry.backup = entry.target + ".old";
  WriteFile(entry.temporary, new_text);
  return entry;
}

// The two agreements a commit places in these tests: licence.txt, then privacy.txt.
inline std::vector<EulaManager::EulaFileEntry> TwoNewAgreements(const TempDir& dir) {
  return {MakeEulaEntry(dir, "licence.txt", "new licence"),
          MakeEulaEntry(dir, "privacy.txt", "new privacy")};
}

}  // namespace upd::test
