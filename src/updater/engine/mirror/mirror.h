#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/util/host_binding.h"
#include "platform/util/update_errors.h"
#include "updater.h"
#include "updater/engine/common/run_cancellation.h"
#include "updater/engine/lists/update_lists.h"

inline constexpr char kMirrorDllFolder[] = "dll";
inline constexpr char kMirrorDylibFolder[] = "dylib";
inline constexpr char kMirrorCatalogueName[] = "update.ver";

// What the mirror's pass works with: the call's settings (with the mirror
// settings), the run's lists, the run's last catalogue (whose update hash a
// mirror of a mirror passes on) and the run's cancellation.
struct MirrorPass {
  const HostBinding& host;
  CUpdateLists& lists;
  const char* lastCatalogue;
  RunCancellation cancellation;
};

// A folder from which other installations update as from a server: root
// "update.ver" (engine and application packages) with its packages, and the
// same under "dll" and "dylib". The mirror's records are read again from
// its packages by every run; between runs it has no state of its own.
//
// Marks as the mirror uses them: to fetch, present locally, download failed
// (never placed), dropped (mirror entries: deleted after a successful pass),
// and kComponentMirrored, to be written into a catalogue.
class CMirror {
 public:
  CMirror() = default;
  virtual ~CMirror() = default;
  CMirror(const CMirror&) = delete;
  CMirror& operator=(const CMirror&) = delete;

  // Reads the packages of the mirror's three folders (headers only) into the
  // list, then drops superseded ones. The mirror callback hears kUpdMirrorEmpty when
  // the mirror holds none. With update_folder also sets the staging folders.
  UpdError LoadMirrorContents(const MIRROR_SETTINGS* mirror, const char* update_folder);
  // Keeps the newest package of each name and category; of equal builds the
  // one listed last.
  void DropSuperseded();
  // Marks the server's entries to fetch and the mirror's to drop; returns
  // how many entries are to be fetched.
  uint32_t CompareLists(CListBase& update, CListBase& continuous, CListBase& reverse,
                        CListBase& component, const CListBase& local);
  // Level-by-level comparison of the package chain of list[index]'s module.
  void MarkChanged(CListBase& list, ListIndex index);
  // The mirror's chain of the module goes, the list's whole chain is fetched.
  void DropByName(CListBase& list, uint32_t category, const char* module, uint32_t platform);
  // Takes local packages in place of downloads; counts the entries to fetch.
  uint32_t ResolveFetches(CListBase& update, CListBase& continuous, CListBase& reverse,
                          CListBase& component, const CListBase& local);
  // Drops the mirror's packages the server no longer offers.
  void PlanDrops(const CListBase& update, const CListBase& continuous, const CListBase& reverse,
                 const CListBase& component);

  // Places the fetched packages and writes the three catalogues; progress
  // goes to the host with event 2.
  [[nodiscard]] UpdError Run(const MirrorPass& pass, uint32_t progress);
  [[nodiscard]] UpdError PlacePackages(const MirrorPass& pass, CListBase& list);
  [[nodiscard]] UpdError PlacePcuPackages(const MirrorPass& pass, CListBase& component);
  // Whether every application package to be placed is agreed.
  [[nodiscard]] bool ArePendingPcusAgreed(const CListBase& component) const;
  // Whether a not-dropped entry of the category exists.
  [[nodiscard]] bool HasCategory(uint32_t category) const;
  UpdError PostProcess(const MirrorPass& pass);
  // Deletes the files of the dropped entries.
  void DeleteDroppedFiles();
  // Writes (or deletes) the catalogue of one folder from the list.
  [[nodiscard]] UpdError WriteCatalogue(const MirrorPass& pass, const std::string& folder,
                                        bool wanted, std::initializer_list<uint32_t> categories);
  // Empties the list; the paths stay.
  void Clear();

  [[nodiscard]] CMirrorList& list() { return list_; }
  [[nodiscard]] const std::string& rootFolder() const { return rootFolder_; }

 private:
  // Publishes source at a new name made from pattern: a move (rename) from
  // a staging folder, else a copy; mode 0644. The new record joins the list.
  [[nodiscard]] UpdError Publish(const MirrorPass& pass, const _COMPONENT_INFO& entry,
                                 const std::string& pattern, bool move);
  // An entry of the server that was not placed keeps the mirror's copy it
  // was to replace.
  void KeepReplacedCopies(const _COMPONENT_INFO& entry);
  [[nodiscard]] ListIndex FindMirrorCopy(const _COMPONENT_INFO& entry) const;

  std::string tempMirrorFolder_;
  std::string tempMirrorPcuFolder_;
  std::string rootFolder_;
  std::string dllFolder_;
  std::string dylibFolder_;
  CMirrorList list_;
  // Entries that DropSuperseded dropped: never kept back.
  std::vector<bool> superseded_;
};

// The staged package's signature and CRC-32 hold.
[[nodiscard]] bool IsPublishablePackage(const char* path);
