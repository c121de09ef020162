#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "repository/selection/repository_logger.h"

namespace upd::test {

// Keeps every message formatted, with its level.
class RecordingLogger : public Repository::ILoggable {
 public:
  struct Line {
    int32_t level;
    std::string text;
  };

  void Log(int32_t level, const char* format, va_list args) override {
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    lines.push_back({level, std::move(text)});
  }

  // The texts of the lines that start with prefix, in order.
  std::vector<std::string> Starting(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const Line& line : lines) {
      if (line.text.rfind(prefix, 0) == 0) found.push_back(line.text);
    }
    return found;
  }

  std::vector<Line> lines;
};

}  // namespace upd::test
