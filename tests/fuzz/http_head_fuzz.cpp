// The readers of HTTP heads and bodies over arbitrary text: status and header
// lines of any length, lists of challenges and their quoted parameters, the
// answers made from them, host texts, and the inflate stream. The shared
// HTTP/1.1 syntax below them has a target of its own (http1_syntax_fuzz).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/http/http_auth.h"
#include "net/http/http_challenge.h"
#include "net/http/http_head.h"
#include "net/http/http_request_text.h"
#include "net/http/inflate_stream.h"

namespace {

void ParseHead(std::string_view text) {
  _HTTP_RESPONSE_INFO response{};
  HttpHeadParser parser(response, (text.size() & 1) != 0);
  bool first = true;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    (void)ParseServerHost(line, 80);
    (void)PickDigestAlgorithm(line);
    (void)ForEachChallengeParam(line, [](std::string_view, std::string_view) { return true; });
    (void)ForEachChallenge(line, [&](std::string_view scheme, std::string_view parameters) {
      (void)ChallengeScheme(scheme, parameters);
      std::string answer;
      if (BuildDigestAuthorization(false, parameters, line, line, "user", "pass", "cnonce",
                                   &answer)) {
        // An answer is one header line, whatever the challenge held.
        if (answer.find_first_of("\r\n") != answer.size() - 2) std::abort();
        std::string request(line);
        ReplaceHeaderLine(&request, "Authorization", answer);
      }
      return true;
    });
    if (first) {
      first = false;
      if (!parser.Start(line)) return;
      continue;
    }
    if (parser.Apply(line) != HttpHeadParser::LineEffect::kNone) return;
  }
  (void)parser.Finish(static_cast<HttpMethod>(text.size() % 4));
}

void Inflate(const uint8_t* data, size_t size) {
  for (const uint32_t kind : {kHttpEncodingGzip, kHttpEncodingDeflate}) {
    CInflateStream stream;
    if (!stream.Init(kind)) return;
    (void)stream.Write(data, size, [](const uint8_t*, size_t) { return kUpdOk; });
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ParseHead(std::string_view(reinterpret_cast<const char*>(data), size));
  Inflate(data, size);
  return 0;
}
