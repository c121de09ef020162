#include "verify/certhttp/http_session.h"

#include <cstdint>
#include <optional>

#include "platform/util/http1_syntax.h"
#include "verify/certhttp/http_request.h"

namespace http {
namespace {

bool HasNoBody(uint32_t status) { return status == 204 || status == 304 || status < 200; }

// The client fetches small files; a chunk beyond 32 bits is refused as a
// malformed size.
constexpr uint64_t kMaxChunkSize = UINT32_MAX;

Result ReadBodyLine(CTransport* transport, CHTTPBodyState* body, int wait, std::string_view* line) {
  const Result code = wait != 0 ? HttpReadLine(transport, &body->partial_line)
                                : HttpReadLineNoWait(transport, &body->partial_line);
  if (code == kNoData || code == kMalformed || code == kOutOfMemory) return code;
  if (code != kOk) return kCutShort;
  *line = HttpTrimLineEnd({reinterpret_cast<const char*>(body->partial_line.Data()),
                           static_cast<size_t>(body->partial_line.Length())});
  return kOk;
}

Result ReadSome(CTransport* transport, void* buffer, uint64_t size, uint64_t* received, int wait) {
  return wait != 0 ? transport->Recv(buffer, size, received)
                   : transport->RecvNoWait(buffer, size, received);
}

// Moves over chunk boundaries until body bytes can be read: 0 when they can,
// kEnd after the last chunk, or a failure.
Result NextChunk(CTransport* transport, CHTTPBodyState* body, int wait) {
  for (;;) {
    std::string_view line;
    if (body->length == kNoLength) {
      const Result code = ReadBodyLine(transport, body, wait, &line);
      if (code != kOk) return code;
      const std::optional<uint64_t> size = http1::ParseChunkSizeLine(line);
      body->partial_line.Clear();
      if (!size || *size > kMaxChunkSize) return kMalformed;
      body->length = *size;
      body->position = 0;
    }
    if (body->position < body->length) return kOk;
    const Result code = ReadBodyLine(transport, body, wait, &line);
    if (code != kOk) return code;
    const bool empty = line.empty();
    body->partial_line.Clear();
    if (body->length != 0) {
      if (!empty) return kMalformed;
      body->length = kNoLength;
      continue;
    }
    if (empty) {
      body->done = 1;
      return kEnd;
    }
    // Trailer lines after the last chunk are skipped, within the header bound.
    if (++body->trailer_lines > kMaxHeaderLines) return kMalformed;
  }
}

Result ReadChunked(CTransport* transport, CHTTPBodyState* body, void* buffer, uint64_t size,
                   uint64_t* received, int wait) {
  const Result code = NextChunk(transport, body, wait);
  if (code != kOk) return code;
  const uint64_t left = body->length - body->position;
  const Result read = ReadSome(transport, buffer, size < left ? size : left, received, wait);
  if (read == kEnd) return kCutShort;
  if (read != kOk) return read;
  body->position += *received;
  return kOk;
}

}  // namespace

CHTTPSession::CHTTPSession() : response(nullptr, HttpResponseDestroy) {}

CHTTPSession::~CHTTPSession() = default;

Result HttpReadBody(CTransport* transport, const CHTTPResponse* response, CHTTPBodyState* body,
                    void* buffer, uint64_t size, uint64_t* received, int wait) {
  *received = 0;
  if (transport == nullptr || response == nullptr || body == nullptr || buffer == nullptr ||
      size == 0) {
    return kBadRequest;
  }
  if (HasNoBody(response->status) || body->done != 0) return kEnd;
  if (response->transfer_coding == kCodingChunked) {
    const Result code = ReadChunked(transport, body, buffer, size, received, wait);
    if (code == kMalformed) transport->Close();
    return code;
  }
  body->length = response->content_length;
  if (body->length == kNoLength) return ReadSome(transport, buffer, size, received, wait);
  if (body->position >= body->length) {
    body->done = 1;
    return kEnd;
  }
  const uint64_t left = body->length - body->position;
  const Result code = ReadSome(transport, buffer, size < left ? size : left, received, wait);
  if (code == kEnd) return kCutShort;
  if (code != kOk) return code;
  body->position += *received;
  return kOk;
}

Result HttpReadBody(CHTTPSession* session, void* buffer, uint64_t size, uint64_t* received,
                    int wait) {
  if (session == nullptr) return kBadRequest;
  return HttpReadBody(session->transport.get(), session->response.get(), &session->body, buffer,
                      size, received, wait);
}

Result HttpSessionGetContentLength(const CHTTPSession* session, uint64_t* length) {
  if (session == nullptr) return kBadRequest;
  if (session->state != kStateBody && session->state != kStateComplete) return kBadState;
  if (session->response == nullptr) return kNoResponse;
  if (length != nullptr) *length = session->response->content_length;
  return kOk;
}

namespace {

Result ReadSessionBody(CHTTPSession* session, void* buffer, uint64_t size, uint64_t* received,
                       int wait) {
  const Result code = HttpReadBody(session, buffer, size, received, wait);
  if (code == kOk || code == kNoData) return code;
  if (code != kEnd) {
    session->state = kStateFailed;
    return code;
  }
  session->state = kStateComplete;
  if (!HttpKeepConnection(session->response.get())) session->transport->Close();
  return kEnd;
}

Result ReadSessionHeaders(CHTTPSession* session, int wait, CHTTPErrorInfo* info) {
  if (session->response == nullptr) {
    session->response.reset(HttpResponseCreate());
    if (session->response == nullptr) return kOutOfMemory;
  }
  Result code = HttpReadResponseHeaders(session->transport.get(), session->response.get(), wait,
                                        &session->partial_line);
  if (code != kOk) return code;
  code = HttpStatusToError(session->response->status);
  HttpGetErrorInfo(info, code, session->response.get());
  if (code != kOk) return code;
  session->partial_line.Clear();
  session->body.Reset();
  session->state = kStateBody;
  return kOk;
}

}  // namespace

Result HttpSessionRead(CHTTPSession* session, void* buffer, uint64_t size, uint64_t* received,
                       int wait, CHTTPErrorInfo* info) {
  if (received != nullptr) *received = 0;
  if (session == nullptr) return kBadRequest;
  if (session->transport == nullptr || !session->transport->IsConnected() || buffer == nullptr ||
      size == 0 || received == nullptr) {
    session->state = kStateFailed;
    return kBadRequest;
  }
  if (session->state == kStateSent) {
    const Result code = ReadSessionHeaders(session, wait, info);
    if (code == kNoData) return code;
    if (code != kOk) {
      session->state = kStateFailed;
      return code;
    }
  }
  if (session->state == kStateBody) return ReadSessionBody(session, buffer, size, received, wait);
  session->state = kStateFailed;
  return kBadRequest;
}

Result HttpSessionClose(CHTTPSession* session) {
  if (session == nullptr) return kBadRequest;
  if (session->transport != nullptr) session->transport->Close();
  delete session;
  return kOk;
}

}  // namespace http
