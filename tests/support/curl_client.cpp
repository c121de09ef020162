#include "support/curl_client.h"

#include "support/temp_dir.h"

namespace upd::test {

CurlResult Curl(const std::string& arguments) { return CurlVia("", arguments); }

CurlResult CurlVia(const std::string& proxy, const std::string& arguments) {
  const std::string route = proxy.empty() ? "--noproxy '*'" : "-x '" + proxy + "'";
  CurlResult result;
  result.status =
      RunCommand("curl -sS -m 30 " + route + " " + arguments + " 2>/dev/null", &result.out);
  return result;
}

}  // namespace upd::test
