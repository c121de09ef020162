#include "platform/store/xml_storage.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

void XmlValuePool::AdoptText(std::string text) {
  text_ = std::move(text);
  appended_.clear();
}

void XmlValuePool::ReleaseText() { std::string().swap(text_); }

bool XmlValuePool::Append(std::string_view raw, uint64_t* begin) {
  try {
    *begin = text_.size() + appended_.size();
    appended_.append(raw);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

std::string_view XmlValuePool::Range(uint64_t begin, uint64_t length) const {
  const uint64_t text_size = text_.size();
  if (begin < text_size) {
    if (length > text_size - begin) return {};
    return std::string_view(text_).substr(begin, length);
  }
  const uint64_t offset = begin - text_size;
  if (offset > appended_.size() || length > appended_.size() - offset) return {};
  return std::string_view(appended_).substr(offset, length);
}

namespace {

// Names are at most 49 bytes; a block holds many of them.
constexpr size_t kNameBlockBytes = 4096;

}  // namespace

size_t XmlNameStore::Traits::Hash(std::string_view name) {
  return XmlNameHash(name, [](char c) { return c; });
}

char* XmlNameStore::Keep(std::string_view name) {
  const size_t bytes = name.size() + 1;
  if (bytes > free_bytes_) {
    blocks_.reserve(blocks_.size() + 1);
    blocks_.push_back(std::make_unique<char[]>(std::max(kNameBlockBytes, bytes)));
    free_ = blocks_.back().get();
    free_bytes_ = std::max(kNameBlockBytes, bytes);
  }
  char* kept = free_;
  name.copy(kept, name.size());
  kept[name.size()] = 0;
  free_ += bytes;
  free_bytes_ -= bytes;
  return kept;
}

const char* XmlNameStore::Intern(std::string_view name) {
  try {
    if (const char* found = index_.Find(name)) return found;
    char* kept = Keep(name);
    index_.Insert(kept);
    return kept;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
