#pragma once

#include <cstdint>
#include <span>

#include "verify/common/carray.h"

// Ends of indefinite-length elements found during one decoding. One walk to
// the end of an element records the ends of every indefinite element nested
// in it, so each is searched once: nested indefinite forms cost linear time,
// not time proportional to depth times size.
class Asn1EndIndex {
 public:
  // Length of the indefinite content that starts at content.data() (closing
  // 00 00 included), searched within `content` or taken from an earlier walk.
  [[nodiscard]] int Find(std::span<const uint8_t> content, int64_t& length);

  // The same search without remembering anything.
  [[nodiscard]] static int Walk(std::span<const uint8_t> content, int64_t& length);

 private:
  struct Entry {
    uintptr_t key;  // address of the content's first octet; 0 marks a free slot
    int64_t length;
  };

  [[nodiscard]] int WalkAndRecord(std::span<const uint8_t> content, int64_t& length);
  [[nodiscard]] bool Lookup(uintptr_t key, int64_t& length) const;
  [[nodiscard]] int Insert(uintptr_t key, int64_t length);
  [[nodiscard]] int Grow();

  CArrayNoThrow<Entry> slots_;
  int64_t used_ = 0;
};
