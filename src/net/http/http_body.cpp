#include <algorithm>
#include <memory>

#include "net/http/http_head.h"
#include "net/http/http_line_reader.h"
#include "net/http/http_transport.h"
#include "platform/util/http1_syntax.h"
#include "platform/util/update_errors.h"

namespace {

// Reading away a body nobody wants goes in blocks of this size.
constexpr size_t kSkipBlock = 16 * 1024;
// A body nobody wants is read away only while it is small (an error page, a
// redirect's note): a larger or endless one closes the connection instead,
// which costs a new connection rather than a transfer without end.
constexpr uint64_t kMaxSkippedBody = 1024 * 1024;

}  // namespace

UpdError CHttpTransport::ReadChunkSize(uint32_t* size) {
  *size = 0;
  HttpLineReader reader(connection_, kHttpMaxChunkLineBytes);
  std::string_view line;
  if (reader.Next(&line) != HttpLineReader::Status::kLine) return kUpdConnectionClosed;
  // A size that is not a number is no last chunk: the body's end is unknown.
  const std::optional<uint64_t> parsed = http1::ParseChunkSizeLine(line);
  if (!parsed) return kUpdConnectionClosed;
  if (*parsed > kHttpMaxBodyBytes) return kUpdSourceUnreadable;
  *size = static_cast<uint32_t>(*parsed);
  if (*size == 0) ReadTrailer();
  return kUpdOk;
}

void CHttpTransport::ReadTrailer() {
  // The body is complete; trailer fields are read away so that a kept
  // connection starts the next answer at its status line, within the bounds
  // of a head. One that never ends costs the connection, not the download.
  HttpLineReader reader(connection_, kHttpMaxHeadBytes);
  for (uint32_t lines = 0; lines <= kHttpMaxHeadLines; ++lines) {
    std::string_view line;
    if (reader.Next(&line) != HttpLineReader::Status::kLine) break;
    if (line.empty()) return;
  }
  CloseConnection();
}

UpdError CHttpTransport::ReadChunkEnd() {
  HttpLineReader reader(connection_, kHttpMaxChunkLineBytes);
  std::string_view line;
  if (reader.Next(&line) != HttpLineReader::Status::kLine || !line.empty()) {
    return kUpdConnectionClosed;
  }
  return kUpdOk;
}

UpdError CHttpTransport::NextChunk(_HTTP_RESPONSE_INFO* response, BodyCursor* cursor) {
  if (cursor->started) {
    const UpdError end = ReadChunkEnd();
    if (end != kUpdOk) return end;
  }
  cursor->started = true;
  uint32_t size = 0;
  const UpdError read = ReadChunkSize(&size);
  if (read != kUpdOk) return read;
  response->chunk_left = size;
  if (size == 0) cursor->done = true;
  return kUpdOk;
}

UpdError CHttpTransport::ReadBody(_HTTP_RESPONSE_INFO* response, BodyCursor* cursor,
                                   uint8_t* buffer, size_t size, size_t* got) {
  *got = 0;
  if (response->no_body != 0) cursor->done = true;
  if (cursor->done) return kUpdOk;
  size_t want = size;
  if (response->chunked != 0) {
    if (response->chunk_left == 0) {
      const UpdError next = NextChunk(response, cursor);
      if (next != kUpdOk) return IsAborted() ? kUpdStopped : next;
      if (cursor->done) return kUpdOk;
    }
    want = std::min<uint64_t>(want, response->chunk_left);
  } else if (response->has_content_length != 0) {
    // "Content-Length: 0" ends the body before any wait.
    if (cursor->received >= response->content_length) {
      cursor->done = true;
      return kUpdOk;
    }
    want = std::min<uint64_t>(want, response->content_length - cursor->received);
  }
  const int64_t received = connection_.Receive(buffer, want);
  if (IsAborted()) return kUpdStopped;
  if (received < 0) return kUpdConnectionClosed;
  if (received == 0) {
    // Only a body of unknown length ends with the connection.
    if (response->chunked != 0 || response->has_content_length != 0) return kUpdConnectionClosed;
    cursor->done = true;
    return kUpdOk;
  }
  cursor->received += static_cast<uint64_t>(received);
  if (response->chunked != 0) response->chunk_left -= static_cast<uint32_t>(received);
  if (cursor->received > kHttpMaxBodyBytes) return kUpdSourceUnreadable;
  *got = static_cast<size_t>(received);
  return kUpdOk;
}

void CHttpTransport::SkipBody(_HTTP_RESPONSE_INFO* response) {
  if (response->no_body != 0) return;
  // A body that ends only with the connection leaves nothing to keep.
  if ((response->chunked == 0 && response->has_content_length == 0) ||
      (response->chunked == 0 && response->content_length > kMaxSkippedBody)) {
    CloseConnection();
    return;
  }
  BodyCursor cursor;
  const std::unique_ptr<uint8_t[]> block(new uint8_t[kSkipBlock]);
  while (!cursor.done) {
    size_t got = 0;
    if (cursor.received > kMaxSkippedBody ||
        ReadBody(response, &cursor, block.get(), kSkipBlock, &got) != kUpdOk) {
      CloseConnection();
      return;
    }
  }
}
