#include "updater/engine/lists/update_lists.h"

#include "platform/util/strings.h"

namespace {

template <class Match>
ListIndex FindInstalled(const CInstalledList& list, Match match) {
  for (int64_t i = 0; i < list.GetSize(); ++i) {
    if (match(list[i])) return static_cast<ListIndex>(i);
  }
  return kNoEntry;
}

}  // namespace

ListIndex CInstalledList::FindByNameAndPlatform(const char* name, uint32_t platform) const {
  return FindInstalled(*this, [&](const _INSTALLED_COMPONENT_INFO& e) {
    return e.platform == platform && AsciiStrICmp(e.name, name) == 0;
  });
}

ListIndex CInstalledList::FindByName(const char* name) const {
  return FindInstalled(
      *this, [&](const _INSTALLED_COMPONENT_INFO& e) { return AsciiStrICmp(e.name, name) == 0; });
}

void CUpdateLists::Clear() {
  updateList.RemoveAll();
  continuousList.RemoveAll();
  preliminaryList.RemoveAll();
  reverseList.RemoveAll();
  localList.RemoveAll();
  componentList.RemoveAll();
}
