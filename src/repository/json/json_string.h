#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace wexajson {

// A text held narrow (UTF-8) or wide (wchar_t, UCS-4). The other form is made
// on its first request and kept in shared ownership, so copies taken after
// that share it. Safe to read from several threads at once.
class String {
 public:
  // Length meaning "up to the terminating NUL".
  static constexpr uint32_t kToNul = 0xFFFFFFFF;

  String();
  // Copies length characters of text (null text: empty).
  explicit String(const char* text, uint32_t length = kToNul);
  explicit String(const wchar_t* text, uint32_t length = kToNul);
  // Takes the text over.
  explicit String(std::string text);
  explicit String(std::wstring text);
  // A narrow text that stays valid (and NUL-terminated) while owner lives.
  static String Shared(std::shared_ptr<const void> owner, std::string_view text);

  String(const String& other);
  String& operator=(const String& other);
  String(String&& other) noexcept;
  String& operator=(String&& other) noexcept;
  ~String();

  bool IsWide() const { return wide_ != nullptr; }
  // Characters of the form the text was made from.
  uint32_t Length() const { return length_; }
  // NUL-terminated UTF-8; a wide text is converted once.
  const char* CStr() const;
  // UTF-8 with its full length (NULs inside a narrow text included).
  std::string_view View() const;
  // NUL-terminated wide text; a narrow text is converted once (empty when it
  // is not valid UTF-8).
  const wchar_t* WStr() const;

 private:
  std::shared_ptr<const char> narrow_;
  std::shared_ptr<const wchar_t> wide_;
  uint32_t length_ = 0;
  // The converted form: std::string for a wide text, std::wstring for a
  // narrow one.
  mutable std::atomic<std::shared_ptr<const void>> converted_;
};

// UTF-8 (up to its first NUL) to wide text; nothing when it is not valid.
std::optional<std::wstring> WidenUtf8(const char* text);
// Wide text (up to its first 0) to UTF-8.
std::string NarrowUcs4(const wchar_t* text);

}  // namespace wexajson
