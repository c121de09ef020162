#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/util/update_errors.h"
#include "updater.h"

// Certificate check of a TLS connection: it gets the peer's chain (entries of
// a u32 little-endian length followed by one DER certificate, the server's own
// certificate first) and answers 0 to accept it. trust_flags may be null.
// Microsoft x64 convention, like every callback the TLS layer hands around.
using TlsVerifyCallback = uint32_t(UPD_MSABI*)(const uint8_t* chain, size_t length, void* context,
                                               uint32_t* trust_flags);

// The byte stream under the HTTP transport: a plain TCP connection
// (CTcpProtocol) or a TLS connection built on it. One object lives across
// requests so that a transport can keep a connection open between requests
// to the same server. One thread uses a connection at a time.
//
// Timeouts are seconds. Send and Recv answer -1 for an error or a timeout;
// Recv answers 0 only for an orderly close by the peer.
class IProtocol {
 public:
  virtual ~IProtocol() = default;
  IProtocol(const IProtocol&) = delete;
  IProtocol& operator=(const IProtocol&) = delete;

  // Connects to host (a name, an address, "[v6]" or "host:suffix"; the port
  // argument always wins over a suffix). server_name is the TLS server name
  // (ignored by plain TCP). 0 when connected, else an update error code.
  [[nodiscard]] virtual UpdError Connect(const char* host, uint32_t port,
                                          const char* server_name) = 0;
  // Closes the socket when one is open; always 0.
  virtual int Close() = 0;
  // All length bytes, or -1.
  [[nodiscard]] virtual int64_t Send(const void* bytes, int64_t length,
                                     uint32_t timeout_seconds) = 0;
  // Bytes received, 0 when the peer closed, -1 on error or timeout.
  [[nodiscard]] virtual int64_t Recv(void* buffer, uint64_t size, uint32_t timeout_seconds) = 0;
  // Shuts both directions of a connected socket; the OS result, 0 when not
  // connected. The socket stays open until Close.
  virtual int Shutdown() = 0;
  [[nodiscard]] virtual bool IsConnected() const = 0;
  // Installs the certificate check for the connections made afterwards.
  // Plain TCP ignores it, so a transport may call it whatever its protocol.
  virtual void SetVerifyCallback(TlsVerifyCallback callback, void* context) = 0;
  // Drives a TLS handshake to its end within the timeout; true when the
  // connection is ready for application bytes.
  [[nodiscard]] virtual bool Pump(uint32_t timeout_seconds) = 0;

 protected:
  IProtocol() = default;
};
