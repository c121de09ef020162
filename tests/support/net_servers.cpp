#include "support/net_servers.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace upd::test {
namespace {

// How long AccessLog looks again for late lines: a server writes a line
// after its answer went out (squid a tunnel's once it closed), which on a
// loaded machine can take seconds. Only a failing test waits that long.
constexpr int kLogWaitMs = 30000;
constexpr int kLogPollMs = 20;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

std::vector<AccessLogEntry> ParseAccessLog(const std::string& path) {
  std::vector<AccessLogEntry> entries;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() != 7) continue;
    AccessLogEntry e;
    e.connection = f[0];
    e.status = std::atoi(f[1].c_str());
    e.bytes = std::strtoull(f[2].c_str(), nullptr, 10);
    e.request = f[3];
    e.range = f[4];
    e.user_agent = f[5];
    e.user = f[6];
    entries.push_back(e);
  }
  return entries;
}

std::string CredentialText(const Credential& c) { return c.user + ":" + c.password; }

// A JSON string of bytes taken as latin-1.
std::string JsonText(std::string_view bytes) {
  std::string out = "\"";
  for (const unsigned char c : bytes) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string ConnectionJson(const ScriptedConnection& connection) {
  std::string json = "{\"steps\":[";
  for (size_t i = 0; i < connection.steps.size(); ++i) {
    if (i != 0) json += ",";
    json += connection.steps[i];
  }
  json += "]";
  if (connection.cut_after.has_value()) {
    json += ",\"cut\":" + std::to_string(*connection.cut_after);
    json += std::string(",\"cut_reset\":") + (connection.reset_at_cut ? "true" : "false");
  }
  return json + "}";
}

// Writes the script next to the server folders and returns its path.
std::string WriteScript(const std::string& parent,
                        const std::vector<ScriptedConnection>& connections,
                        const std::optional<ScriptedConnection>& otherwise) {
  std::string json = "{\"connections\":[";
  for (size_t i = 0; i < connections.size(); ++i) {
    if (i != 0) json += ",";
    json += ConnectionJson(connections[i]);
  }
  json += "]";
  if (otherwise.has_value()) json += ",\"otherwise\":" + ConnectionJson(*otherwise);
  json += "}";
  std::string path = parent + "/script-XXXXXX";
  const int fd = mkstemp(path.data());
  if (fd < 0) {
    ADD_FAILURE() << "cannot create a script file in " << parent;
    return "";
  }
  close(fd);
  WriteFile(path, json);
  return path;
}

std::vector<std::string> Ipv6Option(bool ipv6) {
  return ipv6 ? std::vector<std::string>{"--ipv6"} : std::vector<std::string>{};
}

// Decodes the hex of a requests.jsonl line.
std::string FromHex(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  }
  return bytes;
}

}  // namespace

NetServer::NetServer(const std::string& kind, const std::string& parent,
                     std::vector<std::string> options) {
  std::vector<std::string> argv = {PythonPath(), SourcePath("tools/testnet/serve.py"), kind,
                                   "--dir", parent};
  argv.insert(argv.end(), options.begin(), options.end());
  process_ = std::make_unique<PeerProcess>(argv);
  const std::vector<std::string> fields = Split(process_->first_line(), ' ');
  if (fields.empty() || fields[0] != "ready") {
    ADD_FAILURE() << kind << " did not start";
    process_->Stop();
    return;
  }
  for (size_t i = 1; i < fields.size(); ++i) {
    const size_t equals = fields[i].find('=');
    if (equals != std::string::npos) {
      values_[fields[i].substr(0, equals)] = fields[i].substr(equals + 1);
    }
  }
  port_ = static_cast<uint16_t>(std::atoi(Value("port").c_str()));
}

NetServer::~NetServer() = default;

bool NetServer::running() const { return process_->running() && port_ != 0; }

std::string NetServer::Url(std::string_view path) const {
  std::string url = Value("url");
  if (!url.empty()) url.pop_back();  // the ready line's URL ends in "/"
  return url + std::string(path);
}

std::string NetServer::Url6(std::string_view path) const {
  std::string url = Value("url6");
  if (!url.empty()) url.pop_back();
  return url + std::string(path);
}

std::string NetServer::HostPort() const { return "127.0.0.1:" + std::to_string(port_); }

std::string NetServer::Value(const std::string& key) const {
  const auto found = values_.find(key);
  return found == values_.end() ? "" : found->second;
}

std::vector<AccessLogEntry> NetServer::AccessLog(size_t at_least) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLogWaitMs);
  for (;;) {
    std::vector<AccessLogEntry> entries = ParseAccessLog(Value("access_log"));
    if (entries.size() >= at_least || std::chrono::steady_clock::now() > deadline) return entries;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLogPollMs));
  }
}

std::string NetServer::ErrorLog() const { return ReadFile(Value("error_log")); }

void NetServer::Stop() { process_->Stop(); }

std::string WebServer::PutFile(const std::string& relative, std::string_view content) const {
  const std::filesystem::path path = std::filesystem::path(root()) / relative;
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path.string(), std::string(content));
  return path.string();
}

NginxServer::NginxServer(const std::string& parent, const Options& options)
    : WebServer("nginx", parent, [&] {
        std::vector<std::string> o = Ipv6Option(options.ipv6);
        o.insert(o.end(), {"--listen-options", options.listen_options, "--server-conf",
                           options.server_conf, "--http-conf", options.http_conf});
        return o;
      }()) {}

ApacheServer::ApacheServer(const std::string& parent, const Options& options)
    : WebServer("apache", parent, [&] {
        std::vector<std::string> o = Ipv6Option(options.ipv6);
        for (const Credential& c : options.digest_users) {
          o.insert(o.end(), {"--digest-user", CredentialText(c)});
        }
        for (const Credential& c : options.basic_users) {
          o.insert(o.end(), {"--basic-user", CredentialText(c)});
        }
        o.insert(o.end(), {"--realm", options.realm, "--conf", options.conf});
        return o;
      }()) {}

SquidProxy::SquidProxy(const std::string& parent, const Options& options)
    : NetServer("squid", parent, [&] {
        static constexpr const char* kAuthNames[] = {"none", "basic", "digest", "both"};
        std::vector<std::string> o = Ipv6Option(options.ipv6);
        o.insert(o.end(), {"--auth", kAuthNames[static_cast<int>(options.auth)], "--realm",
                           options.realm});
        for (const Credential& c : options.users) o.insert(o.end(), {"--user", CredentialText(c)});
        return o;
      }()) {}

TinyProxy::TinyProxy(const std::string& parent, const std::optional<Credential>& basic)
    : NetServer("tinyproxy", parent,
                basic.has_value() ? std::vector<std::string>{"--user", CredentialText(*basic)}
                                  : std::vector<std::string>{}) {}

namespace script {
std::string ReadRequest() { return "{\"read_request\":true}"; }
std::string Read(size_t count) { return "{\"read\":" + std::to_string(count) + "}"; }
std::string ReadUntil(std::string_view marker) {
  return "{\"read_until\":" + JsonText(marker) + "}";
}
std::string Send(std::string_view bytes) { return "{\"send\":" + JsonText(bytes) + "}"; }
std::string Trickle(std::string_view bytes, double interval_seconds, size_t piece) {
  return "{\"send\":" + JsonText(bytes) + ",\"trickle\":" + std::to_string(interval_seconds) +
         ",\"piece\":" + std::to_string(piece) + "}";
}
std::string Repeat(std::string_view bytes, uint64_t count) {
  return "{\"repeat\":" + JsonText(bytes) + ",\"count\":" + std::to_string(count) + "}";
}
std::string Sleep(double seconds) { return "{\"sleep\":" + std::to_string(seconds) + "}"; }
std::string Stall() { return "{\"stall\":true}"; }
std::string Close() { return "{\"close\":true}"; }
std::string Reset() { return "{\"reset\":true}"; }
std::string ShutdownWrite() { return "{\"shutdown_write\":true}"; }
}  // namespace script

std::string HttpResponse(std::string_view status_line, std::string_view body,
                         std::string_view headers) {
  return std::string(status_line) + "\r\n" + std::string(headers) +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

ScriptedPeer::ScriptedPeer(const std::string& parent,
                           const std::vector<ScriptedConnection>& connections,
                           const Options& options)
    : NetServer("scripted", parent, [&] {
        std::vector<std::string> o = Ipv6Option(options.ipv6);
        o.insert(o.end(), {"--script", WriteScript(parent, connections, options.otherwise)});
        return o;
      }()) {}

std::vector<ScriptedPeer::Request> ScriptedPeer::Requests() const {
  std::vector<Request> requests;
  std::ifstream log(Value("requests_log"));
  std::string line;
  while (std::getline(log, line)) {
    // {"conn": N, "hex": "..."} as json.dumps writes it.
    const size_t conn = line.find("\"conn\": ");
    const size_t hex = line.find("\"hex\": \"");
    if (conn == std::string::npos || hex == std::string::npos) continue;
    Request r;
    r.connection = std::atoi(line.c_str() + conn + 8);
    const size_t start = hex + 8;
    r.raw = FromHex(std::string_view(line).substr(start, line.find('"', start) - start));
    requests.push_back(r);
  }
  return requests;
}

std::string ScriptedPeer::Received(int connection) const {
  return ReadFile(folder() + "/conn-" + std::to_string(connection) + ".in");
}

int ScriptedPeer::Connections() const {
  int count = 0;
  while (std::filesystem::exists(folder() + "/conn-" + std::to_string(count) + ".in")) ++count;
  return count;
}

bool ScriptedPeer::WaitForConnections(int count, int timeout_ms) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (Connections() < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kLogPollMs));
  }
  return true;
}

}  // namespace upd::test
