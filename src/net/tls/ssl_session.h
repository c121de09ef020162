#pragma once

// TLS client sessions over memory buffers: a byte pump that never touches a
// socket. OpenSSL reads the peer's bytes from a memory read BIO and writes
// its own into a memory write BIO; the caller moves bytes between those and
// its connection, and plaintext in and out with OsSslRead and OsSslWrite.
// Every OpenSSL call goes through the loader's function table; the layer
// initialises the loader once per process and keeps it to the end.
//
// How a connection drives a session:
//  - OsSslInitialize once (OsSslIsInitialized tells whether OpenSSL is there),
//    then per connection OsSslCreate and OsSslStartHandshake, which leaves
//    the client hello in the output.
//  - Handshake: while OsSslIsHandshaking, send everything OsSslGetOutput
//    yields while OsSslGetOutputPending is non-zero, receive from the socket
//    and OsSslPutInput it; 0 and kOsSslNeedMoreInput go on, any other code
//    ends the handshake as failed (a refused certificate gives kOsSslError).
//  - Send: OsSslWrite, then flush the output as above.
//  - Receive: when OsSslPending reports plaintext, OsSslRead it. Otherwise
//    receive and OsSslPutInput while the answer is kOsSslNeedMoreInput, then
//    look at OsSslPending again. When nothing is pending and OsSslIsClosed
//    is true, the peer ended the data with close_notify: an orderly end,
//    not an error (a close-delimited body ends there). kOsSslRenegotiating
//    means the server started a new handshake: drive it as the first one.
//  - The server-certificate check is the verify function given to
//    OsSslCreate (OsSslVerifyFunction); OsSslCheckCertificateChain judges the
//    same list against the system's trust store for a check that falls back
//    to it.
//  - OsSslDestroy when the connection closes.
// A session is used by one thread at a time.

#include <cstdint>

#include "net/tls/openssl_api.h"
#include "updater.h"

// Results of the layer.
enum [[nodiscard]] OsSslResult : uint32_t {
  kOsSslOk = 0,
  kOsSslRenegotiating = 1,  // OsSslPutInput: the peer started a new handshake
  kOsSslError = 200,        // OpenSSL failed; its error queue went to the log callback
  kOsSslNotSupported = 201,
  kOsSslBadArgument = 202,
  kOsSslNoMemory = 204,         // or an OpenSSL object could not be made
  kOsSslWantCertificate = 205,  // the server asked for a client certificate
  kOsSslWriteFailed = 207,
  kOsSslInputRefused = 208,     // the read BIO did not take the input
  kOsSslNeedMoreInput = 209,    // a record is incomplete: feed more
  kOsSslMissing = 210,          // OpenSSL missing or incomplete, or the layer not initialised
  kOsSslContextMismatch = 212,  // an existing context was made with other flags
};

// Session flags of OsSslCreate: the protocols allowed, and options.
enum OsSslFlag : uint32_t {
  kOsSslSsl2 = 0x01,
  kOsSslSsl3 = 0x02,
  kOsSslTls1 = 0x04,
  kOsSslTls1_1 = 0x08,
  kOsSslTls1_2 = 0x10,
  kOsSslTls1_3 = 0x20,
  kOsSslProtocolMask = 0x3F,
  kOsSslUnsupported = 0x200,
  // A server's certificate request pauses the handshake (kOsSslWantCertificate).
  kOsSslPauseOnCertificateRequest = 0x1000,
};

// Callbacks of the caller, Microsoft x64 convention.
// The certificate check: chain is the peer certificate list (items of a u32
// little-endian length and one DER certificate, the server's own first; no
// empty items), or null with length 0 when there is none. 0 accepts the
// chain; the handshake fails on any other answer. flags is null here.
using OsSslVerifyFunction = uint32_t(UPD_MSABI*)(const uint8_t* chain, uint64_t length, void* user,
                                                 uint32_t* flags);
// A printf-style sink for OpenSSL's error texts and alerts.
using OsSslLogFunction = void(UPD_MSABI*)(void* user, const char* format, ...);
// Sees the handshake, alert and cipher-change records; the session keeps a
// slot for one that no operation fills yet.
using OsSslMsgFunction = void(UPD_MSABI*)(void* user, uint32_t is_write, uint32_t content_type,
                                          const void* bytes, uint64_t length);

// One TLS client session; made by OsSslCreate, freed by OsSslDestroy.
struct OS_SSL_SESSION {
  SSL* ssl;
  SSL_CTX* ctx;
  uint8_t server;        // always 0: client sessions only
  uint8_t owns_context;  // the session made ctx and frees it
  OsSslVerifyFunction verify;
  void* verify_user;
  OsSslLogFunction log;
  void* log_user;
  OsSslMsgFunction msg;
  void* msg_user;
};

// A context made elsewhere, with the flags it was made for.
struct OS_SSL_CONTEXT {
  SSL_CTX* ctx;
  uint32_t flags;
};

// Loads OpenSSL once per process; 0 when done now or before. Failures
// (kOsSslNoMemory, kOsSslMissing, kOsSslError) keep nothing, and a later
// call tries again. Safe to call from several threads at once.
OsSslResult OsSslInitialize();
bool OsSslIsInitialized();
// Always kOsSslNotSupported.
OsSslResult OsSslNotSupported(uint64_t value);

// The method for the protocol flags and the options that exclude the
// protocols not allowed; null when OpenSSL has no fitting method.
const SSL_METHOD* OsSslSelectMethod(uint32_t flags, uint64_t* options);

// Makes a client session. server_name, when given, goes out as server name
// indication. address_list is not used. client_certificate must be null
// (kOsSslNotSupported otherwise). verify, when given, replaces OpenSSL's own
// chain verification. status, when given, is cleared.
OsSslResult OsSslCreate(const char* server_name, const void* address_list,
                        const OS_SSL_CONTEXT* existing, const void* client_certificate,
                        uint32_t flags, OsSslVerifyFunction verify, void* verify_user,
                        OS_SSL_SESSION** session, uint32_t* status);
void OsSslSetLogCallback(OS_SSL_SESSION* session, void* user, OsSslLogFunction log);

OsSslResult OsSslStartHandshake(OS_SSL_SESSION* session);
bool OsSslIsHandshaking(const OS_SSL_SESSION* session);

// Bytes waiting to be sent to the peer.
uint64_t OsSslGetOutputPending(const OS_SSL_SESSION* session);
// Takes up to *length bytes of that output; *length receives the count.
OsSslResult OsSslGetOutput(OS_SSL_SESSION* session, void* buffer, uint32_t* length);
// Hands bytes received from the peer to OpenSSL.
OsSslResult OsSslPutInput(OS_SSL_SESSION* session, const void* data, uint32_t length);

// Plaintext bytes ready to be read.
uint32_t OsSslPending(OS_SSL_SESSION* session);
// Takes up to *length plaintext bytes; *length receives the count.
OsSslResult OsSslRead(OS_SSL_SESSION* session, void* buffer, uint32_t* length);
// Encrypts plaintext into the output.
OsSslResult OsSslWrite(OS_SSL_SESSION* session, const void* data, uint32_t length);
// True once the peer's close_notify arrived: no more plaintext will come.
bool OsSslIsClosed(const OS_SSL_SESSION* session);

// Frees a session (null accepted).
void OsSslDestroy(OS_SSL_SESSION* session);

// Checks a peer certificate list against the system's default trust paths
// (OpenSSL's, so SSL_CERT_FILE and SSL_CERT_DIR apply; read once per
// process): the first certificate, with the others as untrusted helpers, so
// a certificate off the path that verifies it does not count. The path is
// held to what OpenSSL's TLS clients ask of a server's: the TLS-server
// purpose and security level 2 (an extended key usage that leaves out server
// authentication, an RSA key under 2048 bits or a SHA-1 signature below the
// trust anchor fail it, as other failures, with 24). With a non-empty
// host_name (a DNS name, or an address, IPv6 in brackets or not) the first
// certificate must name it too. 0 when it verifies (flags 0); -1 when
// OpenSSL, or a function this check needs (a 1.0 library has no security
// level), is not there, or the first certificate does not parse; otherwise a
// certificate result with trust status flags (0x1 not time valid, 0x8 key
// usage, 0x20 untrusted root, 0x400 other; 53 for another server's name).
// flags may be null.
[[nodiscard]] int32_t OsSslCheckCertificateChain(const uint8_t* chain, uint64_t length,
                                                 const char* host_name, uint32_t* flags);

// Callbacks the layer installs into OpenSSL.
void OsSslInfoCallback(const SSL* ssl, int where, int value);
void OsSslMsgCallback(int is_write, int version, int content_type, const void* bytes, size_t length,
                      SSL* ssl, void* arg);
int OsSslCertVerifyCallback(X509_STORE_CTX* store, void* arg);
int OsSslClientCertCallback(SSL* ssl, X509** certificate, EVP_PKEY** key);
