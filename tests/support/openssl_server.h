#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace upd::test {

// What `openssl s_server` serves.
struct OpenSslServerOptions {
  std::string certificate;  // PEM file
  std::string key;          // PEM file
  std::string chain;        // PEM file sent after the certificate (-cert_chain), optional
  // Further s_server arguments, for example {"-tls1_2", "-rev"} or
  // {"-servername", "sni.test", "-cert2", ..., "-key2", ...}.
  std::vector<std::string> arguments;
};

// An `openssl s_server` on a free 127.0.0.1 port, started by the
// constructor, which returns once the server accepts connections, and
// stopped by Stop or the destructor on every path. It runs in a temporary
// folder of its own; its standard output and error go to a log there. Its
// standard input stays open (so the server never sees its end): in the
// default mode s_server sends what it reads there to the client, and lines
// such as "r" (renegotiate) are commands to it.
class OpenSslServer {
 public:
  // Fails the current test (running() false) when the server cannot start.
  explicit OpenSslServer(const OpenSslServerOptions& options);
  ~OpenSslServer();
  OpenSslServer(const OpenSslServer&) = delete;
  OpenSslServer& operator=(const OpenSslServer&) = delete;

  bool running() const { return pid_ > 0; }
  int port() const { return port_; }
  // The server's working folder: what -WWW serves.
  const TempDir& folder() const { return folder_; }
  // Everything the server printed so far.
  std::string Log() const;
  // How often text appears in the log so far.
  size_t LogCount(const std::string& text) const;
  // Waits up to timeout_ms for text to appear in the log at least `times` times.
  bool WaitForLog(const std::string& text, size_t times = 1, int timeout_ms = 10000) const;
  // Writes to the server's standard input.
  bool SendInput(const std::string& text);
  // Ends the server (SIGTERM) and reaps it; returns its wait status (-1 if none).
  int Stop();

 private:
  bool Start(const OpenSslServerOptions& options);

  TempDir folder_;
  std::string log_path_;
  pid_t pid_ = -1;
  int port_ = -1;
  int input_fd_ = -1;
};

}  // namespace upd::test
