#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/store/xml_pointer_set.h"

// Byte storage of one XML document. Both kinds keep their bytes at stable
// addresses or offsets for the document's whole life, so nodes refer into
// them instead of holding copies.

// Value pool size at creation; it grows geometrically from there.
inline constexpr size_t kXmlPoolInitialBytes = 4096;

// The escaped values of a document. Offsets below TextSize() lie in the text
// the document was loaded from, which is kept whole and never changes (loaded
// names and values refer into it); later offsets lie in the values appended
// since, which grow geometrically and may move (nodes keep offsets).
class XmlValuePool {
 public:
  XmlValuePool() { appended_.reserve(kXmlPoolInitialBytes); }

  // Makes text the start of the pool. Bytes appended before are dropped: only
  // a document without nodes is loaded.
  void AdoptText(std::string text);
  // Drops the text (after a failed load, when no node refers to it).
  void ReleaseText();
  [[nodiscard]] const std::string& Text() const { return text_; }

  // Appends escaped bytes; false when memory runs out.
  [[nodiscard]] bool Append(std::string_view raw, uint64_t* begin);
  // The bytes [begin, begin + length); empty when the range lies outside
  // the pool or across its two parts.
  [[nodiscard]] std::string_view Range(uint64_t begin, uint64_t length) const;

 private:
  std::string text_;
  std::string appended_;
};

// Names of nodes that cannot refer into a loaded text (names given through
// the API, names split by line breaks), each kept once for the document's
// life, packed into blocks that never move.
class XmlNameStore {
 public:
  // A stable NUL-terminated copy of name, the same for equal names; null
  // when memory runs out.
  [[nodiscard]] const char* Intern(std::string_view name);

 private:
  struct Traits {
    static std::string_view Name(const char* name) { return name; }
    static size_t Hash(std::string_view name);
    static bool Equal(std::string_view a, std::string_view b) { return a == b; }
  };
  [[nodiscard]] char* Keep(std::string_view name);

  std::vector<std::unique_ptr<char[]>> blocks_;
  char* free_ = nullptr;  // unused end of the newest block
  size_t free_bytes_ = 0;
  XmlPointerSet<char, Traits> index_;
};
