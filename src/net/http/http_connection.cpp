#include "net/http/http_connection.h"

#include <algorithm>
#include <cstring>

namespace {

// Room for a whole head in one or two receives; larger body blocks go
// straight to the caller's memory.
constexpr size_t kBufferSize = 16 * 1024;
// What the drain after a body takes up at most.
constexpr size_t kDrainBytes = 4096;

}  // namespace

CHttpConnection::CHttpConnection(CTcpProtocol& protocol)
    : protocol_(protocol), buffer_(new uint8_t[kBufferSize]) {}

UpdError CHttpConnection::Connect(const char* host, uint32_t port, const char* server_name) {
  begin_ = end_ = 0;
  return protocol_.Connect(host, port, server_name);
}

void CHttpConnection::Close() {
  begin_ = end_ = 0;
  (void)protocol_.Close();
}

bool CHttpConnection::Send(std::string_view bytes) {
  if (bytes.empty()) return true;
  const int64_t sent =
      protocol_.Send(bytes.data(), static_cast<int64_t>(bytes.size()), kTimeoutSeconds);
  if (sent == static_cast<int64_t>(bytes.size())) return true;
  Close();
  return false;
}

int64_t CHttpConnection::Fill() {
  if (begin_ != 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const int64_t received =
      protocol_.Recv(buffer_.get() + end_, kBufferSize - end_, kTimeoutSeconds);
  if (received > 0) end_ += static_cast<size_t>(received);
  return received;
}

CHttpConnection::LineStatus CHttpConnection::ReadLine(std::string_view* line, size_t max_bytes) {
  max_bytes = std::min(max_bytes, kBufferSize);
  size_t scanned = 0;
  for (;;) {
    const auto* start = buffer_.get() + begin_;
    const size_t available = end_ - begin_;
    const void* newline = std::memchr(start + scanned, '\n', available - scanned);
    const size_t length =
        newline != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(newline) - start) + 1
                           : available;
    if (length > max_bytes || (newline == nullptr && length == max_bytes)) {
      *line = std::string_view(reinterpret_cast<const char*>(start), max_bytes);
      begin_ += max_bytes;
      return LineStatus::kLine;
    }
    if (newline != nullptr) {
      *line = std::string_view(reinterpret_cast<const char*>(start), length);
      begin_ += length;
      return LineStatus::kLine;
    }
    scanned = available;
    const int64_t received = Fill();
    if (received == 0) return LineStatus::kClosed;
    if (received < 0) return LineStatus::kFailed;
  }
}

int64_t CHttpConnection::Receive(void* buffer, size_t size) {
  if (size == 0) return 0;
  if (begin_ == end_) {
    return protocol_.Recv(buffer, size, kTimeoutSeconds);
  }
  const size_t taken = std::min(size, end_ - begin_);
  std::memcpy(buffer, buffer_.get() + begin_, taken);
  begin_ += taken;
  return static_cast<int64_t>(taken);
}

void CHttpConnection::DrainNoWait() {
  begin_ = end_ = 0;
  if (!protocol_.IsConnected()) return;
  uint8_t scratch[kDrainBytes];
  (void)protocol_.Recv(scratch, sizeof scratch, 0);
}
