#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"
#include "repository/client/repository_host_records.h"

namespace upd::test {

inline void SetHostText(HOST_STRING& string, std::string_view text) {
  HostStringInit(&string, &DefaultResultAllocator);
  if (!HostStringAppend(&string, text.size(), text.data())) std::abort();
}

// Host records as a driver passes them: a HOST_ARRAY over records whose
// strings this list owns.
template <typename Record, HOST_STRING Record::*... Strings>
class HostList {
 public:
  HostList() = default;
  HostList(const HostList&) = delete;
  HostList& operator=(const HostList&) = delete;
  ~HostList() {
    for (Record& record : records_) (HostStringFree(&(record.*Strings)), ...);
  }

  // Texts in the order of Strings.
  Record& Add(std::initializer_list<std::string_view> texts) {
    Record& record = records_.emplace_back();
    record.cbSize = sizeof(Record);
    auto text = texts.begin();
    ((SetHostText(record.*Strings, text != texts.end() ? *text++ : "")), ...);
    return record;
  }

  const HOST_ARRAY* Array() {
    array_ = {records_.data(), records_.size(), records_.size(), &DefaultResultAllocator};
    return &array_;
  }

 private:
  std::vector<Record> records_;
  HOST_ARRAY array_{};
};

// name, version, accepted document hash, accepted agreement hash.
using ComponentList =
    HostList<AcceptedComponentRecord, &AcceptedComponentRecord::name,
             &AcceptedComponentRecord::version, &AcceptedComponentRecord::documentHash,
             &AcceptedComponentRecord::agreementHash>;
// target, name, version, language (the format is set on the record).
using EulaFileList = HostList<EulaFileRecord, &EulaFileRecord::target, &EulaFileRecord::name,
                              &EulaFileRecord::version, &EulaFileRecord::language>;
// name, installed version (the format is set on the record).
using ProductList = HostList<RepositoryProductRecord, &RepositoryProductRecord::name,
                             &RepositoryProductRecord::installedVersion>;

}  // namespace upd::test
