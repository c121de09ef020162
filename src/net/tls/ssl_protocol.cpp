#include "net/tls/ssl_protocol.h"

#include <arpa/inet.h>

#include <algorithm>
#include <climits>
#include <string>

#include "platform/os/os_abort.h"
#include "platform/os/os_error.h"
#include "platform/os/os_time.h"
#include "platform/util/update_errors.h"

namespace {

// Longest server name text (a DNS name, or an IPv6 literal in brackets).
constexpr size_t kServerNameSize = 260;
// Plaintext is encrypted and sent in slices of this size, so that the
// session's output never holds more than a few records.
constexpr int64_t kMaxWriteSlice = 64 * 1024;
// Longest single wait for the peer's records: an abort is noticed within it.
constexpr int kAbortPollMs = kOsAbortedWaitMs;
// The layer reads at most an int's worth at once.
constexpr uint64_t kMaxReadSlice = INT_MAX;

void UPD_MSABI DiscardLog(void* /*user*/, const char* /*format*/, ...) {}

// Server name indication carries host names only, never an address.
bool IsAddressLiteral(const char* name) {
  std::string text(name);
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  unsigned char address[16];
  return inet_pton(AF_INET, text.c_str(), address) == 1 ||
         inet_pton(AF_INET6, text.c_str(), address) == 1;
}

}  // namespace

CSslProtocol::CSslProtocol() : records_(new uint8_t[kRecordBufferSize]) {
  // A failure shows at Connect (kUpdTlsMissing); a later constructor tries again.
  if (!OsSslIsInitialized()) (void)OsSslInitialize();
}

CSslProtocol::~CSslProtocol() { DestroySession(); }

void CSslProtocol::DestroySession() {
  OsSslDestroy(session_);
  session_ = nullptr;
}

UpdError CSslProtocol::Connect(const char* host, uint32_t port, const char* server_name) {
  if (!OsSslIsInitialized()) return kUpdTlsMissing;
  const UpdError connected = CTcpProtocol::Connect(host, port, server_name);
  if (connected != kUpdOk) return connected;
  DestroySession();
  const bool named = server_name != nullptr && server_name[0] != '\0' &&
                     std::char_traits<char>::length(server_name) < kServerNameSize &&
                     !IsAddressLiteral(server_name);
  if (OsSslCreate(named ? server_name : nullptr, KeptAddresses(), nullptr, nullptr, kSessionFlags,
                  verify_, verify_context_, &session_, nullptr) != kOsSslOk) {
    return kUpdTlsFailed;
  }
  OsSslSetLogCallback(session_, nullptr, &DiscardLog);
  if (OsSslStartHandshake(session_) != kOsSslOk) {
    DestroySession();
    return kUpdTlsFailed;
  }
  return kUpdOk;
}

int CSslProtocol::Close() {
  DestroySession();
  return CTcpProtocol::Close();
}

void CSslProtocol::SetVerifyCallback(TlsVerifyCallback callback, void* context) {
  verify_ = callback;
  verify_context_ = context;
}

bool CSslProtocol::FlushOutput(uint32_t timeout_seconds) {
  while (OsSslGetOutputPending(session_) != 0) {
    uint32_t length = kRecordBufferSize;
    if (OsSslGetOutput(session_, records_.get(), &length) != kOsSslOk || length == 0) return false;
    if (CTcpProtocol::Send(records_.get(), length, timeout_seconds) != length) return false;
  }
  return true;
}

int64_t CSslProtocol::ReceiveRecords(uint32_t timeout_seconds) {
  const uint64_t deadline = OsGetTickCountMs() + uint64_t{timeout_seconds} * 1000;
  for (;;) {
    // The abort byte (the transport's abort or the run's token) or the
    // process-wide abort: a stalled peer must not hold the connection for
    // the whole timeout.
    if (IsAborted() || OsWaitCancelled()) return -1;
    const uint64_t now = OsGetTickCountMs();
    const int slice = static_cast<int>(std::min<uint64_t>(deadline > now ? deadline - now : 0,
                                                          kAbortPollMs));
    const int64_t received = RecvWithin(records_.get(), kRecordBufferSize, slice);
    if (received != -1 || OsGetLastError() != kOsTimedOut || now >= deadline || IsTooSlow()) {
      return received;
    }
  }
}

bool CSslProtocol::Pump(uint32_t timeout_seconds) {
  if (session_ == nullptr || !IsConnected()) return false;
  // Records that came behind data which paused a new handshake are already
  // in the session: they go first.
  uint32_t code = OsSslPutInput(session_, records_.get(), 0);
  while (OsSslIsHandshaking(session_)) {
    if (code != kOsSslOk && code != kOsSslNeedMoreInput) {
      // The alert that tells the server why goes out when it can.
      (void)FlushOutput(timeout_seconds);
      return false;
    }
    if (!FlushOutput(timeout_seconds)) return false;
    const int64_t received = ReceiveRecords(timeout_seconds);
    if (received <= 0) return false;
    code = OsSslPutInput(session_, records_.get(), static_cast<uint32_t>(received));
  }
  // The client's last handshake flight may still wait in the output.
  return FlushOutput(timeout_seconds);
}

int64_t CSslProtocol::Send(const void* bytes, int64_t length, uint32_t timeout_seconds) {
  if (IsPlainMode()) return CTcpProtocol::Send(bytes, length, timeout_seconds);
  if (session_ == nullptr || !IsConnected() || length < 0) return -1;
  if (OsSslIsHandshaking(session_) && !Pump(timeout_seconds)) return -1;
  // The layer takes lengths that fit an int; larger sends go in slices.
  const auto* cursor = static_cast<const uint8_t*>(bytes);
  for (int64_t left = length; left > 0;) {
    const auto slice = static_cast<uint32_t>(std::min<int64_t>(left, kMaxWriteSlice));
    if (OsSslWrite(session_, cursor, slice) != kOsSslOk) return -1;
    if (!FlushOutput(timeout_seconds)) return -1;
    cursor += slice;
    left -= slice;
  }
  return length;
}

int64_t CSslProtocol::ReadPlaintext(void* buffer, uint64_t size) {
  auto length = static_cast<uint32_t>(std::min<uint64_t>(size, kMaxReadSlice));
  if (OsSslRead(session_, buffer, &length) != kOsSslOk) return -1;
  return length;
}

int64_t CSslProtocol::Recv(void* buffer, uint64_t size, uint32_t timeout_seconds) {
  if (IsPlainMode()) return CTcpProtocol::Recv(buffer, size, timeout_seconds);
  if (session_ == nullptr || !IsConnected()) return -1;
  for (;;) {
    if (OsSslPending(session_) != 0) return ReadPlaintext(buffer, size);
    // The peer's close_notify: the data ended in order, and the connection
    // is no longer one to send the next request on.
    if (OsSslIsClosed(session_)) {
      (void)Shutdown();
      return 0;
    }
    // Whatever the session has for the peer goes out before waiting for
    // more: a handshake flight (the first handshake, or a new one the server
    // started, which data may overtake and which goes on once that data was
    // read), or its answer to a record.
    if (!FlushOutput(timeout_seconds)) return -1;
    const int64_t received = ReceiveRecords(timeout_seconds);
    if (received <= 0) return received;
    const uint32_t code =
        OsSslPutInput(session_, records_.get(), static_cast<uint32_t>(received));
    if (code != kOsSslOk && code != kOsSslNeedMoreInput && code != kOsSslRenegotiating) return -1;
  }
}
