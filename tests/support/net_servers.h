#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/peer_process.h"

// Real servers on free loopback ports for one test: nginx, Apache httpd,
// squid, tinyproxy and a scripted raw-socket server. Each runs through
// tools/testnet/serve.py in a folder of its own inside the folder the test
// gives (its TempDir), with its configuration, logs and temporary files
// there, and stops with the object (also when the test fails; a test process
// that dies takes its servers along within a fraction of a second).
//
//   upd::test::TempDir dir;
//   upd::test::NginxServer web(dir.path().string());
//   ASSERT_TRUE(web.running());
//   web.PutFile("a.txt", "hello");
//   ... fetch web.Url("/a.txt") ...
//   EXPECT_EQ(web.AccessLog(1).at(0).status, 200);
//
// A server that cannot start fails the test (ADD_FAILURE) and leaves
// running() false; its log is on the test's standard error. Python and shell
// tests reach the same servers through tools/testnet (README.md there).
namespace upd::test {

struct Credential {
  std::string user;
  std::string password;
};

// One line of an access log of nginx, Apache or squid.
struct AccessLogEntry {
  std::string connection;  // equal texts: the same TCP connection
  int status = 0;
  uint64_t bytes = 0;      // body bytes (squid: the whole reply)
  std::string request;     // the request line
  std::string range;       // the Range header, "-" when none
  std::string user_agent;
  std::string user;        // the authenticated user, "-" when none
};

class NetServer {
 public:
  virtual ~NetServer();
  NetServer(const NetServer&) = delete;
  NetServer& operator=(const NetServer&) = delete;

  [[nodiscard]] bool running() const;
  [[nodiscard]] uint16_t port() const { return port_; }
  // "http://127.0.0.1:PORT" + path ("https" for a TLS nginx).
  [[nodiscard]] std::string Url(std::string_view path = "/") const;
  // "http://[::1]:PORT" + path; servers started with ipv6 only.
  [[nodiscard]] std::string Url6(std::string_view path = "/") const;
  // "127.0.0.1:PORT".
  [[nodiscard]] std::string HostPort() const;
  // The server's own folder (configuration and logs).
  [[nodiscard]] std::string folder() const { return Value("folder"); }
  // A field of serve.py's ready line (access_log, error_log, root, ...);
  // empty when absent.
  [[nodiscard]] std::string Value(const std::string& key) const;

  // The access log, waiting up to 30 s until it has at least `at_least`
  // entries (servers write a line only after the answer went out).
  [[nodiscard]] std::vector<AccessLogEntry> AccessLog(size_t at_least = 0) const;
  [[nodiscard]] std::string ErrorLog() const;

  void Stop();

 protected:
  // kind and options as serve.py takes them; parent is the test's folder.
  NetServer(const std::string& kind, const std::string& parent, std::vector<std::string> options);

 private:
  std::unique_ptr<PeerProcess> process_;
  std::map<std::string, std::string> values_;
  uint16_t port_ = 0;
};

// A server with a document root: PutFile writes below it.
class WebServer : public NetServer {
 public:
  [[nodiscard]] std::string root() const { return Value("root"); }
  // Writes root/relative, creating its folders; returns the path.
  std::string PutFile(const std::string& relative, std::string_view content) const;

 protected:
  using NetServer::NetServer;
};

// nginx: static root with byte ranges, ETag, keep-alive, gzip on the fly
// (every type) and gzip_static ("x.gz" beside "x" is sent as is).
class NginxServer : public WebServer {
 public:
  // NginxServer::Options().Ipv6().ServerConf("...")
  struct Options {
    // Listen on [::1] too, on the same port.
    Options& Ipv6() { ipv6 = true; return *this; }
    // Hooks for TLS and authentication: text appended to each listen
    // directive ("ssl" switches the URLs to https), placed inside the server
    // block (ssl_certificate ...; location /x/ { auth_basic ...; }) or inside
    // the http block.
    Options& ListenOptions(std::string text) { listen_options = std::move(text); return *this; }
    Options& ServerConf(std::string text) { server_conf = std::move(text); return *this; }
    Options& HttpConf(std::string text) { http_conf = std::move(text); return *this; }

    bool ipv6 = false;
    std::string listen_options;
    std::string server_conf;
    std::string http_conf;
  };
  explicit NginxServer(const std::string& parent) : NginxServer(parent, Options{}) {}
  NginxServer(const std::string& parent, const Options& options);
};

// Apache httpd in one foreground process: static root; "/digest/" under the
// root needs Digest (MD5) authentication when digest_users are given,
// "/basic/" needs Basic when basic_users are given.
class ApacheServer : public WebServer {
 public:
  struct Options {
    Options& Ipv6() { ipv6 = true; return *this; }
    Options& DigestUser(std::string user, std::string password) {
      digest_users.push_back({std::move(user), std::move(password)});
      return *this;
    }
    Options& BasicUser(std::string user, std::string password) {
      basic_users.push_back({std::move(user), std::move(password)});
      return *this;
    }
    Options& Realm(std::string text) { realm = std::move(text); return *this; }
    // Appended to the configuration.
    Options& Conf(std::string text) { conf = std::move(text); return *this; }

    bool ipv6 = false;
    std::vector<Credential> digest_users;
    std::vector<Credential> basic_users;
    std::string realm = "testrealm";
    std::string conf;
  };
  explicit ApacheServer(const std::string& parent) : ApacheServer(parent, Options{}) {}
  ApacheServer(const std::string& parent, const Options& options);
};

// squid as a forward proxy without a cache; CONNECT to any port.
class SquidProxy : public NetServer {
 public:
  enum class Auth { kNone, kBasic, kDigest, kBoth };
  struct Options {
    Options& Ipv6() { ipv6 = true; return *this; }
    Options& Authentication(Auth kind) { auth = kind; return *this; }
    Options& User(std::string user, std::string password) {
      users.push_back({std::move(user), std::move(password)});
      return *this;
    }
    Options& Realm(std::string text) { realm = std::move(text); return *this; }

    bool ipv6 = false;
    Auth auth = Auth::kNone;
    std::vector<Credential> users;
    std::string realm = "testproxy";
  };
  explicit SquidProxy(const std::string& parent) : SquidProxy(parent, Options{}) {}
  SquidProxy(const std::string& parent, const Options& options);
};

// tinyproxy on 127.0.0.1; Basic authentication when a user is given.
class TinyProxy : public NetServer {
 public:
  explicit TinyProxy(const std::string& parent, const std::optional<Credential>& basic = {});
};

// Steps of a ScriptedPeer connection (tools/testnet/scripted.py tells
// exactly what each does). Texts are bytes; "{SELF}" in a sent text stands
// for the peer's "127.0.0.1:PORT".
namespace script {
std::string ReadRequest();  // one HTTP request, recorded for Requests()
std::string Read(size_t count);
std::string ReadUntil(std::string_view marker);
std::string Send(std::string_view bytes);
// The bytes in pieces of `piece` bytes, one every interval_seconds.
std::string Trickle(std::string_view bytes, double interval_seconds, size_t piece = 1);
std::string Repeat(std::string_view bytes, uint64_t count);
std::string Sleep(double seconds);
// Keeps the connection open without answering until the peer closes.
std::string Stall();
std::string Close();  // orderly
std::string Reset();
std::string ShutdownWrite();
}  // namespace script

// ScriptedConnection{script::ReadRequest(), script::Send(reply)}.CutAfter(10)
struct ScriptedConnection {
  ScriptedConnection(std::initializer_list<std::string> list) : steps(list) {}
  explicit ScriptedConnection(std::vector<std::string> list) : steps(std::move(list)) {}
  // Close (or reset) the connection once this many bytes were sent on it.
  ScriptedConnection& CutAfter(uint64_t bytes, bool reset = false) {
    cut_after = bytes;
    reset_at_cut = reset;
    return *this;
  }

  std::vector<std::string> steps;
  std::optional<uint64_t> cut_after;
  bool reset_at_cut = false;
};

// A full HTTP response with a Content-Length body.
std::string HttpResponse(std::string_view status_line, std::string_view body,
                         std::string_view headers = "");

// The scripted raw-socket server: the n-th accepted connection plays
// connections[n], later ones play `otherwise` (or are closed at once).
class ScriptedPeer : public NetServer {
 public:
  struct Options {
    Options& Ipv6() { ipv6 = true; return *this; }
    // The script of every connection after the listed ones.
    Options& Otherwise(ScriptedConnection connection) {
      otherwise = std::move(connection);
      return *this;
    }

    bool ipv6 = false;
    std::optional<ScriptedConnection> otherwise;
  };
  struct Request {
    int connection = 0;
    std::string raw;
  };
  explicit ScriptedPeer(const std::string& parent,
                        const std::vector<ScriptedConnection>& connections)
      : ScriptedPeer(parent, connections, Options{}) {}
  ScriptedPeer(const std::string& parent, const std::vector<ScriptedConnection>& connections,
               const Options& options);

  // The requests read by ReadRequest steps so far, in order.
  [[nodiscard]] std::vector<Request> Requests() const;
  // Every byte received on the n-th connection so far.
  [[nodiscard]] std::string Received(int connection) const;
  [[nodiscard]] int Connections() const;
  // Waits until at least count connections were accepted.
  [[nodiscard]] bool WaitForConnections(int count, int timeout_ms = 30000) const;
};

}  // namespace upd::test
