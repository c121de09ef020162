#include "support/peer_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace upd::test {
namespace {

using Clock = std::chrono::steady_clock;

// How long a helper may take to print its whole first line: longer than
// serve.py's own start bound, which gives a slow server (squid on a loaded
// machine) time to come up and reports one that does not.
constexpr auto kStartTimeout = std::chrono::seconds(120);
// How long a stopped helper may take to end before it is killed: serve.py
// waits up to 10 s for its server before killing it.
constexpr auto kStopTimeout = std::chrono::seconds(30);
constexpr auto kReapPoll = std::chrono::milliseconds(20);

bool ReadLine(int fd, std::string* line) {
  const Clock::time_point deadline = Clock::now() + kStartTimeout;
  char c = 0;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    const ssize_t n = read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    if (c == '\n') return true;
    line->push_back(c);
  }
}

// Reaps pid within timeout; false when it is still running.
bool ReapWithin(pid_t pid, Clock::duration timeout, int* status) {
  const Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    const pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) return true;
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(kReapPoll);
  }
}

}  // namespace

PeerProcess::PeerProcess(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe failed";
    return;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  out_fd_ = fds[0];
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << argv[0];
    return;
  }
  pid_ = pid;
  if (!ReadLine(out_fd_, &first_line_)) {
    ADD_FAILURE() << argv[0] << " gave no first line";
    Stop();
  }
}

PeerProcess::~PeerProcess() {
  Stop();
  if (out_fd_ >= 0) close(out_fd_);
}

int PeerProcess::Stop() {
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  if (!ReapWithin(pid_, kStopTimeout, &status)) {
    // A helper stuck in its own stop must not hang the test; what it runs
    // dies with it (PR_SET_PDEATHSIG in testnet.py).
    ADD_FAILURE() << "a helper process ignored SIGTERM for " << kStopTimeout.count()
                  << " s and was killed";
    kill(pid_, SIGKILL);
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  return status;
}

std::string PythonPath() {
  const char* configured = std::getenv("PYTHON3");
  return configured != nullptr && *configured != '\0' ? configured : "python3";
}

int FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  int port = -1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

}  // namespace upd::test
