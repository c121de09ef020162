#!/usr/bin/env bash
# The library opens OpenSSL at run time only: no libssl or libcrypto among
# its needed libraries and no OpenSSL name left for the dynamic linker. Its
# OpenSSLSharedBuildId is an exported default-visibility function that the
# loader reaches through a dynamic relocation, so another module's
# definition that comes first in the process is the one it asks.
set -euo pipefail
lib=${UPD_LIBRARY:?UPD_LIBRARY not set}
[ -f "$lib" ] || { echo "missing $lib"; exit 1; }

needed=$(readelf -d "$lib" | grep NEEDED || true)
if grep -Eq 'libssl|libcrypto' <<<"$needed"; then
  echo "linked against OpenSSL:"; echo "$needed"; exit 1
fi

undefined=$(nm -D --undefined-only "$lib" | awk '{print $NF}' |
  grep -E '^(SSL_|SSLv|TLS_|TLSv|OPENSSL_|OpenSSL_|ERR_|X509_|BIO_|CRYPTO_|EVP_|PEM_|PKCS12_|BN_|DH_|d2i_|i2d_)' || true)
if [ -n "$undefined" ]; then
  echo "OpenSSL names bound at load time:"; echo "$undefined"; exit 1
fi

symbol=$(readelf -W --dyn-syms "$lib" | awk '$8 == "OpenSSLSharedBuildId"')
read -r _ _ _ type bind visibility index _ <<<"$symbol"
if [ "$type $bind $visibility" != "FUNC GLOBAL DEFAULT" ] || [ "$index" = "UND" ]; then
  echo "OpenSSLSharedBuildId is not an exported function: $symbol"; exit 1
fi

relocations=$(readelf -W -r "$lib")
if ! grep -Eq '(GLOB_DAT|JUMP_SLOT) +[0-9a-f]+ +OpenSSLSharedBuildId' <<<"$relocations"; then
  echo "OpenSSLSharedBuildId is called without the dynamic binding"; exit 1
fi
echo ok
