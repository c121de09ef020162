#include "net/tls/openssl_function_table.h"

#include <cstring>
#include <new>
#include <string_view>
#include <type_traits>

namespace {

template <auto Member>
void Store(OpenSslFunctionTable& table, void* address) {
  using Entry = std::remove_reference_t<decltype(table.*Member)>;
  table.*Member = reinterpret_cast<Entry>(address);
}

template <auto Member>
constexpr OpenSslEntry Row(const char* field, const char* new_name, const char* old_name,
                           const char* fallback, OpenSslNeed need) {
  return {field, &Store<Member>, new_name, old_name, fallback, need};
}

// An entry whose OpenSSL name is its field name under both interfaces.
#define UPD_SAME(f, need) Row<&OpenSslFunctionTable::f>(#f, #f, #f, nullptr, OpenSslNeed::need)
// An entry with names of its own.
#define UPD_NAMED(f, new_name, old_name, fallback, need) \
  Row<&OpenSslFunctionTable::f>(#f, new_name, old_name, fallback, OpenSslNeed::need)

constexpr OpenSslEntry kEntries[] = {
    UPD_SAME(BIO_ctrl_pending, kBoth),
    UPD_SAME(BIO_free, kBoth),
    UPD_SAME(BIO_new, kBoth),
    UPD_SAME(BIO_new_mem_buf, kBoth),
    UPD_SAME(BIO_read, kBoth),
    UPD_SAME(BIO_s_mem, kBoth),
    UPD_SAME(BIO_write, kBoth),
    UPD_SAME(BN_bin2bn, kBoth),
    UPD_SAME(BN_GENCB_new, kNewOnly),
    UPD_SAME(BN_GENCB_set, kNewOnly),
    UPD_SAME(BN_GENCB_get_arg, kNewOnly),
    UPD_SAME(BN_GENCB_free, kNewOnly),
    UPD_SAME(CONF_modules_unload, kBoth),
    UPD_SAME(CRYPTO_cleanup_all_ex_data, kOldOnly),
    UPD_SAME(CRYPTO_get_ex_new_index, kNewOnly),
    UPD_SAME(CRYPTO_num_locks, kOldOnly),
    UPD_SAME(CRYPTO_set_id_callback, kOldOnly),
    UPD_SAME(CRYPTO_set_locking_callback, kOldOnly),
    UPD_SAME(CRYPTO_set_mem_functions, kNewOnly),
    UPD_SAME(CRYPTO_THREADID_current, kOptional),
    UPD_SAME(CRYPTO_THREADID_hash, kOptional),
    UPD_SAME(d2i_PKCS12_bio, kBoth),
    UPD_SAME(d2i_X509, kBoth),
    UPD_SAME(DH_new, kBoth),
    UPD_SAME(DH_free, kBoth),
    UPD_SAME(DH_set0_pqg, kNewOnly),
    UPD_SAME(DH_generate_parameters_ex, kNewOnly),
    UPD_SAME(DH_check, kNewOnly),
    UPD_SAME(ENGINE_cleanup, kOldOnly),
    UPD_SAME(ERR_clear_error, kBoth),
    UPD_SAME(ERR_error_string_n, kBoth),
    UPD_SAME(ERR_free_strings, kOldOnly),
    UPD_SAME(ERR_get_error, kBoth),
    UPD_SAME(ERR_remove_state, kOldOnly),
    UPD_SAME(ERR_remove_thread_state, kOptional),
    UPD_SAME(EVP_cleanup, kOldOnly),
    UPD_SAME(EVP_PKEY_free, kBoth),
    UPD_SAME(i2d_X509, kBoth),
    UPD_NAMED(add_all_algorithms, nullptr, "OPENSSL_add_all_algorithms_noconf",
              "OpenSSL_add_all_algorithms", kOldOnly),
    UPD_SAME(OPENSSL_cleanup, kNewOnly),
    UPD_SAME(OPENSSL_thread_stop, kOptional),
    UPD_SAME(PEM_read_bio_PrivateKey, kBoth),
    UPD_SAME(PEM_read_bio_X509, kBoth),
    UPD_SAME(PEM_write_bio_X509, kBoth),
    UPD_SAME(PKCS12_free, kBoth),
    UPD_SAME(PKCS12_parse, kBoth),
    UPD_NAMED(stack_num, "OPENSSL_sk_num", "sk_num", nullptr, kBoth),
    UPD_NAMED(stack_value, "OPENSSL_sk_value", "sk_value", nullptr, kBoth),
    UPD_NAMED(stack_pop_free, "OPENSSL_sk_pop_free", "sk_pop_free", nullptr, kBoth),
    UPD_SAME(SSL_alert_type_string_long, kBoth),
    UPD_SAME(SSL_alert_desc_string_long, kBoth),
    UPD_SAME(SSL_CTX_ctrl, kBoth),
    UPD_SAME(SSL_CTX_free, kBoth),
    UPD_SAME(SSL_CTX_get0_certificate, kOptional),
    UPD_SAME(SSL_CTX_new, kBoth),
    UPD_SAME(SSL_CTX_set_alpn_protos, kOptional),
    UPD_SAME(SSL_CTX_set_alpn_select_cb, kOptional),
    UPD_SAME(SSL_CTX_set_cert_verify_callback, kBoth),
    UPD_SAME(SSL_CTX_set_cipher_list, kBoth),
    UPD_SAME(SSL_CTX_set_ciphersuites, kOptional),
    UPD_SAME(SSL_CTX_set_client_cert_cb, kOptional),
    UPD_SAME(SSL_CTX_set_info_callback, kOptional),
    UPD_SAME(SSL_CTX_set_msg_callback, kBoth),
    UPD_SAME(SSL_CTX_set_options, kNewOnly),
    UPD_SAME(SSL_CTX_set_verify, kBoth),
    UPD_SAME(SSL_CTX_set_verify_depth, kBoth),
    UPD_SAME(SSL_CTX_use_certificate, kBoth),
    UPD_SAME(SSL_CTX_use_certificate_ASN1, kBoth),
    UPD_SAME(SSL_CTX_use_PrivateKey, kBoth),
    UPD_SAME(SSL_CTX_use_PrivateKey_ASN1, kBoth),
    UPD_SAME(SSL_ctrl, kBoth),
    UPD_SAME(SSL_do_handshake, kBoth),
    UPD_SAME(SSL_free, kBoth),
    UPD_SAME(SSL_get_error, kBoth),
    UPD_SAME(SSL_get_ex_data, kBoth),
    UPD_SAME(SSL_get_ex_data_X509_STORE_CTX_idx, kBoth),
    UPD_SAME(SSL_get_ex_new_index, kOldOnly),
    // OpenSSL 3 keeps only the get1 name.
    UPD_NAMED(peer_certificate, "SSL_get_peer_certificate", "SSL_get_peer_certificate",
              "SSL_get1_peer_certificate", kBoth),
    UPD_SAME(SSL_get_rbio, kBoth),
    UPD_SAME(SSL_get_shutdown, kBoth),
    UPD_SAME(SSL_get_state, kNewOnly),
    UPD_SAME(SSL_get_wbio, kBoth),
    UPD_SAME(SSL_get0_alpn_selected, kOptional),
    UPD_SAME(SSL_library_init, kOldOnly),
    UPD_SAME(SSL_load_error_strings, kOldOnly),
    UPD_SAME(SSL_new, kBoth),
    UPD_SAME(SSL_peek, kBoth),
    UPD_SAME(SSL_pending, kBoth),
    UPD_SAME(SSL_read, kBoth),
    UPD_SAME(SSL_renegotiate, kBoth),
    UPD_SAME(SSL_renegotiate_pending, kBoth),
    UPD_SAME(SSL_select_next_proto, kOptional),
    UPD_SAME(SSL_set_accept_state, kBoth),
    UPD_SAME(SSL_set_alpn_protos, kOptional),
    UPD_SAME(SSL_set_bio, kBoth),
    UPD_SAME(SSL_set_connect_state, kBoth),
    UPD_SAME(SSL_set_ex_data, kBoth),
    UPD_SAME(SSL_shutdown, kBoth),
    UPD_SAME(SSL_state, kOldOnly),
    UPD_NAMED(generic_method, "TLS_method", "SSLv23_method", nullptr, kGenericMethod),
    UPD_SAME(SSLv2_method, kVersionMethod),
    UPD_SAME(SSLv3_method, kVersionMethod),
    UPD_SAME(SSL_write, kBoth),
    UPD_NAMED(version_number, "OpenSSL_version_num", "SSLeay", nullptr, kBoth),
    UPD_SAME(TLSv1_1_method, kVersionMethod),
    UPD_SAME(TLSv1_2_method, kVersionMethod),
    UPD_SAME(TLSv1_method, kVersionMethod),
    UPD_SAME(X509_free, kBoth),
    UPD_SAME(X509_STORE_CTX_get_ex_data, kBoth),
    UPD_SAME(X509_STORE_CTX_get0_untrusted, kNewOnly),
    UPD_SAME(X509_STORE_new, kBoth),
    UPD_SAME(X509_STORE_free, kBoth),
    UPD_SAME(X509_STORE_CTX_new, kBoth),
    UPD_SAME(X509_STORE_CTX_free, kBoth),
    UPD_SAME(X509_STORE_CTX_init, kBoth),
    UPD_SAME(X509_verify_cert, kBoth),
    UPD_SAME(X509_STORE_load_locations, kBoth),
    UPD_NAMED(stack_new_null, "OPENSSL_sk_new_null", "sk_new_null", nullptr, kBoth),
    UPD_NAMED(stack_free, "OPENSSL_sk_free", "sk_free", nullptr, kBoth),
    UPD_NAMED(stack_push, "OPENSSL_sk_push", "sk_push", nullptr, kBoth),
    UPD_SAME(X509_STORE_set_default_paths, kBoth),
    UPD_SAME(X509_STORE_CTX_get_error, kBoth),
    UPD_SAME(X509_get_default_cert_file, kBoth),
    UPD_SAME(X509_check_host, kOptional),
    UPD_SAME(X509_check_ip_asc, kOptional),
    // Only the system chain check needs these: a library without them keeps
    // its TLS and that check refuses.
    UPD_SAME(X509_STORE_CTX_set_purpose, kOptional),
    UPD_SAME(X509_STORE_CTX_get0_param, kOptional),
    UPD_SAME(X509_VERIFY_PARAM_set_auth_level, kOptional),
};

#undef UPD_SAME
#undef UPD_NAMED

static_assert(std::size(kEntries) == 128, "one row per table entry");
static_assert(sizeof(OpenSslFunctionTable) == std::size(kEntries) * sizeof(void*),
              "one row per table entry");

// Names besides the "ERR_" family that are looked up in libcrypto first.
constexpr const char* kCryptoFirstNames[] = {
    "OPENSSL_thread_stop", "OPENSSL_cleanup", "ENGINE_cleanup",
    "CONF_modules_unload", "EVP_cleanup",     "CRYPTO_cleanup_all_ex_data",
    "TLS_method",          "SSL_get_state",
};

bool LookInCryptoFirst(const char* name) {
  if (std::strncmp(name, "ERR_", 4) == 0) return true;
  for (const char* crypto_name : kCryptoFirstNames) {
    if (std::string_view(name) == crypto_name) return true;
  }
  return false;
}

void* Lookup(OS_LIBRARY* crypto, OS_LIBRARY* ssl, const char* name) {
  OS_LIBRARY* first = LookInCryptoFirst(name) ? crypto : ssl;
  OS_LIBRARY* second = first == crypto ? ssl : crypto;
  void* address = OsLibrarySymbol(first, name);
  return address != nullptr ? address : OsLibrarySymbol(second, name);
}

bool LookedUp(OpenSslNeed need, bool new_api) {
  switch (need) {
    case OpenSslNeed::kNewOnly:
      return new_api;
    case OpenSslNeed::kOldOnly:
    case OpenSslNeed::kVersionMethod:
      return !new_api;
    default:
      return true;
  }
}

bool Required(OpenSslNeed need) {
  return need != OpenSslNeed::kOptional && need != OpenSslNeed::kVersionMethod &&
         need != OpenSslNeed::kGenericMethod;
}

}  // namespace

std::span<const OpenSslEntry> OpenSslEntries() { return kEntries; }

std::unique_ptr<OpenSslFunctionTable> ResolveOpenSslFunctions(OS_LIBRARY* crypto, OS_LIBRARY* ssl,
                                                              bool& new_api) {
  new_api = false;
  if (crypto == nullptr || ssl == nullptr) return nullptr;
  std::unique_ptr<OpenSslFunctionTable> table(new (std::nothrow) OpenSslFunctionTable{});
  if (table == nullptr) return nullptr;
  new_api = Lookup(crypto, ssl, kOpenSslNewApiMarker) != nullptr;
  bool version_method_found = false;
  bool generic_method_found = false;
  for (const OpenSslEntry& entry : kEntries) {
    if (!LookedUp(entry.need, new_api)) continue;
    void* address = Lookup(crypto, ssl, new_api ? entry.new_name : entry.old_name);
    if (address == nullptr && entry.fallback != nullptr) {
      address = Lookup(crypto, ssl, entry.fallback);
    }
    if (address == nullptr && Required(entry.need)) return nullptr;
    entry.store(*table, address);
    if (entry.need == OpenSslNeed::kVersionMethod && address != nullptr) {
      version_method_found = true;
    }
    if (entry.need == OpenSslNeed::kGenericMethod) generic_method_found = address != nullptr;
  }
  // The 1.0 interface may lack the generic method when a version-specific
  // one can take its place.
  if (!generic_method_found && (new_api || !version_method_found)) return nullptr;
  return table;
}
