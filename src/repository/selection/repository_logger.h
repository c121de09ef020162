#pragma once

#include <cstdarg>
#include <cstdint>

namespace Repository {

// Levels of the repository code's trace lines.
inline constexpr int32_t kLogDetail = 1;   // the walk reached a leaf
inline constexpr int32_t kLogTrace = 2;    // every other trace line
inline constexpr int32_t kLogWarning = 4;  // a resource of an unknown kind

// The repository code's logger. Formats carry their own line feeds.
class ILoggable {
 public:
  virtual ~ILoggable() = default;
  virtual void Log(int32_t level, const char* format, va_list args) = 0;
};

// The logger of the library: the product has no log, so messages are dropped.
class CRepositoryLogger final : public ILoggable {
 public:
  void Log(int32_t, const char*, va_list) override {}
};

}  // namespace Repository
