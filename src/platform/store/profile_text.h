#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

// An owned, NUL-terminated copy of a name, key or value. A copy that runs out
// of memory is left empty and not Valid(), so callers can refuse the edit
// instead of throwing.
class ProfileText {
 public:
  ProfileText() = default;

  [[nodiscard]] static ProfileText Copy(std::string_view text) {
    ProfileText copy;
    copy.data_.reset(new (std::nothrow) char[text.size() + 1]);
    if (!copy.data_) return copy;
    if (!text.empty()) std::memcpy(copy.data_.get(), text.data(), text.size());
    copy.data_[text.size()] = '\0';
    copy.size_ = text.size();
    return copy;
  }

  [[nodiscard]] bool Valid() const { return data_ != nullptr; }
  // Null when not Valid().
  [[nodiscard]] const char* CStr() const { return data_.get(); }
  [[nodiscard]] std::string_view View() const { return {data_ ? data_.get() : "", size_}; }
  [[nodiscard]] size_t Size() const { return size_; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
};
