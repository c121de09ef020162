#!/usr/bin/env bash
# Makes the certificates of the TLS tests with the openssl command: a root,
# an intermediate and server certificates under it, plus the shapes a system
# chain check must refuse. Every certificate is written as OUTDIR/<name>.pem
# and OUTDIR/<name>.der, with OUTDIR/<name>.key for those a server uses.
#
#   tls_make_pki.sh OUTDIR
#
# root, inter              the trusted root and an intermediate under it
# server                   CN localhost (also 127.0.0.1), under inter
# server_sni               CN sni.test, under inter
# expired                  CN localhost, under inter, expired in 2021
# self_signed              CN localhost, issued by itself
# stranger_root, stranger  an unknown root and a server under it
# not_ca                   a server issued by the key of server, which is no CA
# cross_expired            inter's name and key under stranger_root, expired in
#                          2021: a cross-sign off the path of a good chain
# direct                   CN localhost, right under root (a server certificate
#                          that verifies on its own)
# cn_only                  CN cn.test and no subjectAltName, under inter
set -euo pipefail
out=${1:?usage: tls_make_pki.sh OUTDIR}
mkdir -p "$out"
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
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost, IP:127.0.0.1
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ sni_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:sni.test
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ cn_only_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

# issue NAME CN KEY ISSUER EXT [START END]: a certificate for KEY under the
# certificate and key named ISSUER ("self" signs with KEY).
issue() {
  local issuer=(self "")
  [ "$4" = self ] || issuer=("$out/$4.pem" "$out/$4.key")
  issue_cert "$1" "$2" "$3" "${issuer[@]}" "${@:5}"
}

ec_key root && issue root "TLS Test Root" root self ca_ext
ec_key inter && issue inter "TLS Test Inter" inter root ca_ext
ec_key server && issue server localhost server inter server_ext
ec_key server_sni && issue server_sni sni.test server_sni inter sni_ext
ec_key expired && issue expired localhost expired inter server_ext "$start" 20210101000000Z
ec_key self_signed && issue self_signed localhost self_signed self server_ext
ec_key stranger_root && issue stranger_root "TLS Stranger Root" stranger_root self ca_ext
ec_key stranger && issue stranger localhost stranger stranger_root server_ext
ec_key not_ca && issue not_ca localhost not_ca server server_ext
issue cross_expired "TLS Test Inter" inter stranger_root ca_ext "$start" 20210101000000Z
ec_key direct && issue direct localhost direct root server_ext
ec_key cn_only && issue cn_only cn.test cn_only inter cn_only_ext
