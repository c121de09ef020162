#pragma once

#include <cstdint>
#include <string_view>

#include "updater.h"

// APP_UPDATE_INFO records of the application update check. The library's
// records keep their strings with the built-in result allocator; a record
// pushed into the host's array goes there with its strings.

inline constexpr uint32_t kAppUpdateInfoSize = sizeof(APP_UPDATE_INFO);

// A new record: zero-filled, cbSize set, every string empty with the
// built-in result allocator.
void AppUpdateInfoInit(APP_UPDATE_INFO* record);
// Gives the heap blocks of the record's strings back to their allocators.
void AppUpdateInfoDestroy(APP_UPDATE_INFO* record);

// Appends the record to an array of APP_UPDATE_INFO. On success the array
// owns the record's strings and the record is new again; on failure the
// record and the array are unchanged.
[[nodiscard]] bool AppUpdateInfoArrayPushBack(HOST_ARRAY* array, APP_UPDATE_INFO* record);

// Appends the six texts of a licence agreement document (name, agreement
// version, document URL, agreement hash, document hash, effective date) to
// their fields and stores the level. Every field is tried; true only when
// every append succeeded.
[[nodiscard]] bool FillAppUpdateDocumentFields(
    std::string_view name, std::string_view agreement_version, std::string_view document_url,
    std::string_view agreement_hash, std::string_view document_hash,
    std::string_view effective_date, uint32_t level, APP_UPDATE_INFO* record);
