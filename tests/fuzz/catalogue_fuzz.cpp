// Fuzzes the catalogue reader. An input is the INI text of an "update.ver";
// it is written to a file that the profile cache then loads, and every
// reader runs over every section: the section reader in both modes, the
// inline-data extraction, the host's component list, the kept-copy path of
// each file field, the list queries that follow delta chains, the scanner
// check and finally the section removal on the file itself.
// catalogue_fuzz_seeds.sh writes catalogues of the shapes the servers send.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/store/profile_cache.h"
#include "updater/engine/catalogue/catalogue.h"
#include "updater/engine/catalogue/ini_section_remove.h"
#include "updater/engine/lists/component_list.h"
#include "updater/engine/lists/component_reader.h"
#include "updater/engine/lists/host_component_list.h"
#include "updater/engine/lists/scanner_check.h"
#include "updater/engine/session/mirror_source_path.h"
#include "updater/engine/session/section_data.h"

namespace {

// A folder of this process for the catalogue and the extracted data, removed
// when the fuzzer exits.
class WorkFolder {
 public:
  WorkFolder() {
    char folder[] = "/tmp/catalogue_fuzz.XXXXXX";
    if (mkdtemp(folder) == nullptr) std::abort();
    folder_ = folder;
    catalogue = folder_ + "/upd.ver";
    data = folder_ + "/data.bin";
  }
  ~WorkFolder() {
    std::remove(catalogue.c_str());
    std::remove(data.c_str());
    rmdir(folder_.c_str());
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  std::string catalogue;
  std::string data;

 private:
  std::string folder_;
};

const WorkFolder& WorkPaths() {
  static const WorkFolder paths;
  return paths;
}

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

std::vector<std::string> SectionNames(const char* path) {
  std::vector<std::string> names;
  ProfileLockGuard lock;
  const CProfileFile* file = ProfileCacheGetFile(path);
  if (file == nullptr || !file->IsLoaded()) return names;
  for (uint32_t i = 0; i < file->GetSectionCount(); ++i)
    names.emplace_back(file->GetSectionName(i));
  return names;
}

void ExerciseList(const CListBase& list) {
  for (int64_t i = 0; i < list.GetSize(); ++i) {
    ListIndex found = kNoEntry;
    (void)list.FindDeltaFor(static_cast<ListIndex>(i), nullptr, &found);
    (void)list.GetNewestBuild(list[i].module, list[i].platform, nullptr);
    (void)list.FindMatching(list[i]);
  }
  (void)list.GetSelectedSize(0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const WorkFolder& paths = WorkPaths();
  const char* catalogue = paths.catalogue.c_str();
  ProfileCacheRemoveFile(catalogue);
  if (!WriteWhole(paths.catalogue, data, size)) return 0;

  // The bytes as the catalogue step parses them from memory, and as the
  // package readers read the file by path.
  const Catalogue parsed =
      Catalogue::FromText({reinterpret_cast<const char*>(data), size}, CatalogueTrust::kUnchecked);
  CListBase list;
  std::string names;
  for (const std::string& section : SectionNames(catalogue)) {
    _COMPONENT_INFO record;
    if (ReadComponentInfo(parsed, section.c_str(), &record, false)) {
      (void)ReadComponentInfo(parsed, section.c_str(), &record, true);
      _COMPONENT_INFO by_path;
      if (!ReadComponentInfo(catalogue, section.c_str(), &by_path, false)) std::abort();
      char local[4096];
      (void)MakeMirrorSourcePath("/tmp/mirror/", record.url.c_str(), record.module, local,
                                 sizeof local);
      list.Add(record);
    }
    (void)ExtractSectionData(section.c_str(), paths.data.c_str(), catalogue);
    names += section + ",";
  }
  ExerciseList(list);
  list.ResolvePaths("http://srv:8080/upd/");
  list.ReloadReferences(parsed, "http://srv:8080/upd/upd.ver");

  CListBase named;
  (void)named.AddFromNameList(names.c_str(), parsed);
  (void)IsScannerAheadOfCatalogue(parsed, list);

  std::vector<COMPONENT_LIST_ENTRY> entries(16);
  (void)ReadComponentList(catalogue, entries.data(), entries.size() * sizeof entries[0]);

  const std::vector<std::string> sections = SectionNames(catalogue);
  if (!sections.empty()) (void)RemoveIniSection(sections.back().c_str(), catalogue);
  ProfileCacheRemoveFile(catalogue);
  return 0;
}
