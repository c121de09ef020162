#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/http/fetch_config.h"
#include "net/http/http_connection.h"
#include "net/http/http_request_text.h"
#include "net/http/http_response_info.h"
#include "net/http/transport.h"
#include "net/tls/tcp_protocol.h"
#include "platform/util/update_errors.h"
#include "updater.h"

class CBuffer;
class HttpBodySink;
class HttpLineReader;
struct OS_FILE;

// The HTTP/1.1 client of the update engine. The download session owns two:
// one over its TCP connection and one, with tls set, over its TLS connection
// (a CTcpProtocol whose plain mode passes a proxy's CONNECT unencrypted).
//
// One request: a HEAD before a GET (unless skipped), "X-Bypass-Cache" answers
// fetched again (10 rounds in all), a connection closed before the answer was
// complete tried again (3 attempts in all), a proxy (absolute-form targets,
// or a CONNECT tunnel for TLS) with one direct attempt after a proxy failure
// when the configuration allows it, challenges of the server (401) and the
// proxy (407) answered with its credentials (http_auth.h). The connection
// stays open between requests to the same endpoint while the answers allow
// keep-alive. Every exchange is held to the connection's minimum rate; one
// cut for it (kUpdConnectionClosed) is not sent again.
//
// A transport serves one thread at a time; only Abort comes from others.
class CHttpTransport : public ITransport {
 public:
  // A proxy to go through; an empty host goes directly.
  struct ProxyRoute {
    std::string_view host;
    uint32_t port = 0;
    std::string_view user;
    std::string_view password;
  };

  CHttpTransport(CTcpProtocol& protocol, bool tls);
  ~CHttpTransport() override;

  // Start of a run: clears the abort flag, the User-Agent, the proxy-disabled
  // flag and the protocol's kept addresses (the next connect resolves again).
  void Reset();
  void ClearAbort() override { Reset(); }
  // Any thread: also the protocol's abort byte, which ends a wait for a
  // stalled TLS peer.
  void Abort() override;
  void CloseConnection();

  // One request whose answer body nobody reads (it is dropped, or the
  // connection closed): no HEAD, no validators, no range.
  [[nodiscard]] UpdError Get(const HttpRequestParams& params, const FetchConfig& config,
                             _HTTP_RESPONSE_INFO* response);

  // One request up to the head of its answer; a GET answered with 0 leaves
  // the body on the connection for the caller. keep_alive asks for a
  // persistent connection and comes back as the answer decided.
  [[nodiscard]] UpdError Request(const HttpRequestParams& params, const FetchConfig& config,
                                 _HTTP_RESPONSE_INFO* response, bool* keep_alive);

  // Downloads of a GET: the body into target_path (created, replacing a
  // file) or appended to target. With a partial earlier download the request
  // asks for the rest and the partial bytes go first. progress_word with
  // kProgressStatusBit asks for event 2 at the start; every event carries
  // caller_word. Event 3 reports each block of the body as received (and the
  // partial bytes), so that the values add up to the body. params.size_bound
  // bounds the whole body (TransferBound): a partial file past it is not
  // resumed, and a body past it ends with its result.
  [[nodiscard]] UpdError DownloadToFile(const HttpRequestParams& params, const char* target_path,
                                        const FetchConfig& config, _HTTP_RESPONSE_INFO* response,
                                        uint32_t progress_word, uint32_t caller_word,
                                        const char* partial_path);
  [[nodiscard]] UpdError DownloadToBuffer(const HttpRequestParams& params, CBuffer* target,
                                          const FetchConfig& config, _HTTP_RESPONSE_INFO* response,
                                          uint32_t progress_word, uint32_t caller_word,
                                          const char* partial_path);

  static constexpr uint32_t kProgressStatusBit = 0x80000000u;

  // Steps of the send loop, also used by the authentication answers.

  // Writes the request texts and runs the send loop.
  [[nodiscard]] UpdError SendRequest(const HttpRequestParams& params, const ProxyRoute& proxy,
                                      _HTTP_RESPONSE_INFO* response, bool* keep_alive);
  // Connects to host:port unless that connection is open, then exchanges
  // request (which an answer to a challenge may amend) for the answer's head.
  [[nodiscard]] UpdError SendWithAuth(std::string* request, std::string_view body,
                                       _HTTP_RESPONSE_INFO* response, std::string_view host,
                                       uint32_t port, const ProxyRoute& proxy, bool* keep_alive,
                                       HttpMethod method);
  // Opens a tunnel through the proxy to server_port of the current server
  // unless one is open.
  [[nodiscard]] UpdError ProxyConnect(uint32_t server_port, const ProxyRoute& proxy,
                                       _HTTP_RESPONSE_INFO* response);
  // Sends request (and body) on the connection and reads the answer's head.
  [[nodiscard]] UpdError ReadResponse(std::string_view request, std::string_view body,
                                       _HTTP_RESPONSE_INFO* response, bool* keep_alive,
                                       HttpMethod method);

  // Body readers over the open connection.

  // The next chunk's size; 0 ends the body (its trailer is read away).
  [[nodiscard]] UpdError ReadChunkSize(uint32_t* size);
  // Reads the rest of a body away; the connection is closed when that fails,
  // when the body would end only with the connection, or when it is too
  // large to be worth reading (more than 1 MiB).
  void SkipBody(_HTTP_RESPONSE_INFO* response);

  // Turns the server-certificate check on for the TLS connections made
  // afterwards (a plain TCP protocol ignores it). folder caches the trust
  // lists; "/" is appended when missing. Defined with the check.
  void SetCertificateCacheFolder(const char* folder);
  [[nodiscard]] const std::string& certificate_cache_folder() const {
    return certificate_cache_folder_;
  }

  // The host part of the current server (an IPv6 literal with its
  // brackets): the TLS server name.
  [[nodiscard]] const std::string& server_name() const { return server_name_; }
  // The configuration of the request under way (its proxy also serves the
  // trust-list downloads of the certificate check).
  [[nodiscard]] const FetchConfig& config() const { return config_; }
  [[nodiscard]] bool is_tls() const { return tls_; }
  [[nodiscard]] bool via_proxy() const { return via_proxy_; }
  [[nodiscard]] bool proxy_disabled() const { return proxy_disabled_; }
  // The last transfer was cut because the peer fell below the minimum rate
  // (its result is kUpdConnectionClosed); until the next request.
  [[nodiscard]] bool transfer_too_slow() const { return connection_.IsTooSlow(); }
  [[nodiscard]] std::string_view user_agent() const;

 private:
  // Where the reading of one body stands.
  struct BodyCursor {
    uint64_t received = 0;  // body bytes as sent (before any decoding)
    bool started = false;   // the first chunk size was read
    bool done = false;
  };
  struct SendPlan;

  [[nodiscard]] UpdError RunSendLoop(SendPlan& plan, _HTTP_RESPONSE_INFO* response,
                                      bool* keep_alive);
  [[nodiscard]] UpdError SendRound(SendPlan& plan, bool* head_done, _HTTP_RESPONSE_INFO* response,
                                    bool* keep_alive);
  [[nodiscard]] UpdError OpenEndpoint(std::string_view host, uint32_t port);
  [[nodiscard]] UpdError ReadHead(bool post_with_body, _HTTP_RESPONSE_INFO* response,
                                   bool* keep_alive, HttpMethod method);
  // One line of a head, CR LF removed; the connection is closed on failure.
  [[nodiscard]] UpdError ReadHeadLine(HttpLineReader& reader, std::string_view* line);
  [[nodiscard]] UpdError ScanLoginPage(_HTTP_RESPONSE_INFO* response);
  // After a head: closes the connection or drops the body nobody reads.
  void SettleConnection(_HTTP_RESPONSE_INFO* response, UpdError result, bool keep_alive,
                        HttpMethod method);

  // The next piece of a body into buffer: *got bytes, 0 at its end.
  [[nodiscard]] UpdError ReadBody(_HTTP_RESPONSE_INFO* response, BodyCursor* cursor,
                                   uint8_t* buffer, size_t size, size_t* got);
  // The line that ends a chunk's data, then the next size.
  [[nodiscard]] UpdError NextChunk(_HTTP_RESPONSE_INFO* response, BodyCursor* cursor);
  [[nodiscard]] UpdError ReadChunkEnd();
  void ReadTrailer();
  [[nodiscard]] UpdError Download(const HttpRequestParams& params, HttpBodySink& sink,
                                  const FetchConfig& config, _HTTP_RESPONSE_INFO* response,
                                  uint32_t progress_word, uint32_t caller_word,
                                  const char* partial_path);
  [[nodiscard]] UpdError RequestForDownload(const HttpRequestParams& params, uint64_t range_start,
                                            const FetchConfig& config,
                                            _HTTP_RESPONSE_INFO* response, bool* keep_alive);
  // What the events of one download carry.
  struct DownloadEvents {
    const IFetchEvents* sink;
    uint32_t caller_word;
    std::string file;
  };
  // The body (after the partial bytes when partial is given) into the sink.
  [[nodiscard]] UpdError ReceiveInto(HttpBodySink& sink, OS_FILE* partial,
                                      _HTTP_RESPONSE_INFO* response, uint32_t progress_word,
                                      const DownloadEvents& events);

  // Event 15: asks the host for the User-Agent while none is known.
  void EnsureUserAgent(const IFetchEvents* events);

  CTcpProtocol& protocol_;
  CHttpConnection connection_;
  FetchConfig config_;
  // Endpoint of the open connection: the server, or the proxy.
  std::string connected_host_;
  uint32_t connected_port_ = 0;
  // "name:port" of the server a CONNECT tunnel on the open connection leads to.
  std::string tunnel_target_;
  // Supplied by the host (event 15), which may grow it through its
  // allocator; kept until Reset.
  HOST_STRING user_agent_;
  std::string server_name_;
  std::string certificate_cache_folder_;
  bool tls_;
  bool via_proxy_ = false;
  bool proxy_disabled_ = false;
};
