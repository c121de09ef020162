#include "verify/x509/crl_info.h"

#include <memory>
#include <new>

CRLInfo::~CRLInfo() {
  for (CRLEntry* entry : entries_) delete entry;
}

CRLInfo* CRLInfo::FromRecord(const CRLRecord* record) {
  if (record == nullptr || record->issuer_length == 0 || record->issuer == nullptr) return nullptr;
  std::unique_ptr<CRLInfo> info(new (std::nothrow) CRLInfo());
  if (info == nullptr || !info->issuer_.AssignBytes({record->issuer, record->issuer_length})) {
    return nullptr;
  }
  if (record->entry_count == 0 || record->entries == nullptr) return info.release();
  for (uint32_t i = 0; i < record->entry_count; ++i) {
    const CRLRecordEntry& source = record->entries[i];
    if (source.serial_length == 0 || source.serial == nullptr) continue;
    std::unique_ptr<CRLEntry> entry(new (std::nothrow) CRLEntry());
    if (entry == nullptr || !entry->serial.AssignBytes({source.serial, source.serial_length})) {
      continue;
    }
    entry->revocation_time = source.revocation_time;
    CRLEntry* raw = entry.get();
    if (!info->entries_.Add(raw)) return nullptr;
    (void)entry.release();
  }
  return info.release();
}

bool AddCRLInfo(CRLInfoList& list, const CRLRecord* record) {
  std::unique_ptr<CRLInfo> info(CRLInfo::FromRecord(record));
  if (info == nullptr) return false;
  CRLInfo* raw = info.get();
  if (!list.Add(raw)) return false;
  (void)info.release();
  return true;
}

bool FindRevokedEntry(const CRLInfoList& list, const ByteArray& issuer, const ByteArray& serial,
                      int64_t* revocation_time) {
  for (const CRLInfo* info : list) {
    if (!info->GetIssuer().Equals(issuer)) continue;
    for (int64_t i = 0; i < info->GetEntryCount(); ++i) {
      const CRLEntry* entry = info->GetEntry(i);
      if (!entry->serial.Equals(serial)) continue;
      if (revocation_time != nullptr) *revocation_time = entry->revocation_time;
      return true;
    }
  }
  return false;
}

void FreeCRLInfoList(CRLInfoList& list) {
  for (CRLInfo* info : list) delete info;
  list.RemoveAll();
}
