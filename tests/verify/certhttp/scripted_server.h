#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/peer_process.h"
#include "support/temp_dir.h"
#include "verify/certhttp/http_send.h"
#include "verify/certhttp/http_session.h"

// Loopback peers of the certificate HTTP client tests: the scripted server of
// http_peer.py and tinyproxy through proxy_peer.py.
namespace certhttp_test {

// JSON string of latin-1 text.
inline std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

inline std::string Send(const std::string& text) { return "{\"send\":" + Quote(text) + "}"; }
inline std::string Sleep(double seconds) { return "{\"sleep\":" + std::to_string(seconds) + "}"; }
inline std::string Trickle(const std::string& text, double interval) {
  return "{\"trickle\":" + Quote(text) + ",\"interval\":" + std::to_string(interval) + "}";
}
inline std::string Repeat(const std::string& text, uint64_t count) {
  return "{\"repeat\":" + Quote(text) + ",\"count\":" + std::to_string(count) + "}";
}

// One answer: the steps played for one request, then what becomes of the
// connection ("keep", "close" or "reset").
struct Exchange {
  std::vector<std::string> steps;
  std::string after = "keep";
};

inline Exchange Reply(const std::string& bytes, const std::string& after = "keep") {
  return Exchange{{Send(bytes)}, after};
}

// A full response with a Content-Length body.
inline std::string Response(const std::string& status_line, const std::string& body,
                            const std::string& headers = "") {
  return status_line + "\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

struct Request {
  int conn = 0;
  std::string raw;
};

class ScriptedServer {
 public:
  explicit ScriptedServer(const std::vector<Exchange>& exchanges, bool port80 = false) {
    std::string script = "{\"exchanges\":[";
    for (size_t i = 0; i < exchanges.size(); ++i) {
      if (i != 0) script += ",";
      script += "{\"reply\":[";
      for (size_t j = 0; j < exchanges[i].steps.size(); ++j) {
        if (j != 0) script += ",";
        script += exchanges[i].steps[j];
      }
      script += "],\"after\":" + Quote(exchanges[i].after) + "}";
    }
    script += "]}";
    upd::test::WriteFile(dir_.file("script.json"), script);
    std::vector<std::string> argv = {upd::test::PythonPath(),
                                     upd::test::SourcePath("tests/verify/certhttp/http_peer.py"),
                                     dir_.file("script.json"), dir_.file("log.jsonl")};
    if (port80) argv.push_back("--port80");
    peer_ = std::make_unique<upd::test::PeerProcess>(argv);
    std::istringstream line(peer_->first_line());
    line >> address_ >> port_;
  }

  bool running() const { return peer_->running() && port_ != 0; }
  const std::string& address() const { return address_; }
  uint32_t port() const { return port_; }

  // The requests received so far, in order.
  std::vector<Request> Requests() const {
    std::vector<Request> requests;
    std::ifstream log(dir_.file("log.jsonl"));
    std::string line;
    while (std::getline(log, line)) requests.push_back(ParseLine(line));
    return requests;
  }

 private:
  // {"conn": n, "raw": "..."} as written by http_peer.py (json.dumps).
  static Request ParseLine(const std::string& line) {
    Request r;
    r.conn = std::stoi(line.substr(line.find(':') + 1));
    size_t i = line.find("\"raw\": \"") + 8;
    for (; i < line.size() && line[i] != '"'; ++i) {
      if (line[i] != '\\') {
        r.raw += line[i];
        continue;
      }
      const char e = line[++i];
      if (e == 'r') r.raw += '\r';
      if (e == 'n') r.raw += '\n';
      if (e == 't') r.raw += '\t';
      if (e == 'b') r.raw += '\b';
      if (e == 'f') r.raw += '\f';
      if (e == '"' || e == '\\' || e == '/') r.raw += e;
      if (e == 'u') {
        r.raw += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
        i += 4;
      }
    }
    return r;
  }

  upd::test::TempDir dir_;
  std::unique_ptr<upd::test::PeerProcess> peer_;
  std::string address_;
  uint32_t port_ = 0;
};

// tinyproxy on a free port, with Basic authentication when a user is given.
class RealProxy {
 public:
  RealProxy(const std::string& user, const std::string& password) {
    std::vector<std::string> argv = {upd::test::PythonPath(),
                                     upd::test::SourcePath("tests/verify/certhttp/proxy_peer.py")};
    if (!user.empty()) {
      argv.push_back(user);
      argv.push_back(password);
    }
    peer_ = std::make_unique<upd::test::PeerProcess>(argv);
    std::istringstream line(peer_->first_line());
    std::string address;
    line >> address >> port_;
  }
  bool running() const { return peer_->running() && port_ != 0; }
  uint32_t port() const { return port_; }

 private:
  std::unique_ptr<upd::test::PeerProcess> peer_;
  uint32_t port_ = 0;
};

// Opens a GET through the client and reads the whole body.
struct Fetch {
  uint32_t open = 0;  // HttpSessionOpen
  uint32_t read = 0;  // the code that ended the reading (kEnd when complete)
  std::string body;
  uint64_t content_length = 0;
};

inline Fetch Get(const http::CHTTPRequest& request,
                 const http::CHTTPCredentials* credentials = nullptr,
                 const http::CHTTPContent* content = nullptr, uint32_t timeout_seconds = 10,
                 http::CHTTPErrorInfo* info = nullptr) {
  Fetch f;
  http::CHTTPSession* session = nullptr;
  f.open = http::HttpSessionOpen(http::kMethodGet, &request, credentials, content, &session,
                                 nullptr, timeout_seconds, info);
  if (f.open != http::kOk) {
    EXPECT_EQ(session, nullptr);
    return f;
  }
  EXPECT_EQ(http::HttpSessionGetContentLength(session, &f.content_length), http::kOk);
  char piece[300];
  for (;;) {
    uint64_t received = 0;
    f.read = http::HttpSessionRead(session, piece, sizeof(piece), &received, 1, nullptr);
    if (f.read != http::kOk) break;
    f.body.append(piece, received);
  }
  EXPECT_EQ(http::HttpSessionClose(session), http::kOk);
  return f;
}

inline http::CHTTPRequest Direct(const ScriptedServer& server, const char* path) {
  http::CHTTPRequest r;
  r.host = server.address().c_str();
  r.port = server.port();
  r.path = path;
  return r;
}

inline long ElapsedMs(std::chrono::steady_clock::time_point start) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - start)
                               .count());
}

}  // namespace certhttp_test
