#pragma once

#include <cstdint>

#include "verify/common/byte_array.h"
#include "verify/common/carray.h"

// One revoked certificate as an external source delivers it.
struct CRLRecordEntry {
  uint32_t serial_length;
  const uint8_t* serial;  // in the form X509Certificate::GetSerialNumber holds
  int64_t revocation_time;
};

// One already parsed revocation list as an external source delivers it.
struct CRLRecord {
  uint32_t issuer_length;
  const uint8_t* issuer;  // full DER encoding of the issuer's Name
  uint32_t entry_count;
  const CRLRecordEntry* entries;
};

struct CRLEntry {
  ByteArray serial;
  int64_t revocation_time = 0;
};

// The revoked serials of one issuer, copied from one delivered record.
class CRLInfo {
 public:
  CRLInfo() = default;
  CRLInfo(const CRLInfo&) = delete;
  CRLInfo& operator=(const CRLInfo&) = delete;
  ~CRLInfo();

  // Null for a null record, an empty issuer or when memory runs out. Entries
  // whose serial cannot be copied (an empty one included) are skipped.
  [[nodiscard]] static CRLInfo* FromRecord(const CRLRecord* record);

  const ByteArray& GetIssuer() const { return issuer_; }
  int64_t GetEntryCount() const { return entries_.GetSize(); }
  const CRLEntry* GetEntry(int64_t i) const { return entries_[i]; }

 private:
  ByteArray issuer_;
  CArrayNoThrow<CRLEntry*, CRLEntry* const&> entries_;
};

// The store's records in delivery order; the list owns its CRLInfo objects.
using CRLInfoList = CArrayNoThrow<CRLInfo*, CRLInfo* const&>;

// False when no CRLInfo could be made or the list cannot grow.
[[nodiscard]] bool AddCRLInfo(CRLInfoList& list, const CRLRecord* record);
// The first entry with this serial under this exact issuer encoding, over all
// records of that issuer in list order.
[[nodiscard]] bool FindRevokedEntry(const CRLInfoList& list, const ByteArray& issuer,
                                    const ByteArray& serial, int64_t* revocation_time);
// Frees every entry, every record and the storage.
void FreeCRLInfoList(CRLInfoList& list);
