#!/usr/bin/env bash
# Adds to a folder made by tls_make_pki.sh the certificates that tell a TLS
# server's certificate policy (OpenSSL's "sslserver" purpose at security
# level 2) apart from a bare chain check. Each is written as OUTDIR/<name>.pem,
# .der and .key; all name localhost and 127.0.0.1 and sit under inter unless
# told otherwise.
#
#   tls_policy_pki.sh OUTDIR
#
# no_eku                   no extended key usage (good)
# rsa2048                  an RSA-2048 key (good)
# client_only              extended key usage clientAuth only
# rsa1024                  an RSA-1024 key
# sha1_leaf                signed with SHA-1
# sha1_inter, under_sha1_inter
#                          an intermediate signed with SHA-1 under root, and
#                          a SHA-256 server certificate under it
# sha1_root, under_sha1_root
#                          a root signed by itself with SHA-1, and a SHA-256
#                          server certificate under it (good where sha1_root
#                          is trusted: an anchor's own signature is not checked)
set -euo pipefail
out=${1:?usage: tls_policy_pki.sh OUTDIR}
if [ ! -f "$out/root.key" ] || [ ! -f "$out/inter.key" ]; then
  echo "tls_policy_pki.sh: run tls_make_pki.sh $out first" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=openssl_ca.sh
. "$(dirname "$0")/openssl_ca.sh"

start=20200101000000Z
end=20500101000000Z

cat >"$work/ext.cnf" <<'CNF'
[ ca_ext ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ server_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ no_eku_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ client_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = clientAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

# issue NAME CN ISSUER EXT [DIGEST]: a certificate for the key NAME under the
# certificate and key named ISSUER ("self" signs with the key NAME).
issue() {
  local issuer=(self "")
  [ "$3" = self ] || issuer=("$out/$3.pem" "$out/$3.key")
  issue_cert "$1" "$2" "$1" "${issuer[@]}" "$4" "$start" "$end" "${5:-sha256}"
}

ec_key no_eku && issue no_eku localhost inter no_eku_ext
rsa_key rsa2048 2048 && issue rsa2048 localhost inter server_ext
ec_key client_only && issue client_only localhost inter client_ext
rsa_key rsa1024 1024 && issue rsa1024 localhost inter server_ext
ec_key sha1_leaf && issue sha1_leaf localhost inter server_ext sha1
ec_key sha1_inter && issue sha1_inter "TLS SHA-1 Inter" root ca_ext sha1
ec_key under_sha1_inter && issue under_sha1_inter localhost sha1_inter server_ext
ec_key sha1_root && issue sha1_root "TLS SHA-1 Root" self ca_ext sha1
ec_key under_sha1_root && issue under_sha1_root localhost sha1_root server_ext
