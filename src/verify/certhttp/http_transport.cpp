#include "verify/certhttp/http_transport.h"

#include <cstring>

#include "platform/os/os_error.h"
#include "platform/os/os_time.h"
#include "verify/certhttp/http_result.h"
#include "verify/certhttp/secure_string.h"

namespace http {
namespace {

// Host names longer than this cannot be DNS names; they are refused rather
// than cut to a different name.
constexpr size_t kMaxHostLength = 255;

// Longest wait the poll call can express.
constexpr uint64_t kMaxWaitMs = 0x7FFFFFFF;

uint32_t TimeoutMs(uint64_t seconds) {
  const uint64_t ms = seconds * 1000;
  return static_cast<uint32_t>(ms < kMaxWaitMs ? ms : kMaxWaitMs);
}

OS_ADDR* CopyOneEntry(const OS_ADDR* entry) {
  OS_ADDR single = *entry;
  single.next = nullptr;
  return OsAddrListCopy(&single);
}

}  // namespace

Result TransportConnectAddress(OS_SOCKET* socket, const char* host, uint32_t port, int timeout_ms,
                               OS_ADDR** peer) {
  *socket = kOsNoSocket;
  *peer = nullptr;
  if (host == nullptr || std::strlen(host) > kMaxHostLength) return kHostNotResolved;
  char name[kMaxHostLength + 1];
  std::strcpy(name, host);
  OS_ADDR* list = OsResolveAddress(name, static_cast<int>(port), kOsResolveStream);
  if (list == nullptr) return kHostNotResolved;
  Result result = kNoConnection;
  for (const OS_ADDR* entry = list; entry != nullptr; entry = OsAddrListNext(entry)) {
    const OS_SOCKET s = OsSocketCreate(entry);
    if (s == kOsNoSocket) continue;
    if (OsSocketConnect(s, entry, timeout_ms) != 0) {
      (void)OsSocketClose(s);
      continue;
    }
    *peer = CopyOneEntry(entry);
    (void)OsSocketSetOptionInt(s, kOsSockNoDelay, 1);
    *socket = s;
    result = kOk;
    break;
  }
  OsAddrListFree(list);
  return result;
}

CTransport::~CTransport() {
  CTransport::Close();
  // The buffer may have held an Authorization line.
  WipeBytes(write_buffer_, sizeof(write_buffer_));
}

const char* CTransport::Host() const {
  return host_.Length() == 0 ? "" : reinterpret_cast<const char*>(host_.Data());
}

void CTransport::SetDeadline(uint64_t milliseconds) {
  deadline_ms_ = OsGetTickCountMs() + milliseconds;
  if (deadline_ms_ == 0) deadline_ms_ = 1;
}

int CTransport::WaitMs() const {
  const int timeout = static_cast<int>(timeout_ms_);
  if (deadline_ms_ == 0) return timeout;
  const uint64_t now = OsGetTickCountMs();
  if (now >= deadline_ms_) return -1;
  const uint64_t left = deadline_ms_ - now;
  return left < timeout_ms_ ? static_cast<int>(left) : timeout;
}

void CTransport::DropPeer() {
  OsAddrListFree(peer_);
  peer_ = nullptr;
}

Result CTransport::Connect(const char* host, uint32_t port, uint32_t flags,
                           uint32_t timeout_seconds) {
  return CTransport::ConnectViaProxy(host, port, flags, timeout_seconds, nullptr);
}

Result CTransport::ConnectViaProxy(const char* host, uint32_t port, uint32_t flags,
                                   uint32_t timeout_seconds, const char* proxy_host) {
  // A connection still open would otherwise be lost with its descriptor.
  CTransport::Close();
  host_.Clear();
  proxy_host_.Clear();
  if (host == nullptr || host_.AppendString(host) == CBuffer::kFailed) return kOutOfMemory;
  if (proxy_host != nullptr && proxy_host_.AppendString(proxy_host) == CBuffer::kFailed) {
    return kOutOfMemory;
  }
  port_ = port;
  flags_ = flags;
  timeout_ms_ = TimeoutMs(timeout_seconds);
  DropPeer();
  return ConnectStored();
}

Result CTransport::ConnectStored() {
  const int wait = WaitMs();
  if (wait < 0) return kNoConnection;
  const char* target = HasProxy() ? reinterpret_cast<const char*>(proxy_host_.Data()) : Host();
  return TransportConnectAddress(&socket_, target, port_, wait, &peer_);
}

Result CTransport::Reconnect() {
  if (IsConnected()) return kOk;
  DropPeer();
  return ConnectStored();
}

void CTransport::Close() {
  if (!IsConnected()) return;
  DropPeer();
  (void)OsSocketClose(socket_);
  fill_ = 0;
  socket_ = kOsNoSocket;
}

int CTransport::WaitOrClose() {
  const int wait = IsConnected() ? WaitMs() : -1;
  if (wait < 0) Close();
  return wait;
}

Result CTransport::ReceiveResult(long n, uint64_t* received) {
  if (n <= 0) {
    Close();
    return n == 0 ? kEnd : kSocketError;
  }
  *received = static_cast<uint64_t>(n);
  return kOk;
}

uint64_t CTransport::Send(const void* data, uint64_t length) {
  const int wait = WaitOrClose();
  if (wait < 0) return kNoLength;
  const long sent = OsSocketSend(socket_, data, length, flags_, wait);
  if (sent < 0) {
    Close();
    return kNoLength;
  }
  return static_cast<uint64_t>(sent);
}

Result CTransport::Recv(void* buffer, uint64_t size, uint64_t* received) {
  *received = 0;
  const int wait = WaitOrClose();
  if (wait < 0) return kSocketError;
  return ReceiveResult(OsSocketRecv(socket_, buffer, size, flags_, wait), received);
}

Result CTransport::RecvNoWait(void* buffer, uint64_t size, uint64_t* received) {
  *received = 0;
  if (WaitOrClose() < 0) return kSocketError;
  const long n = OsSocketRecvNoWait(socket_, buffer, size, flags_);
  if (n < 0 && OsGetLastError() == kOsWouldBlock) return kNoData;
  return ReceiveResult(n, received);
}

uint64_t CTransport::BufferedWrite(const void* data, uint64_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint64_t rest = length;
  while (rest > kWriteBufferSize - fill_) {
    const uint64_t part = kWriteBufferSize - fill_;
    std::memcpy(write_buffer_ + fill_, bytes, part);
    bytes += part;
    rest -= part;
    if (Send(write_buffer_, kWriteBufferSize) == kNoLength) return kNoLength;
    fill_ = 0;
  }
  if (rest != 0) std::memcpy(write_buffer_ + fill_, bytes, rest);
  fill_ += rest;
  return length;
}

bool CTransport::FlushWrites() {
  if (fill_ == 0) return true;
  const uint64_t fill = fill_;
  fill_ = 0;
  return Send(write_buffer_, fill) != kNoLength;
}

CTransportSSL::~CTransportSSL() { tls_session_ = nullptr; }

Result CTransportSSL::Connect(const char* host, uint32_t port, uint32_t flags,
                              uint32_t timeout_seconds) {
  return CTransportSSL::ConnectViaProxy(host, port, flags, timeout_seconds, nullptr);
}

Result CTransportSSL::ConnectViaProxy(const char* host, uint32_t port, uint32_t flags,
                                      uint32_t timeout_seconds, const char* proxy_host) {
  const Result result = CTransport::ConnectViaProxy(host, port, flags, timeout_seconds, proxy_host);
  if (result != kOk) return result;
  return tls_mode_ == 1 ? kTlsUnsupported : kOk;
}

void CTransportSSL::Close() {
  tls_session_ = nullptr;
  CTransport::Close();
}

Result CTransportSSL::Reconnect() {
  const Result result = CTransport::Reconnect();
  if (result != kOk) return result;
  return tls_mode_ == 1 ? kTlsUnsupported : kOk;
}

uint64_t CTransportSSL::Send(const void* data, uint64_t length) {
  if (tls_mode_ == 1) return 0;
  return CTransport::Send(data, length);
}

Result CTransportSSL::Recv(void* buffer, uint64_t size, uint64_t* received) {
  if (tls_mode_ == 1) {
    *received = 0;
    return kTlsUnsupported;
  }
  return CTransport::Recv(buffer, size, received);
}

Result CTransportSSL::RecvNoWait(void* buffer, uint64_t size, uint64_t* received) {
  if (tls_mode_ == 1) {
    *received = 0;
    return kTlsUnsupported;
  }
  return CTransport::RecvNoWait(buffer, size, received);
}

}  // namespace http
