#pragma once

#include <string>

namespace upd::test {

// What one curl run gave: its exit status and what it wrote to its output.
struct CurlResult {
  int status = -1;
  std::string out;
};

// curl as the tests' oracle client: arguments are shell words, quoted by the
// caller. Errors are dropped, a run is cut after 30 seconds unless the
// arguments give another -m, and a proxy from the environment is never used.
CurlResult Curl(const std::string& arguments);
// The same through the given proxy URL.
CurlResult CurlVia(const std::string& proxy, const std::string& arguments);

}  // namespace upd::test
