#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "net/tls/ssl_session.h"
#include "net/tls/tcp_protocol.h"
#include "platform/util/update_errors.h"

// The connection of the HTTPS transport: a CTcpProtocol whose bytes pass
// through a TLS client session. The session works on memory buffers; this
// class moves the encrypted bytes between them and the socket of the base.
//
// Connect only prepares the client hello: the first Send or Recv (or an
// explicit Pump) runs the handshake. While the base's plain mode is set,
// Send and Recv bypass TLS, so that a proxy's CONNECT exchange passes in
// plain text and the handshake then runs inside the tunnel.
//
// A refused certificate or any other handshake failure shows as a failed
// Send or Recv (-1).
class CSslProtocol : public CTcpProtocol {
 public:
  // TLS 1.0 to 1.2 only.
  static constexpr uint32_t kSessionFlags = kOsSslTls1 | kOsSslTls1_1 | kOsSslTls1_2;
  // Room for one TLS record with its header, padding and MAC.
  static constexpr size_t kRecordBufferSize = 17664;

  // Loads the TLS layer when it is not yet (a failure shows at Connect).
  CSslProtocol();
  ~CSslProtocol() override;

  // kUpdTlsMissing when the TLS layer is not there, the base's code when the TCP
  // connect fails, kUpdTlsFailed when the session cannot be made or started.
  // server_name goes out as server name indication unless it is an IP
  // literal; it may be null.
  [[nodiscard]] UpdError Connect(const char* host, uint32_t port,
                                  const char* server_name) override;
  int Close() override;
  [[nodiscard]] int64_t Send(const void* bytes, int64_t length, uint32_t timeout_seconds) override;
  // Plaintext bytes; 0 when the peer closed (its close_notify, or the socket
  // without one); -1 on failure or timeout.
  [[nodiscard]] int64_t Recv(void* buffer, uint64_t size, uint32_t timeout_seconds) override;
  // Used by the sessions of later Connects.
  void SetVerifyCallback(TlsVerifyCallback callback, void* context) override;
  // Drives the handshake to its end; true when application bytes can flow.
  [[nodiscard]] bool Pump(uint32_t timeout_seconds) override;

  [[nodiscard]] bool HasVerifyCallback() const { return verify_ != nullptr; }

 private:
  void DestroySession();
  // Sends everything the session has for the peer; false when the socket
  // refused it.
  [[nodiscard]] bool FlushOutput(uint32_t timeout_seconds);
  // The peer's next bytes into the record buffer, as the base's Recv
  // answers; waits in short slices and gives up (-1) once the abort byte or
  // the host's abort flag is set, or the transfer became too slow (a record
  // trickled over many receives is bounded as a whole).
  [[nodiscard]] int64_t ReceiveRecords(uint32_t timeout_seconds);
  // Plaintext already decrypted into buffer: its count.
  [[nodiscard]] int64_t ReadPlaintext(void* buffer, uint64_t size);

  OS_SSL_SESSION* session_ = nullptr;
  TlsVerifyCallback verify_ = nullptr;
  void* verify_context_ = nullptr;
  std::unique_ptr<uint8_t[]> records_;
};
