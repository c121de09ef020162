#pragma once

// A TLS client for the session-layer tests: a loopback TCP socket and one
// OS_SSL_SESSION driven the way a connection drives it, with the raw
// records at hand so a test can feed them in pieces.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "net/tls/ssl_session.h"

namespace upd::test {

// Session flags of the product's connections: TLS 1.0 to 1.2.
inline constexpr uint32_t kClientFlags = kOsSslTls1 | kOsSslTls1_1 | kOsSslTls1_2;
// How long a test waits for the server's bytes.
inline constexpr int kReceiveTimeoutMs = 10000;
// A TLS record header: type, version, length.
inline constexpr size_t kRecordHeaderSize = 5;

// Why Handshake stopped other than with a layer code.
inline constexpr uint32_t kPeerClosedDuringHandshake = 0xFFFFFFFF;

class TlsClient {
 public:
  explicit TlsClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ =
        fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    EXPECT_TRUE(connected_) << "cannot connect to port " << port;
  }
  ~TlsClient() {
    OsSslDestroy(session_);
    if (fd_ >= 0) close(fd_);
  }
  TlsClient(const TlsClient&) = delete;
  TlsClient& operator=(const TlsClient&) = delete;

  OS_SSL_SESSION* session() const { return session_; }

  uint32_t Create(const char* server_name, OsSslVerifyFunction verify = nullptr,
                  void* user = nullptr, uint32_t flags = kClientFlags) {
    const uint32_t code = OsSslCreate(server_name, nullptr, nullptr, nullptr, flags, verify, user,
                                      &session_, nullptr);
    if (code == kOsSslOk) OsSslSetLogCallback(session_, &log_, &CollectLog);
    return code;
  }

  // Drives the handshake to its end: 0, the first other layer code of
  // OsSslPutInput, or kPeerClosedDuringHandshake.
  uint32_t Handshake() {
    uint32_t code = OsSslStartHandshake(session_);
    while (code == kOsSslOk && OsSslIsHandshaking(session_)) {
      if (!Flush()) return kPeerClosedDuringHandshake;
      const std::string bytes = ReceiveRaw();
      if (bytes.empty()) return kPeerClosedDuringHandshake;
      code = OsSslPutInput(session_, bytes.data(), static_cast<uint32_t>(bytes.size()));
      if (code == kOsSslNeedMoreInput) code = kOsSslOk;
    }
    Flush();  // the alert of a failed handshake, or nothing
    return code;
  }

  // Sends everything waiting in the session's output.
  bool Flush() {
    while (OsSslGetOutputPending(session_) > 0) {
      char buffer[17664];
      uint32_t length = sizeof buffer;
      if (OsSslGetOutput(session_, buffer, &length) != kOsSslOk) return false;
      if (send(fd_, buffer, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length)) return false;
    }
    return true;
  }

  bool Write(const std::string& plaintext) {
    return OsSslWrite(session_, plaintext.data(), static_cast<uint32_t>(plaintext.size())) ==
               kOsSslOk &&
           Flush();
  }

  // Whatever the socket has next (waiting for it); empty when the peer
  // closed or nothing came in time. Bytes left over by ReceiveRecord come
  // first.
  std::string ReceiveRaw(int timeout_ms = kReceiveTimeoutMs) {
    if (!unread_.empty()) return std::exchange(unread_, std::string());
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return {};
    char buffer[17664];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
  }

  // The next whole TLS record from the socket; empty when none came.
  std::string ReceiveRecord() {
    std::string bytes = std::exchange(unread_, std::string());
    for (;;) {
      if (bytes.size() >= kRecordHeaderSize) {
        const size_t size = kRecordHeaderSize +
                            (static_cast<uint8_t>(bytes[3]) << 8 | static_cast<uint8_t>(bytes[4]));
        if (bytes.size() >= size) {
          unread_ = bytes.substr(size);
          return bytes.substr(0, size);
        }
      }
      const std::string more = ReceiveRaw();
      if (more.empty()) return {};
      bytes += more;
    }
  }

  uint32_t Feed(const std::string& bytes) {
    return OsSslPutInput(session_, bytes.data(), static_cast<uint32_t>(bytes.size()));
  }

  // Takes all plaintext that is ready.
  std::string ReadPending() {
    std::string text;
    while (OsSslPending(session_) > 0) {
      char buffer[4096];
      uint32_t length = sizeof buffer;
      if (OsSslRead(session_, buffer, &length) != kOsSslOk || length == 0) break;
      text.append(buffer, length);
    }
    return text;
  }

  // Receives and decrypts until text has arrived whole (or nothing more comes).
  std::string ReceiveText(size_t size) {
    std::string text = ReadPending();
    while (text.size() < size) {
      const std::string record = ReceiveRecord();
      if (record.empty() || Feed(record) != kOsSslOk) break;
      text += ReadPending();
    }
    return text;
  }

  // The texts the session logged.
  const std::vector<std::string>& log() const { return log_; }

 private:
  static void UPD_MSABI CollectLog(void* user, const char* format, ...) {
    __builtin_ms_va_list args;
    __builtin_ms_va_start(args, format);
    // The layer's formats take only strings.
    std::string line;
    for (const char* f = format; *f != '\0'; ++f) {
      if (f[0] == '%' && f[1] == 's') {
        line += __builtin_va_arg(args, const char*);
        ++f;
      } else {
        line += *f;
      }
    }
    __builtin_ms_va_end(args);
    static_cast<std::vector<std::string>*>(user)->push_back(line);
  }

  int fd_ = -1;
  bool connected_ = false;
  OS_SSL_SESSION* session_ = nullptr;
  std::string unread_;
  std::vector<std::string> log_;
};

}  // namespace upd::test
