#include "repository/json/json_string.h"

#include <cstring>
#include <cwchar>

#include "platform/util/charset.h"

namespace wexajson {
namespace {

uint32_t LengthOf(const char* text, uint32_t length) {
  if (text == nullptr) return 0;
  return length == String::kToNul ? static_cast<uint32_t>(std::strlen(text)) : length;
}

uint32_t LengthOf(const wchar_t* text, uint32_t length) {
  if (text == nullptr) return 0;
  return length == String::kToNul ? static_cast<uint32_t>(std::wcslen(text)) : length;
}

}  // namespace

std::optional<std::wstring> WidenUtf8(const char* text) {
  const size_t needed = Utf8ToWide(text, nullptr, 0);
  if (needed == 0) return std::nullopt;
  std::wstring wide(needed, L'\0');
  const size_t written = Utf8ToWide(text, wide.data(), needed);
  if (written == 0) return std::nullopt;
  wide.resize(written - 1);
  return wide;
}

std::string NarrowUcs4(const wchar_t* text) {
  const size_t needed = Ucs4ToUtf8(text, nullptr, 0);
  if (needed == 0) return {};
  std::string narrow(needed, '\0');
  const size_t written = Ucs4ToUtf8(text, narrow.data(), needed);
  narrow.resize(written == 0 ? 0 : written - 1);
  return narrow;
}

String::String() : narrow_(std::shared_ptr<const void>(), "") {}

String::String(const char* text, uint32_t length)
    : String(text == nullptr ? std::string() : std::string(text, LengthOf(text, length))) {}

String::String(const wchar_t* text, uint32_t length)
    : String(text == nullptr ? std::wstring() : std::wstring(text, LengthOf(text, length))) {}

String::String(std::string text) : length_(static_cast<uint32_t>(text.size())) {
  auto owned = std::make_shared<const std::string>(std::move(text));
  narrow_ = std::shared_ptr<const char>(owned, owned->c_str());
}

String::String(std::wstring text) : length_(static_cast<uint32_t>(text.size())) {
  auto owned = std::make_shared<const std::wstring>(std::move(text));
  wide_ = std::shared_ptr<const wchar_t>(owned, owned->c_str());
}

String String::Shared(std::shared_ptr<const void> owner, std::string_view text) {
  String s;
  s.narrow_ = std::shared_ptr<const char>(std::move(owner), text.data());
  s.length_ = static_cast<uint32_t>(text.size());
  return s;
}

String::String(const String& other)
    : narrow_(other.narrow_),
      wide_(other.wide_),
      length_(other.length_),
      converted_(other.converted_.load()) {}

String& String::operator=(const String& other) {
  if (this == &other) return *this;
  narrow_ = other.narrow_;
  wide_ = other.wide_;
  length_ = other.length_;
  converted_.store(other.converted_.load());
  return *this;
}

String::String(String&& other) noexcept
    : narrow_(std::move(other.narrow_)),
      wide_(std::move(other.wide_)),
      length_(other.length_),
      converted_(other.converted_.exchange(nullptr)) {}

String& String::operator=(String&& other) noexcept {
  if (this == &other) return *this;
  narrow_ = std::move(other.narrow_);
  wide_ = std::move(other.wide_);
  length_ = other.length_;
  converted_.store(other.converted_.exchange(nullptr));
  return *this;
}

String::~String() = default;

const char* String::CStr() const {
  if (!IsWide()) return narrow_ != nullptr ? narrow_.get() : "";
  std::shared_ptr<const void> converted = converted_.load();
  if (converted == nullptr) {
    std::shared_ptr<const void> made = std::make_shared<const std::string>(NarrowUcs4(wide_.get()));
    // Another thread may have converted first; its buffer is kept either way.
    if (converted_.compare_exchange_strong(converted, made)) converted = std::move(made);
  }
  return static_cast<const std::string*>(converted.get())->c_str();
}

std::string_view String::View() const {
  if (!IsWide()) return narrow_ != nullptr ? std::string_view(narrow_.get(), length_) : "";
  return CStr();
}

const wchar_t* String::WStr() const {
  if (IsWide()) return wide_.get();
  std::shared_ptr<const void> converted = converted_.load();
  if (converted == nullptr) {
    std::shared_ptr<const void> made =
        std::make_shared<const std::wstring>(WidenUtf8(CStr()).value_or(std::wstring()));
    if (converted_.compare_exchange_strong(converted, made)) converted = std::move(made);
  }
  return static_cast<const std::wstring*>(converted.get())->c_str();
}

}  // namespace wexajson
