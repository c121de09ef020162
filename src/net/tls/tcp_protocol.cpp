#include "net/tls/tcp_protocol.h"

#include <algorithm>
#include <climits>

#include "platform/os/os_abort.h"
#include "platform/os/os_error.h"
#include "platform/os/os_time.h"
#include "platform/util/strings.h"
#include "platform/util/update_errors.h"
#include "platform/util/url_helpers.h"

namespace {

int TimeoutMs(uint32_t seconds) {
  return static_cast<int>(std::min<uint64_t>(uint64_t{seconds} * 1000, INT_MAX));
}

}  // namespace

CTcpProtocol::~CTcpProtocol() { (void)CTcpProtocol::Close(); }

UpdError CTcpProtocol::Connect(const char* host, uint32_t port, const char* /*server_name*/) {
  (void)CTcpProtocol::Close();
  const UpdError result = ConnectProcedure(host, port);
  connected_ = result == kUpdOk;
  return result;
}

UpdError CTcpProtocol::ConnectProcedure(const char* host, uint32_t port) {
  char copy[kHostSize];
  SafeStrCopy(copy, sizeof copy, host != nullptr ? host : "");
  // Strips brackets and a port suffix; the port argument is the one used.
  char name[kHostSize];
  (void)SplitHostPort(copy, name, sizeof name);

  AddrList resolved;
  const OS_ADDR* list = kept_.get();
  if (list == nullptr) {
    resolved = Resolve(name, port);
    if (resolved == nullptr) return kUpdCannotConnect;
    list = resolved.get();
  }
  for (const OS_ADDR* entry = list; entry != nullptr; entry = OsAddrListNext(entry)) {
    if (!ConnectEntry(entry)) continue;
    // Later connects start with the address that worked; the copy is taken
    // before the old kept list (which entry may point into) is freed.
    kept_.reset(OsAddrListCopy(entry));
    return kUpdOk;
  }
  // A kept list that failed stays for the next attempt.
  return kUpdServerUnreachable;
}

CTcpProtocol::AddrList CTcpProtocol::Resolve(const char* name, uint32_t port) const {
  for (int attempt = 0;; ++attempt) {
    AddrList list(OsResolveAddress(name, static_cast<int>(port), kOsResolveStream));
    if (list != nullptr || attempt == kResolveRetries) return list;
    if (!PauseBeforeRetry()) return nullptr;
  }
}

bool CTcpProtocol::ConnectEntry(const OS_ADDR* entry) {
  // Every attempt gets a fresh socket: a socket whose connect failed is in an
  // unspecified state and refuses a second connect.
  for (int attempt = 0;; ++attempt) {
    socket_ = OsSocketCreate(entry);
    if (socket_ == kOsNoSocket) return false;
    if (ConnectWithin(entry)) return true;
    (void)OsSocketClose(socket_);
    socket_ = kOsNoSocket;
    if (attempt == kConnectRetries || !PauseBeforeRetry()) return false;
  }
}

bool CTcpProtocol::ConnectWithin(const OS_ADDR* entry) {
  const OsCancelScope scope(WaitToken());
  return OsSocketConnect(socket_, entry, kConnectTimeoutMs) == 0;
}

bool CTcpProtocol::PauseBeforeRetry() const {
  // Sleeps in slices so that an abort from another thread ends the pause
  // within one slice instead of a whole second.
  for (uint32_t slept = 0; slept < kRetryPauseMs; slept += kOsAbortedWaitMs) {
    if (IsAborted()) return false;
    OsSleep(std::min<uint32_t>(kOsAbortedWaitMs, kRetryPauseMs - slept));
  }
  return !IsAborted();
}

int CTcpProtocol::Close() {
  if (socket_ == kOsNoSocket) return 0;
  (void)OsSocketClose(socket_);
  socket_ = kOsNoSocket;
  connected_ = false;
  return 0;
}

int64_t CTcpProtocol::Send(const void* bytes, int64_t length, uint32_t timeout_seconds) {
  if (length < 0) return -1;
  const OsCancelScope scope(WaitToken());
  const long sent = OsSocketSend(socket_, bytes, static_cast<size_t>(length), 0,
                                 TimeoutMs(timeout_seconds));
  connected_ = sent != -1;
  return sent;
}

int64_t CTcpProtocol::Recv(void* buffer, uint64_t size, uint32_t timeout_seconds) {
  return RecvWithin(buffer, size, TimeoutMs(timeout_seconds));
}

void CTcpProtocol::StartTransfer(const MinimumRate& rule) { pace_.Start(rule, OsGetTickCountMs()); }

int64_t CTcpProtocol::RecvWithin(void* buffer, uint64_t size, int timeout_ms) {
  // Without a socket there is nothing to mark connected.
  if (socket_ == kOsNoSocket) return -1;
  if (pace_.cut()) {
    OsSetOwnError(kOsTimedOut);
    return -1;
  }
  const OsCancelScope scope(WaitToken());
  const long received = OsSocketRecv(socket_, buffer, size, 0, pace_.WaitMs(timeout_ms));
  connected_ = received != 0;
  // One clock read per receive, and none at all outside a bounded transfer.
  if (pace_.active()) {
    pace_.Note(OsGetTickCountMs(), received > 0 ? static_cast<uint64_t>(received) : 0);
  }
  return received;
}

int CTcpProtocol::Shutdown() {
  if (!connected_ || socket_ == kOsNoSocket) return 0;
  connected_ = false;
  return OsSocketShutdown(socket_, 2);
}

void CTcpProtocol::SetVerifyCallback(TlsVerifyCallback /*callback*/, void* /*context*/) {}

bool CTcpProtocol::Pump(uint32_t /*timeout_seconds*/) { return connected_; }
