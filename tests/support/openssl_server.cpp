#include "support/openssl_server.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "support/peer_process.h"
#include "support/test_bytes.h"

extern char** environ;

namespace upd::test {
namespace {

// A port found free can be taken by someone else before the server binds it.
constexpr int kPortAttempts = 5;
// How long the server may take to listen.
constexpr int kStartTimeoutMs = 20000;
constexpr auto kPollStep = std::chrono::milliseconds(10);

// Reaps the process when it has ended; true then.
bool Ended(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

OpenSslServer::OpenSslServer(const OpenSslServerOptions& options)
    : log_path_(folder_.file("s_server.log")) {
  for (int attempt = 0; attempt < kPortAttempts; ++attempt) {
    if (Start(options)) return;
    // Only a port taken in the meantime is worth another try.
    if (Log().find("in use") == std::string::npos) break;
  }
  ADD_FAILURE() << "openssl s_server did not start:\n" << Log();
}

OpenSslServer::~OpenSslServer() { Stop(); }

bool OpenSslServer::Start(const OpenSslServerOptions& options) {
  port_ = FreeLoopbackPort();
  int input[2];
  if (port_ <= 0 || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) return false;
  std::vector<std::string> argv = {
      "openssl", "s_server",          "-accept", "127.0.0.1:" + std::to_string(port_),
      "-cert",   options.certificate, "-key",    options.key};
  if (!options.chain.empty()) argv.insert(argv.end(), {"-cert_chain", options.chain});
  argv.insert(argv.end(), options.arguments.begin(), options.arguments.end());
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[1], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log_path_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_addchdir_np(&actions, folder_.path().c_str());
  pid_t pid = -1;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(input[1]);
  if (rc != 0) {
    close(input[0]);
    return false;
  }
  pid_ = pid;
  input_fd_ = input[0];
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (Log().find("ACCEPT") != std::string::npos) return true;
    if (Ended(pid_)) {
      pid_ = -1;
      break;
    }
    std::this_thread::sleep_for(kPollStep);
  }
  Stop();
  return false;
}

std::string OpenSslServer::Log() const { return ReadFile(log_path_); }

size_t OpenSslServer::LogCount(const std::string& text) const {
  return static_cast<size_t>(Count(Log(), text));
}

bool OpenSslServer::WaitForLog(const std::string& text, size_t times, int timeout_ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (LogCount(text) >= times) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollStep);
  }
}

bool OpenSslServer::SendInput(const std::string& text) {
  if (input_fd_ < 0) return false;
  return send(input_fd_, text.data(), text.size(), MSG_NOSIGNAL) ==
         static_cast<ssize_t>(text.size());
}

int OpenSslServer::Stop() {
  if (input_fd_ >= 0) {
    close(input_fd_);
    input_fd_ = -1;
  }
  if (pid_ <= 0) return -1;
  kill(pid_, SIGTERM);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return status;
}

}  // namespace upd::test
