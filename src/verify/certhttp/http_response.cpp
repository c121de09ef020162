#include "verify/certhttp/http_response.h"

#include <array>
#include <cstdint>
#include <new>
#include <optional>

#include "platform/util/http1_syntax.h"

namespace http {
namespace {

// What a header line feeds in the response.
enum class HeaderField {
  kContentLength,
  kConnection,
  kTransferEncoding,
  kLocation,
  kETag,
  kContentType,
  kProxyConnection,
  kProxyAuthenticate,
  kWwwAuthenticate,
  kBypass,
  kRetryAfter,
  kLastModified,
};

struct HeaderRow {
  std::string_view name;
  HeaderField field;
};

// The headers the client reads; any other is skipped.
constexpr HeaderRow kHeaderRows[] = {
    {"Content-Length", HeaderField::kContentLength},
    {"Connection", HeaderField::kConnection},
    {"Transfer-Encoding", HeaderField::kTransferEncoding},
    {"Location", HeaderField::kLocation},
    {"ETag", HeaderField::kETag},
    {"Content-Type", HeaderField::kContentType},
    {"Proxy-Connection", HeaderField::kProxyConnection},
    {"Proxy-Authenticate", HeaderField::kProxyAuthenticate},
    {"WWW-Authenticate", HeaderField::kWwwAuthenticate},
    {"X-Bypass-Cache", HeaderField::kBypass},
    {"Retry-After", HeaderField::kRetryAfter},
    {"Last-Modified", HeaderField::kLastModified},
};

constexpr std::array<std::string_view, 2> kCodings = {"identity", "chunked"};
constexpr std::array<std::string_view, 2> kConnections = {"Keep-Alive", "Close"};

// The row of a header name, or null.
const HeaderRow* FindRow(std::string_view name) {
  for (const HeaderRow& row : kHeaderRows) {
    if (http1::EqualsNoCase(name, row.name)) return &row;
  }
  return nullptr;
}

// The first entry the value begins with, in any case.
template <size_t N>
uint32_t FindIndex(const std::array<std::string_view, N>& table, std::string_view value) {
  for (size_t i = 0; i < N; ++i) {
    if (http1::StartsWithNoCase(value, table[i])) return static_cast<uint32_t>(i);
  }
  return kNoIndex;
}

// The first line of a response. One that is not even meant as a status line
// leaves the status 0 (what no status maps to) and ends the headers, the
// rest of the connection unread; one that is meant as it but is malformed
// is refused.
Result ApplyStatusLine(CHTTPResponse* response, std::string_view line) {
  const std::optional<http1::StatusLine> status = http1::ParseStatusLine(line);
  if (!status) {
    if (line.starts_with(http1::kVersionPrefix)) return kMalformed;
    response->end_of_headers = 1;
    return kOk;
  }
  response->major = status->major;
  response->minor = status->minor;
  response->status = status->status;
  return kOk;
}

bool AppendChallenge(CHTTPBufferArray* array, std::string_view value) {
  CHTTPBuffer challenge;
  return challenge.SetText(value) && array->Add(challenge) != 0;
}

Result Memory(bool ok) { return ok ? kOk : kOutOfMemory; }

// A Content-Length, refused when it is no number or differs from one before
// it: either leaves the end of the body unknown.
Result ApplyContentLength(CHTTPResponse* response, std::string_view value) {
  const std::optional<uint64_t> length = http1::ParseDecimal(value);
  if (!length || (response->content_length != kNoLength && response->content_length != *length)) {
    return kMalformed;
  }
  response->content_length = *length;
  return kOk;
}

Result ApplyField(CHTTPResponse* response, HeaderField field, std::string_view value) {
  switch (field) {
    case HeaderField::kBypass:
      response->bypass = 1;
      return kOk;
    case HeaderField::kContentLength:
      return ApplyContentLength(response, value);
    case HeaderField::kConnection:
      if (response->connection == kNoIndex) response->connection = FindIndex(kConnections, value);
      return kOk;
    case HeaderField::kProxyConnection:
      if (response->proxy_connection == kNoIndex) {
        response->proxy_connection = FindIndex(kConnections, value);
      }
      return kOk;
    case HeaderField::kTransferEncoding:
      if (response->transfer_coding == kNoIndex) {
        response->transfer_coding = FindIndex(kCodings, value);
      }
      return kOk;
    case HeaderField::kLocation:
      return Memory(response->location.SetText(value));
    case HeaderField::kETag:
      return Memory(response->etag.SetText(value));
    case HeaderField::kContentType:
      return Memory(response->content_type.SetText(value));
    case HeaderField::kLastModified:
      return Memory(response->last_modified.SetText(value));
    case HeaderField::kProxyAuthenticate:
      return Memory(AppendChallenge(&response->proxy_challenges, value));
    case HeaderField::kWwwAuthenticate:
      return Memory(AppendChallenge(&response->server_challenges, value));
    case HeaderField::kRetryAfter: {
      const std::optional<uint64_t> seconds = http1::ParseDecimal(value);
      response->retry_after =
          seconds && *seconds <= UINT32_MAX ? static_cast<uint32_t>(*seconds) : 0;
      return kOk;
    }
  }
  return kOk;
}

// Applies one complete line (its line end removed) to the response.
Result ApplyLine(CHTTPResponse* response, std::string_view line) {
  if (response->status == 0) return ApplyStatusLine(response, line);
  if (line.empty()) {
    response->end_of_headers = 1;
    return kOk;
  }
  const std::optional<http1::FieldLine> header = http1::ParseFieldLine(line);
  if (!header) return kMalformed;
  const HeaderRow* row = FindRow(header->name);
  return row == nullptr ? kOk : ApplyField(response, row->field, header->value);
}

std::string_view View(const CBuffer& line) {
  return {reinterpret_cast<const char*>(line.Data()), static_cast<size_t>(line.Length())};
}

bool EndsLine(const CBuffer& line) {
  return line.Length() != 0 && line.Data()[line.Length() - 1] == '\n';
}

}  // namespace

int CHTTPBuffer::CopyFrom(const CHTTPBuffer& other) {
  Clear();
  if (other.Length() == 0) return 1;
  return Append(other.Data(), other.Length()) != kFailed ? 1 : 0;
}

bool CHTTPBuffer::SetText(std::string_view text) {
  Clear();
  if (Reserve(text.size() + 1) == nullptr) return false;
  if (!text.empty() && Append(text.data(), text.size()) == kFailed) return false;
  const char nul = '\0';
  return Append(&nul, 1) != kFailed;
}

const char* CHTTPBuffer::Text() const {
  return Length() == 0 ? "" : reinterpret_cast<const char*>(Data());
}

std::string_view HttpTrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

CHTTPResponse* HttpResponseCreate() { return new (std::nothrow) CHTTPResponse; }

void HttpResponseDestroy(CHTTPResponse* response) { delete response; }

void HttpResponseClear(CHTTPResponse* response) {
  response->status = 0;
  response->major = 0;
  response->minor = 0;
  response->content_type.Clear();
  response->transfer_coding = kNoIndex;
  response->connection = kNoIndex;
  response->proxy_connection = kNoIndex;
  response->content_length = kNoLength;
  response->proxy_challenges.RemoveAll();
  response->server_challenges.RemoveAll();
  response->location.Clear();
  response->etag.Clear();
  response->last_modified.Clear();
  response->retry_after = 0;
  response->end_of_headers = 0;
  response->bypass = 0;
  response->line_count = 0;
  response->reading = 0;
}

Result HttpStatusToError(uint32_t status) {
  if (status < 200) return kNotFound;
  if (status == 200 || (status >= 203 && status <= 206)) return kOk;
  if (status == 201) return kRedirect;
  if (status < 300) return kClientError;
  switch (status) {
    case 301:
    case 302:
    case 307:
    case 308:
      return kRedirect;
    case 304:
      return kNotModified;
    case 305:
      return kUseProxy;
    case 401:
      return kUnauthorized;
    case 403:
      return kForbidden;
    case 404:
    case 410:
      return kNotFound;
    case 405:
      return kMethodNotAllowed;
    case 407:
      return kProxyAuthRequired;
    case 502:
      return kBadGateway;
    case 503:
      return kUnavailable;
    case 511:
      return kNetworkAuthRequired;
    default:
      break;
  }
  if (status < 400) return kNotFound;
  if (status < 500) return kClientError;
  return kServerError;
}

void HttpGetErrorInfo(CHTTPErrorInfo* info, uint32_t code, const CHTTPResponse* response) {
  if (info == nullptr || response == nullptr) return;
  info->status = response->status;
  if (code == kUnavailable) info->retry_after = response->retry_after;
  if (!response->etag.IsEmptyText()) (void)info->etag.CopyFrom(response->etag);
  if (!response->last_modified.IsEmptyText()) {
    (void)info->last_modified.CopyFrom(response->last_modified);
  }
}

bool HttpKeepConnection(const CHTTPResponse* response) {
  const bool modern = response->major > 1 || (response->major == 1 && response->minor >= 1);
  return modern && response->connection != kConnectionClose &&
         response->proxy_connection != kConnectionClose;
}

Result HttpReadLine(CTransport* transport, CBuffer* line) {
  while (!EndsLine(*line)) {
    if (line->Length() >= kMaxHeaderLine) return kMalformed;
    uint8_t byte = 0;
    uint64_t received = 0;
    if (transport->Recv(&byte, 1, &received) != kOk || received != 1) return kSocketError;
    if (line->Append(&byte, 1) == CBuffer::kFailed) return kOutOfMemory;
  }
  return kOk;
}

Result HttpReadLineNoWait(CTransport* transport, CBuffer* partial) {
  if (partial == nullptr) return kBadRequest;
  while (!EndsLine(*partial)) {
    if (partial->Length() >= kMaxHeaderLine) return kMalformed;
    uint8_t byte = 0;
    uint64_t received = 0;
    const Result code = transport->RecvNoWait(&byte, 1, &received);
    if (code == kNoData) return kNoData;
    if (code != kOk || received != 1) {
      partial->Clear();
      return kSocketError;
    }
    if (partial->Append(&byte, 1) == CBuffer::kFailed) return kOutOfMemory;
  }
  return kOk;
}

Result HttpReadResponseHeaders(CTransport* transport, CHTTPResponse* response, int wait,
                               CBuffer* partial) {
  if (transport == nullptr || response == nullptr) return kBadRequest;
  if (wait == 0 && partial == nullptr) return kBadRequest;
  // A read that did not wait may have stopped inside these headers; what it
  // read already stays.
  if (wait != 0 || response->reading == 0) HttpResponseClear(response);
  response->reading = 0;
  CBuffer line;
  if (partial != nullptr) {
    if (wait == 0) line.MoveFrom(*partial);
    partial->Clear();
  }
  for (;;) {
    Result code = wait != 0 ? HttpReadLine(transport, &line) : HttpReadLineNoWait(transport, &line);
    if (code == kNoData) {
      partial->MoveFrom(line);
      response->reading = 1;
      return kNoData;
    }
    if (code == kMalformed || code == kOutOfMemory) {
      transport->Close();
      return code;
    }
    if (code != kOk) return kCutShort;
    if (++response->line_count > kMaxHeaderLines) {
      transport->Close();
      return kMalformed;
    }
    code = ApplyLine(response, HttpTrimLineEnd(View(line)));
    if (code != kOk) {
      transport->Close();
      return code;
    }
    line.Clear();
    if (response->end_of_headers == 0) continue;
    // After a line that is no status line nothing is read.
    if (response->status == 0) transport->Close();
    if (response->status != 100) return kOk;
    // The lines of skipped interim responses still count against the bound.
    const uint32_t lines = response->line_count;
    HttpResponseClear(response);
    response->line_count = lines;
  }
}

}  // namespace http
