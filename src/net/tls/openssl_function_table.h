#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "net/tls/openssl_api.h"
#include "platform/os/os_library.h"

// One entry point per OpenSSL name the loader resolves; an entry is null when
// its name was not resolved (optional names, and the names of the interface
// generation that was not loaded). Entries are named after OpenSSL's names;
// where the 1.0 and the later interfaces differ the entry takes a neutral
// name and the loader picks the generation's name (see kOpenSslEntries).
struct OpenSslFunctionTable {
  size_t (*BIO_ctrl_pending)(BIO* bio);
  int (*BIO_free)(BIO* bio);
  BIO* (*BIO_new)(const BIO_METHOD* method);
  openssl::OpaqueFunction BIO_new_mem_buf;
  int (*BIO_read)(BIO* bio, void* buffer, int length);
  const BIO_METHOD* (*BIO_s_mem)();
  int (*BIO_write)(BIO* bio, const void* data, int length);
  openssl::OpaqueFunction BN_bin2bn;
  openssl::OpaqueFunction BN_GENCB_new;
  openssl::OpaqueFunction BN_GENCB_set;
  openssl::OpaqueFunction BN_GENCB_get_arg;
  openssl::OpaqueFunction BN_GENCB_free;
  openssl::OpaqueFunction CONF_modules_unload;
  openssl::OpaqueFunction CRYPTO_cleanup_all_ex_data;
  int (*CRYPTO_get_ex_new_index)(int class_index, long argl, void* argp, void* new_func,
                                 void* dup_func, void* free_func);
  int (*CRYPTO_num_locks)();
  void (*CRYPTO_set_id_callback)(openssl::IdCallback callback);
  void (*CRYPTO_set_locking_callback)(openssl::LockingCallback callback);
  int (*CRYPTO_set_mem_functions)(openssl::AllocateHook allocate,
                                  openssl::ReallocateHook reallocate, openssl::FreeHook free);
  void (*CRYPTO_THREADID_current)(CRYPTO_THREADID* id);
  unsigned long (*CRYPTO_THREADID_hash)(const CRYPTO_THREADID* id);
  openssl::OpaqueFunction d2i_PKCS12_bio;
  X509* (*d2i_X509)(X509** out, const unsigned char** input, long length);
  openssl::OpaqueFunction DH_new;
  openssl::OpaqueFunction DH_free;
  openssl::OpaqueFunction DH_set0_pqg;
  openssl::OpaqueFunction DH_generate_parameters_ex;
  openssl::OpaqueFunction DH_check;
  openssl::OpaqueFunction ENGINE_cleanup;
  void (*ERR_clear_error)();
  void (*ERR_error_string_n)(unsigned long error, char* buffer, size_t size);
  openssl::OpaqueFunction ERR_free_strings;
  unsigned long (*ERR_get_error)();
  openssl::OpaqueFunction ERR_remove_state;
  void (*ERR_remove_thread_state)(const CRYPTO_THREADID* id);
  openssl::OpaqueFunction EVP_cleanup;
  openssl::OpaqueFunction EVP_PKEY_free;
  int (*i2d_X509)(X509* certificate, unsigned char** out);
  void (*add_all_algorithms)();
  openssl::OpaqueFunction OPENSSL_cleanup;
  openssl::OpaqueFunction OPENSSL_thread_stop;
  openssl::OpaqueFunction PEM_read_bio_PrivateKey;
  openssl::OpaqueFunction PEM_read_bio_X509;
  openssl::OpaqueFunction PEM_write_bio_X509;
  openssl::OpaqueFunction PKCS12_free;
  openssl::OpaqueFunction PKCS12_parse;
  int (*stack_num)(const OPENSSL_STACK* stack);
  void* (*stack_value)(const OPENSSL_STACK* stack, int index);
  void (*stack_pop_free)(OPENSSL_STACK* stack, openssl::StackFreeFunction free_item);
  const char* (*SSL_alert_type_string_long)(int value);
  const char* (*SSL_alert_desc_string_long)(int value);
  long (*SSL_CTX_ctrl)(SSL_CTX* ctx, int command, long value, void* argument);
  void (*SSL_CTX_free)(SSL_CTX* ctx);
  openssl::OpaqueFunction SSL_CTX_get0_certificate;
  SSL_CTX* (*SSL_CTX_new)(const SSL_METHOD* method);
  openssl::OpaqueFunction SSL_CTX_set_alpn_protos;
  openssl::OpaqueFunction SSL_CTX_set_alpn_select_cb;
  void (*SSL_CTX_set_cert_verify_callback)(SSL_CTX* ctx, openssl::CertVerifyCallback callback,
                                           void* arg);
  openssl::OpaqueFunction SSL_CTX_set_cipher_list;
  openssl::OpaqueFunction SSL_CTX_set_ciphersuites;
  void (*SSL_CTX_set_client_cert_cb)(SSL_CTX* ctx, openssl::ClientCertCallback callback);
  void (*SSL_CTX_set_info_callback)(SSL_CTX* ctx, openssl::InfoCallback callback);
  void (*SSL_CTX_set_msg_callback)(SSL_CTX* ctx, openssl::MsgCallback callback);
  uint64_t (*SSL_CTX_set_options)(SSL_CTX* ctx, uint64_t options);
  void (*SSL_CTX_set_verify)(SSL_CTX* ctx, int mode, openssl::VerifyCallback callback);
  openssl::OpaqueFunction SSL_CTX_set_verify_depth;
  openssl::OpaqueFunction SSL_CTX_use_certificate;
  openssl::OpaqueFunction SSL_CTX_use_certificate_ASN1;
  openssl::OpaqueFunction SSL_CTX_use_PrivateKey;
  openssl::OpaqueFunction SSL_CTX_use_PrivateKey_ASN1;
  long (*SSL_ctrl)(SSL* ssl, int command, long value, void* argument);
  openssl::OpaqueFunction SSL_do_handshake;
  void (*SSL_free)(SSL* ssl);
  int (*SSL_get_error)(const SSL* ssl, int result);
  void* (*SSL_get_ex_data)(const SSL* ssl, int index);
  int (*SSL_get_ex_data_X509_STORE_CTX_idx)();
  int (*SSL_get_ex_new_index)(long argl, void* argp, void* new_func, void* dup_func,
                              void* free_func);
  openssl::OpaqueFunction peer_certificate;
  BIO* (*SSL_get_rbio)(const SSL* ssl);
  int (*SSL_get_shutdown)(const SSL* ssl);
  int (*SSL_get_state)(const SSL* ssl);
  BIO* (*SSL_get_wbio)(const SSL* ssl);
  openssl::OpaqueFunction SSL_get0_alpn_selected;
  int (*SSL_library_init)();
  void (*SSL_load_error_strings)();
  SSL* (*SSL_new)(SSL_CTX* ctx);
  int (*SSL_peek)(SSL* ssl, void* buffer, int length);
  int (*SSL_pending)(const SSL* ssl);
  int (*SSL_read)(SSL* ssl, void* buffer, int length);
  openssl::OpaqueFunction SSL_renegotiate;
  openssl::OpaqueFunction SSL_renegotiate_pending;
  openssl::OpaqueFunction SSL_select_next_proto;
  openssl::OpaqueFunction SSL_set_accept_state;
  openssl::OpaqueFunction SSL_set_alpn_protos;
  void (*SSL_set_bio)(SSL* ssl, BIO* read_bio, BIO* write_bio);
  void (*SSL_set_connect_state)(SSL* ssl);
  int (*SSL_set_ex_data)(SSL* ssl, int index, void* data);
  openssl::OpaqueFunction SSL_shutdown;
  int (*SSL_state)(const SSL* ssl);
  const SSL_METHOD* (*generic_method)();
  const SSL_METHOD* (*SSLv2_method)();
  const SSL_METHOD* (*SSLv3_method)();
  int (*SSL_write)(SSL* ssl, const void* data, int length);
  openssl::OpaqueFunction version_number;
  const SSL_METHOD* (*TLSv1_1_method)();
  const SSL_METHOD* (*TLSv1_2_method)();
  const SSL_METHOD* (*TLSv1_method)();
  void (*X509_free)(X509* certificate);
  void* (*X509_STORE_CTX_get_ex_data)(const X509_STORE_CTX* store, int index);
  OPENSSL_STACK* (*X509_STORE_CTX_get0_untrusted)(const X509_STORE_CTX* store);
  X509_STORE* (*X509_STORE_new)();
  void (*X509_STORE_free)(X509_STORE* store);
  X509_STORE_CTX* (*X509_STORE_CTX_new)();
  void (*X509_STORE_CTX_free)(X509_STORE_CTX* store);
  int (*X509_STORE_CTX_init)(X509_STORE_CTX* store, X509_STORE* trust, X509* certificate,
                             OPENSSL_STACK* untrusted);
  int (*X509_verify_cert)(X509_STORE_CTX* store);
  openssl::OpaqueFunction X509_STORE_load_locations;
  OPENSSL_STACK* (*stack_new_null)();
  void (*stack_free)(OPENSSL_STACK* stack);
  int (*stack_push)(OPENSSL_STACK* stack, const void* item);
  int (*X509_STORE_set_default_paths)(X509_STORE* store);
  int (*X509_STORE_CTX_get_error)(const X509_STORE_CTX* store);
  openssl::OpaqueFunction X509_get_default_cert_file;
  // The server-name checks of the system chain check (1.0.2 and later).
  int (*X509_check_host)(X509* certificate, const char* name, size_t length, unsigned int flags,
                         char** matched);
  int (*X509_check_ip_asc)(X509* certificate, const char* address, unsigned int flags);
  // The TLS-server purpose and the security level of the system chain check
  // (the level's setter from 1.1.0 on: without it that check refuses).
  int (*X509_STORE_CTX_set_purpose)(X509_STORE_CTX* store, int purpose);
  X509_VERIFY_PARAM* (*X509_STORE_CTX_get0_param)(X509_STORE_CTX* store);
  void (*X509_VERIFY_PARAM_set_auth_level)(X509_VERIFY_PARAM* param, int level);
};

// When an entry must resolve.
enum class OpenSslNeed : uint8_t {
  kBoth,           // required under either interface
  kNewOnly,        // looked up and required only under the later interface
  kOldOnly,        // looked up and required only under the 1.0 interface
  kOptional,       // looked up under either interface, may stay null
  kVersionMethod,  // 1.0 only, optional; one of them stands in for the generic method
  kGenericMethod,  // required, except under 1.0 when a version method was found
};

// How one entry is resolved: the name under each interface (null: not looked
// up there) and a second name tried when the first is missing.
struct OpenSslEntry {
  const char* field;
  void (*store)(OpenSslFunctionTable& table, void* address);
  const char* new_name;
  const char* old_name;
  const char* fallback;
  OpenSslNeed need;
};

// Every entry of the table, in field order.
std::span<const OpenSslEntry> OpenSslEntries();

// The name whose presence selects the 1.1-and-later interface.
inline constexpr const char* kOpenSslNewApiMarker = "OPENSSL_thread_stop";

// Resolves a new table from the two libraries: null when a required name is
// missing (or memory ran out). new_api reports which interface was found.
std::unique_ptr<OpenSslFunctionTable> ResolveOpenSslFunctions(OS_LIBRARY* crypto, OS_LIBRARY* ssl,
                                                              bool& new_api);
