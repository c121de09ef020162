#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "net/http/http_connection.h"

// Reads the lines of one head, trailer or chunk-size line from a connection
// against a budget of bytes for them all, so that a line may be of any length
// the budget allows while the whole stays bounded. A line that fits the
// connection's buffer comes as a view into it; a longer one is put together
// here.
class HttpLineReader {
 public:
  HttpLineReader(CHttpConnection& connection, size_t budget)
      : connection_(connection), left_(budget) {}

  enum class Status { kLine, kClosed, kFailed, kOverBudget };
  // The next line with its CR LF removed, valid until the next call.
  [[nodiscard]] Status Next(std::string_view* line);

 private:
  CHttpConnection& connection_;
  size_t left_;
  std::string long_line_;
};
