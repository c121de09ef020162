#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "net/tls/protocol.h"
#include "net/tls/transfer_pace.h"
#include "platform/os/os_abort.h"
#include "platform/os/os_resolve.h"
#include "platform/os/os_socket.h"
#include "platform/util/update_errors.h"

// A plain TCP connection, and the base of the TLS connection, which reuses
// its socket, its address handling and its connect procedure (the TLS class
// overrides the byte operations and calls these for the raw bytes).
//
// Connect resolves the name (6 tries, 1 s apart), then tries each address in
// turn (4 tries, 1 s apart, each on a fresh socket, 60 s each). The list from
// the address that worked onwards is kept and reused by the next Connect
// without resolving, until the HTTP transport drops it (DropKeptAddresses).
//
// Besides the IProtocol slots, the HTTP transport uses the non-virtual members:
// the abort byte (set from any thread), the kept address list, the plain
// mode byte that makes a TLS connection pass bytes unencrypted while a proxy
// tunnel is negotiated, and the minimum rate of the current transfer.
class CTcpProtocol : public IProtocol {
 public:
  static constexpr int kResolveRetries = 5;
  static constexpr int kConnectRetries = 3;
  static constexpr uint32_t kRetryPauseMs = 1000;
  static constexpr int kConnectTimeoutMs = 60000;
  // Host texts longer than this are cut (the longest DNS name fits).
  static constexpr size_t kHostSize = 260;

  CTcpProtocol() = default;
  // Closes a socket that is still open and frees the kept address list.
  ~CTcpProtocol() override;

  [[nodiscard]] UpdError Connect(const char* host, uint32_t port,
                                  const char* server_name) override;
  int Close() override;
  [[nodiscard]] int64_t Send(const void* bytes, int64_t length, uint32_t timeout_seconds) override;
  // A timeout or an error (-1) leaves the connection marked connected; only
  // an orderly close by the peer (0) clears the mark.
  [[nodiscard]] int64_t Recv(void* buffer, uint64_t size, uint32_t timeout_seconds) override;
  int Shutdown() override;
  [[nodiscard]] bool IsConnected() const override { return connected_; }
  void SetVerifyCallback(TlsVerifyCallback callback, void* context) override;
  // No handshake: ready exactly when connected.
  [[nodiscard]] bool Pump(uint32_t timeout_seconds) override;

  // Any thread. While set, Connect makes no further retry and cuts its pauses
  // short; every remaining address still gets one attempt.
  void SetAbort(bool on) { (void)abort_.exchange(on ? 1 : 0); }
  [[nodiscard]] bool IsAborted() const { return abort_.load() != 0 || cancel_.IsCancelled(); }
  // The token of the run the connection now serves: it acts as the abort
  // byte while cancelled.
  void SetCancelToken(const CancelToken& token) { cancel_ = token; }

  // Forgets the kept addresses so that the next Connect resolves again.
  void DropKeptAddresses() { kept_.reset(); }
  [[nodiscard]] const OS_ADDR* KeptAddresses() const { return kept_.get(); }

  void SetPlainMode(bool on) { plain_mode_ = on; }
  [[nodiscard]] bool IsPlainMode() const { return plain_mode_; }

  // Every receive from now on (plain bytes, TLS records of a handshake or of
  // data, a proxy's answer) belongs to one transfer held to rule: no wait
  // outlasts the moment the rule would break, and from that moment every
  // receive fails (-1, last error timed out) until the next StartTransfer.
  // An unbounded rule lifts the bound; without a StartTransfer there is none.
  void StartTransfer(const MinimumRate& rule);
  // The current transfer fell below its minimum rate.
  [[nodiscard]] bool IsTooSlow() const { return pace_.cut(); }

 protected:
  // Recv with a timeout in milliseconds: -1 with kOsTimedOut as the last
  // error when nothing came in time, or when the transfer became too slow.
  [[nodiscard]] int64_t RecvWithin(void* buffer, uint64_t size, int timeout_ms);

 private:
  struct AddrListDeleter {
    void operator()(OS_ADDR* list) const { OsAddrListFree(list); }
  };
  using AddrList = std::unique_ptr<OS_ADDR, AddrListDeleter>;

  [[nodiscard]] UpdError ConnectProcedure(const char* host, uint32_t port);
  [[nodiscard]] AddrList Resolve(const char* name, uint32_t port) const;
  [[nodiscard]] bool ConnectEntry(const OS_ADDR* entry);
  [[nodiscard]] bool ConnectWithin(const OS_ADDR* entry);
  // What cuts the socket waits short: the abort byte or the run's token.
  // Bound to the thread for each wait, since the waits of the OS layer
  // know no connection.
  [[nodiscard]] CancelToken WaitToken() const { return cancel_.WithFlag(abort_); }
  // Sleeps before a retry; false (retry cancelled) when the abort byte is or
  // becomes set.
  [[nodiscard]] bool PauseBeforeRetry() const;

  AddrList kept_;
  CTransferPace pace_;
  std::atomic<uint8_t> abort_{0};
  CancelToken cancel_;
  bool plain_mode_ = false;
  OS_SOCKET socket_ = kOsNoSocket;
  bool connected_ = false;
};
