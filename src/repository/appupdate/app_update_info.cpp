#include "repository/appupdate/app_update_info.h"

#include <array>
#include <cstring>

#include "platform/util/host_records.h"
#include "platform/util/result_allocator.h"

namespace {

std::array<HOST_STRING*, 9> Strings(APP_UPDATE_INFO* record) {
  return {&record->id,
          &record->version,
          &record->documentUrl,
          &record->agreementHash,
          &record->documentHash,
          &record->changelogUrl,
          &record->agreementName,
          &record->agreementVersion,
          &record->effectiveDate};
}

bool Append(HOST_STRING* string, std::string_view text) {
  return HostStringAppend(string, text.size(), text.data());
}

}  // namespace

void AppUpdateInfoInit(APP_UPDATE_INFO* record) {
  std::memset(record, 0, sizeof *record);
  record->cbSize = kAppUpdateInfoSize;
  for (HOST_STRING* string : Strings(record)) HostStringInit(string, &DefaultResultAllocator);
}

void AppUpdateInfoDestroy(APP_UPDATE_INFO* record) {
  for (HOST_STRING* string : Strings(record)) HostStringFree(string);
}

bool AppUpdateInfoArrayPushBack(HOST_ARRAY* array, APP_UPDATE_INFO* record) {
  if (!HostArrayPushBack(array, *record)) return false;
  AppUpdateInfoInit(record);
  return true;
}

bool FillAppUpdateDocumentFields(std::string_view name, std::string_view agreement_version,
                                 std::string_view document_url, std::string_view agreement_hash,
                                 std::string_view document_hash, std::string_view effective_date,
                                 uint32_t level, APP_UPDATE_INFO* record) {
  bool ok = Append(&record->agreementName, name);
  ok &= Append(&record->agreementVersion, agreement_version);
  ok &= Append(&record->documentUrl, document_url);
  ok &= Append(&record->agreementHash, agreement_hash);
  ok &= Append(&record->documentHash, document_hash);
  ok &= Append(&record->effectiveDate, effective_date);
  record->agreementLevel = level;
  return ok;
}
