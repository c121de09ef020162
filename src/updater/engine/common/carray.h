#pragma once

#include <cstdint>
#include <new>

#include "verify/common/carray.h"

// The engine's growable array of records: the growth rule of CArrayNoThrow
// (exact first block, then steps of 4 below 32 records, else min(size / 8,
// 1024), or the step set for the array), new records value-initialised, but
// a failed allocation throws std::bad_alloc, which the exports turn into
// their out-of-memory result. A growth that fails leaves the block in place
// as it was.
template <class T>
class CArray : private CArrayNoThrow<T> {
  using Base = CArrayNoThrow<T>;

 public:
  // SetSize step argument that keeps the stored step.
  static constexpr int64_t kKeepGrowBy = -1;

  CArray() = default;
  CArray(CArray&&) noexcept = default;
  CArray& operator=(CArray&&) noexcept = default;
  ~CArray() override = default;

  using Base::begin;
  using Base::end;
  using Base::GetCapacity;
  using Base::GetData;
  using Base::GetGrowBy;
  using Base::GetSize;
  using Base::IsEmpty;
  using Base::operator[];
  using Base::RemoveAll;

  // A step other than kKeepGrowBy replaces the stored one (0 selects the
  // automatic rule). Size 0 frees the block.
  void SetSize(int64_t size, int64_t grow_by = kKeepGrowBy) { Check(Base::SetSize(size, grow_by)); }
  // Appends a copy (which may come from this array) and returns its index.
  int64_t Add(const T& record) {
    Check(Base::Add(record));
    return GetSize() - 1;
  }
  // Stores a copy at index, first growing the array to index + 1 records.
  void SetAtGrow(int64_t index, const T& record) { Check(Base::SetAtGrow(index, record)); }

 private:
  static void Check(int done) {
    if (done == 0) throw std::bad_alloc();
  }
};
