#pragma once

// The slice of OpenSSL's interface that the loader and the TLS session layer
// call. OpenSSL is opened at run time and never linked or included: its
// objects stay opaque here and the few constants in use are named with the
// values both the 1.0 and the 1.1-and-later interfaces give them.

#include <cstddef>
#include <cstdint>

struct SSL;
struct SSL_CTX;
struct SSL_METHOD;
struct BIO;
struct BIO_METHOD;
struct X509;
struct X509_STORE;
struct X509_STORE_CTX;
struct X509_VERIFY_PARAM;
struct EVP_PKEY;
struct OPENSSL_STACK;

// The 1.0 interface's thread identity (pointer and numeric id).
struct CRYPTO_THREADID {
  void* ptr;
  unsigned long val;
};

namespace openssl {

// An entry point the library resolves (so that a missing name is noticed)
// but no operation of this layer calls.
using OpaqueFunction = void (*)();

// Callbacks this layer hands to OpenSSL (System V convention, as OpenSSL
// calls them).
using InfoCallback = void (*)(const SSL* ssl, int where, int value);
using MsgCallback = void (*)(int is_write, int version, int content_type, const void* bytes,
                             size_t length, SSL* ssl, void* arg);
using CertVerifyCallback = int (*)(X509_STORE_CTX* store, void* arg);
using ClientCertCallback = int (*)(SSL* ssl, X509** certificate, EVP_PKEY** key);
using VerifyCallback = int (*)(int preverify_ok, X509_STORE_CTX* store);
using IdCallback = unsigned long (*)();
using LockingCallback = void (*)(int mode, int n, const char* file, int line);
using StackFreeFunction = void (*)(void* item);
using AllocateHook = void* (*)(size_t size, const char* file, int line);
using ReallocateHook = void* (*)(void* block, size_t size, const char* file, int line);
using FreeHook = void (*)(void* block, const char* file, int line);

// SSL_get_error results.
inline constexpr int kErrorSsl = 1;
inline constexpr int kErrorWantRead = 2;
inline constexpr int kErrorWantX509Lookup = 4;

// Control commands of SSL_CTX_ctrl and SSL_ctrl.
inline constexpr int kCtrlOptions = 32;  // the 1.0 interface's way to set options
inline constexpr int kCtrlSetTlsExtHostName = 55;
inline constexpr long kTlsExtNameTypeHostName = 0;

// Context options: a protocol's exclusion and the one option every context
// gets (no encrypt-then-MAC).
inline constexpr uint64_t kOptionNoSsl2 = 0x01000000;
inline constexpr uint64_t kOptionNoSsl3 = 0x02000000;
inline constexpr uint64_t kOptionNoTls1 = 0x04000000;
inline constexpr uint64_t kOptionNoTls1_1 = 0x10000000;
inline constexpr uint64_t kOptionNoTls1_2 = 0x08000000;
inline constexpr uint64_t kOptionNoTls1_3 = 0x20000000;
inline constexpr uint64_t kOptionNoEncryptThenMac = 0x80000;

inline constexpr int kVerifyPeer = 1;
inline constexpr int kExIndexSslClass = 0;

// Info-callback "where" bits.
inline constexpr int kCallbackRead = 0x04;
inline constexpr int kCallbackAlert = 0x4000;

// Record content types the message callback passes on.
inline constexpr int kContentCipherChange = 20;
inline constexpr int kContentAlert = 21;
inline constexpr int kContentHandshake = 22;

// Handshake finished: SSL_state under the 1.0 interface, SSL_get_state after.
inline constexpr int kOldStateOk = 3;
inline constexpr int kNewStateOk = 1;

// SSL_get_shutdown bit: the peer's close_notify arrived.
inline constexpr int kReceivedShutdown = 2;

// Mode bit of the 1.0 interface's locking callback.
inline constexpr int kCryptoLock = 1;

// The 1.0 interface has no accessor for a store context's untrusted chain;
// it follows the store, an int and the certificate in the context record.
inline constexpr size_t kOldStoreContextUntrustedOffset = 24;

// X509_PURPOSE_SSL_SERVER: the certificate of a TLS server.
inline constexpr int kX509PurposeSslServer = 2;

// X509_V_ERR values the system chain check tells apart.
inline constexpr int kX509UnableToDecryptSignature = 4;
inline constexpr int kX509SignatureFailure = 7;
inline constexpr int kX509CertificateExpired = 10;
inline constexpr int kX509SelfSignedLeaf = 18;
inline constexpr int kX509SelfSignedInChain = 19;
inline constexpr int kX509UnableToGetLocalIssuer = 20;
inline constexpr int kX509InvalidCa = 24;
inline constexpr int kX509SubjectIssuerMismatch = 29;
inline constexpr int kX509KeyUsageNoDigitalSignature = 39;
// OpenSSL 3 moved "invalid CA" here (24 became "no issuer public key").
inline constexpr int kX509InvalidCaSince3 = 79;

}  // namespace openssl
