#include <string>

#include "net/http/http_head.h"
#include "net/http/http_line_reader.h"
#include "net/http/http_transport.h"
#include "platform/util/update_errors.h"

namespace {

// Lines of the download form's page that refuse a login, and the pieces
// the page is read in: a longer line cannot be one of them.
constexpr std::string_view kUnknownUser = "<h3>Error: User does not exist !</h3>\n";
constexpr std::string_view kWrongPassword = "<h3>Error: Password incorrect !</h3>\n";
constexpr size_t kLoginPageLineBytes = 4095;

}  // namespace

UpdError CHttpTransport::ReadResponse(std::string_view request, std::string_view body,
                                       _HTTP_RESPONSE_INFO* response, bool* keep_alive,
                                       HttpMethod method) {
  *keep_alive = false;
  response->Clear();
  std::string out;
  out.reserve(request.size() + 2 + body.size());
  out.append(request).append("\r\n");
  const bool body_in_head = out.size() + body.size() < kHttpRequestBufferSize;
  if (body_in_head) out.append(body);

  if (!connection_.IsConnected()) {
    tunnel_target_.clear();
    const UpdError connected =
        connection_.Connect(connected_host_.c_str(), connected_port_, server_name_.c_str());
    if (connected != kUpdOk) return connected;
  }
  connection_.StartTransfer();
  if (!connection_.Send(out) || (!body_in_head && !connection_.Send(body))) {
    CloseConnection();
    // A TLS handshake that trickled is a receive that failed, not a send.
    return connection_.IsTooSlow() ? kUpdConnectionClosed : kUpdServerUnreachable;
  }
  return ReadHead(method == HttpMethod::kPost && !body.empty(), response, keep_alive, method);
}

UpdError CHttpTransport::ReadHeadLine(HttpLineReader& reader, std::string_view* line) {
  const HttpLineReader::Status read = reader.Next(line);
  if (read == HttpLineReader::Status::kLine) return kUpdOk;
  CloseConnection();
  // A head cut short is never an answer, whatever its status said.
  return read == HttpLineReader::Status::kOverBudget ? kUpdBadResponse : kUpdConnectionClosed;
}

UpdError CHttpTransport::ReadHead(bool post_with_body, _HTTP_RESPONSE_INFO* response,
                                   bool* keep_alive, HttpMethod method) {
  HttpHeadParser parser(*response, post_with_body);
  HttpLineReader reader(connection_, kHttpMaxHeadBytes);
  std::string_view line;
  UpdError read = ReadHeadLine(reader, &line);
  if (read != kUpdOk) return read;
  if (!parser.Start(line)) {
    CloseConnection();
    return kUpdBadResponse;
  }
  if (!parser.read_headers()) {
    CloseConnection();
    return parser.result();
  }
  for (uint32_t headers = 0;; ++headers) {
    read = ReadHeadLine(reader, &line);
    if (read != kUpdOk) return read;
    if (line.empty()) break;
    const HttpHeadParser::LineEffect effect =
        headers < kHttpMaxHeadLines ? parser.Apply(line) : HttpHeadParser::LineEffect::kMalformed;
    if (effect == HttpHeadParser::LineEffect::kLoginPage) return ScanLoginPage(response);
    if (effect == HttpHeadParser::LineEffect::kMalformed) {
      CloseConnection();
      return kUpdBadResponse;
    }
  }
  *keep_alive = parser.keep_alive();
  if (!parser.Finish(method)) {
    // A body larger than a download can describe is refused unread.
    *keep_alive = false;
    CloseConnection();
    return kUpdSourceUnreadable;
  }
  SettleConnection(response, parser.result(), *keep_alive, method);
  return parser.result();
}

void CHttpTransport::SettleConnection(_HTTP_RESPONSE_INFO* response, UpdError result,
                                      bool keep_alive, HttpMethod method) {
  // A GET answered with 0 keeps its connection for the body; a CONNECT
  // answered with 2xx keeps it as the tunnel, whatever the head said.
  const bool body_for_caller = method == HttpMethod::kGet && result == kUpdOk;
  const bool tunnel = method == HttpMethod::kConnect && result == kUpdOk && response->no_body != 0;
  if (!keep_alive && !body_for_caller && !tunnel) {
    CloseConnection();
    return;
  }
  const bool drop_body =
      method == HttpMethod::kPost || (method != HttpMethod::kHead && result != kUpdOk);
  if (drop_body) SkipBody(response);
}

UpdError CHttpTransport::ScanLoginPage(_HTTP_RESPONSE_INFO* response) {
  bool refused = false;
  for (;;) {
    std::string_view line;
    const CHttpConnection::LineStatus read =
        connection_.ReadLine(&line, kLoginPageLineBytes);
    if (read != CHttpConnection::LineStatus::kLine) break;
    if (line == kUnknownUser || line == kWrongPassword) refused = true;
  }
  CloseConnection();
  if (!refused) return kUpdSourceUnreadable;
  response->status = kHttpLoginRefusedStatus;
  return kUpdAccessDenied;
}
