// New HTTPS connections per second through the TLS transport: a handshake
// and a GET of a small file each, with the server-certificate check off and
// on. Run by bench/https_fetch_bench.py, which starts the server and sets
//   UPD_BENCH_HTTPS_HOST   "127.0.0.1:PORT" of an HTTPS server with /small.txt
//   UPD_BENCH_HTTPS_CACHE  the certificate cache folder of the check-on run
// (the script also points OpenSSL's trust paths and the trust lists at the
// server's certificates). Without them the benchmark is skipped.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <string>

#include "net/http/http_transport.h"
#include "net/tls/ssl_protocol.h"
#include "platform/util/buffer.h"
#include "platform/util/update_errors.h"

namespace {

void BM_HttpsNewConnection(benchmark::State& state) {
  const char* host = getenv("UPD_BENCH_HTTPS_HOST");
  const char* cache = getenv("UPD_BENCH_HTTPS_CACHE");
  const bool check = state.range(0) != 0;
  if (host == nullptr || (check && cache == nullptr)) {
    state.SkipWithError("run by bench/https_fetch_bench.py");
    return;
  }
  CSslProtocol ssl;
  CHttpTransport https(ssl, true);
  if (check) https.SetCertificateCacheFolder(cache);
  const std::string host_text = host;
  HttpRequestParams params;
  params.host = host_text;
  params.path = "/";
  params.file = "small.txt";
  params.skip_head = true;
  for (auto _ : state) {
    CBuffer body;
    _HTTP_RESPONSE_INFO response{};
    if (https.DownloadToBuffer(params, &body, FetchConfig{}, &response, 0, 0, nullptr) != kUpdOk) {
      state.SkipWithError("the download failed");
      break;
    }
    https.CloseConnection();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_HttpsNewConnection)->ArgName("check")->Arg(0)->Arg(1)->UseRealTime();

}  // namespace
