#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace upd::test {

// A helper process (a loopback server, a proxy) that a test starts and that
// is stopped when the object goes away. The first line the process writes to
// its standard output (for example the port it listens on) is handed to the
// test; nothing reads its standard output afterwards, so a helper should say
// anything more on standard error.
class PeerProcess {
 public:
  // argv[0] is looked up in PATH. Fails the current test (and leaves
  // running() false) when the process cannot start, ends before its line or
  // has not written it within 120 s.
  explicit PeerProcess(const std::vector<std::string>& argv);
  ~PeerProcess();
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool running() const { return pid_ > 0; }
  const std::string& first_line() const { return first_line_; }
  // Sends SIGTERM and reaps the process, killing it (and failing the test)
  // when it has not ended within 30 s; returns its wait status (-1 if none).
  int Stop();

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  std::string first_line_;
};

// The Python interpreter the tests run with (PYTHON3 of ctest, else python3).
std::string PythonPath();

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();

}  // namespace upd::test
