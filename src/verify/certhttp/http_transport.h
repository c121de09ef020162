#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os/os_resolve.h"
#include "platform/os/os_socket.h"
#include "platform/util/buffer.h"
#include "verify/certhttp/http_result.h"

namespace http {

// Request text is collected here so that a request leaves in few sends.
inline constexpr size_t kWriteBufferSize = 4096;

// TCP connection of the HTTP client, directly to a server or to a proxy.
// Besides the timeout of each wait, a transport may carry a deadline for all
// of its work, so that a peer that trickles bytes cannot hold a call forever.
class CTransport {
 public:
  CTransport() = default;
  virtual ~CTransport();
  CTransport(const CTransport&) = delete;
  CTransport& operator=(const CTransport&) = delete;

  [[nodiscard]] virtual Result Connect(const char* host, uint32_t port, uint32_t flags,
                                       uint32_t timeout_seconds);
  // With a proxy host the connection goes to the proxy at port.
  [[nodiscard]] virtual Result ConnectViaProxy(const char* host, uint32_t port, uint32_t flags,
                                               uint32_t timeout_seconds, const char* proxy_host);
  virtual void Close();
  // 0 at once while connected, else connects again where the last connect went.
  [[nodiscard]] virtual Result Reconnect();
  // Bytes sent, or kNoLength (the transport is then closed).
  [[nodiscard]] virtual uint64_t Send(const void* data, uint64_t length);
  [[nodiscard]] virtual Result Recv(void* buffer, uint64_t size, uint64_t* received);
  [[nodiscard]] virtual Result RecvNoWait(void* buffer, uint64_t size, uint64_t* received);

  // Collects data in the write buffer, sending each full buffer; length or
  // kNoLength. The caller sends the rest with FlushWrites.
  [[nodiscard]] uint64_t BufferedWrite(const void* data, uint64_t length);
  // Sends what the write buffer holds: true on success.
  [[nodiscard]] bool FlushWrites();

  // Bounds everything this transport does from now on to milliseconds.
  void SetDeadline(uint64_t milliseconds);

  bool IsConnected() const { return socket_ != kOsNoSocket; }
  bool HasProxy() const { return proxy_host_.Length() > 1; }
  const char* Host() const;

 protected:
  [[nodiscard]] Result ConnectStored();
  // The wait allowed now: the timeout, cut to what is left before the
  // deadline; -1 when the deadline has passed.
  [[nodiscard]] int WaitMs() const;

 private:
  void DropPeer();
  // The wait for the next socket call, or -1 once the transport is closed
  // because it is not connected or its deadline has passed.
  [[nodiscard]] int WaitOrClose();
  // Recv's code for what a receive returned; a failure or the peer's end
  // closes the transport.
  [[nodiscard]] Result ReceiveResult(long n, uint64_t* received);

  uint64_t fill_ = 0;
  OS_SOCKET socket_ = kOsNoSocket;
  uint32_t flags_ = 0;
  uint32_t timeout_ms_ = 0;
  uint8_t write_buffer_[kWriteBufferSize] = {};
  CBuffer host_;
  uint32_t port_ = 0;
  CBuffer proxy_host_;
  OS_ADDR* peer_ = nullptr;   // owned copy of the connected entry
  uint64_t deadline_ms_ = 0;  // tick count; 0: none
};

// The transport every request uses. It can be put into TLS mode, which this
// client does not provide: in that mode it answers kTlsUnsupported.
class CTransportSSL : public CTransport {
 public:
  CTransportSSL() = default;
  ~CTransportSSL() override;

  Result Connect(const char* host, uint32_t port, uint32_t flags,
                 uint32_t timeout_seconds) override;
  Result ConnectViaProxy(const char* host, uint32_t port, uint32_t flags, uint32_t timeout_seconds,
                         const char* proxy_host) override;
  void Close() override;
  Result Reconnect() override;
  uint64_t Send(const void* data, uint64_t length) override;
  Result Recv(void* buffer, uint64_t size, uint64_t* received) override;
  Result RecvNoWait(void* buffer, uint64_t size, uint64_t* received) override;

  void SetTlsMode(uint32_t mode) { tls_mode_ = mode; }
  uint32_t TlsMode() const { return tls_mode_; }

 private:
  uint32_t tls_mode_ = 0;
  void* tls_session_ = nullptr;  // room for a TLS layer; never set here
};

// Resolves host and port, connects to the first address that accepts within
// the timeout, and hands out the socket and a copy of the connected entry.
[[nodiscard]] Result TransportConnectAddress(OS_SOCKET* socket, const char* host, uint32_t port,
                                             int timeout_ms, OS_ADDR** peer);

}  // namespace http
