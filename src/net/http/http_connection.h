#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "net/tls/tcp_protocol.h"
#include "net/tls/transfer_pace.h"
#include "platform/util/update_errors.h"
#include "updater.h"

// The byte stream of the HTTP transport over its protocol (plain TCP, or TLS
// built on it), with a receive buffer: heads are read in large receives and
// the body bytes that came with them wait here for the body reader. Whatever
// is buffered belongs to the open connection and goes with it.
//
// Each request and its answer are one transfer, held to the connection's
// minimum rate (kTransferMinimumRate unless set) from the request's first
// byte on.
class CHttpConnection {
 public:
  // Every network wait of the transport.
  static constexpr uint32_t kTimeoutSeconds = 60;

  explicit CHttpConnection(CTcpProtocol& protocol);
  CHttpConnection(const CHttpConnection&) = delete;
  CHttpConnection& operator=(const CHttpConnection&) = delete;

  [[nodiscard]] CTcpProtocol& protocol() const { return protocol_; }
  [[nodiscard]] bool IsConnected() const { return protocol_.IsConnected(); }

  [[nodiscard]] UpdError Connect(const char* host, uint32_t port, const char* server_name);
  void Close();

  // A request and its answer start: the time before (an idle kept
  // connection, the caller's work) does not count against the peer.
  void StartTransfer() { protocol_.StartTransfer(minimum_rate_); }
  // The rule of the transfers that start from now on.
  void set_minimum_rate(const MinimumRate& rule) { minimum_rate_ = rule; }
  // The current transfer ended because the peer fell below the minimum rate
  // (a failed receive or a TLS handshake that failed for it).
  [[nodiscard]] bool IsTooSlow() const { return protocol_.IsTooSlow(); }

  // Sends every byte; false (connection closed) when the protocol could not.
  [[nodiscard]] bool Send(std::string_view bytes);

  enum class LineStatus { kLine, kClosed, kFailed };
  // One line up to and including its "\n", or the first max_bytes of a longer
  // one (at most a buffer's worth): a piece without "\n" leaves the rest of
  // the line for the next read. line stays valid until the next read.
  // kClosed or kFailed when the peer closed or a receive failed before.
  [[nodiscard]] LineStatus ReadLine(std::string_view* line, size_t max_bytes);

  // Up to size body bytes, buffered ones first: the count, 0 when the peer
  // closed, -1 on error or timeout.
  [[nodiscard]] int64_t Receive(void* buffer, size_t size);

  // After a body: forgets buffered bytes and takes up, without waiting, what
  // the server may have sent behind it.
  void DrainNoWait();

 private:
  // Receives more behind the buffered bytes; the protocol's result.
  [[nodiscard]] int64_t Fill();

  CTcpProtocol& protocol_;
  MinimumRate minimum_rate_ = kTransferMinimumRate;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
};
