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
CNF

key() {  # key NAME
  openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$out/$1.key" 2>/dev/null
}

# issue NAME CN KEY ISSUER EXT [START END]: a certificate for KEY under the
# certificate and key named ISSUER ("self" signs with KEY).
issue() {
  local name=$1 cn=$2 key=$3 issuer=$4 ext=$5 from=${6:-$start} to=${7:-$end}
  ca_database "$work/db" >"$work/ca.cnf"
  openssl req -new -key "$out/$key.key" -subj "/CN=$cn" -out "$work/req.csr"
  local sign=(-cert "$out/$issuer.pem" -keyfile "$out/$issuer.key")
  [ "$issuer" = self ] && sign=(-selfsign -keyfile "$out/$key.key")
  openssl ca -batch -notext -config "$work/ca.cnf" "${sign[@]}" \
    -extfile "$work/ext.cnf" -extensions "$ext" -startdate "$from" -enddate "$to" \
    -in "$work/req.csr" -out "$out/$name.pem" 2>/dev/null
  openssl x509 -in "$out/$name.pem" -outform DER -out "$out/$name.der"
}

key root && issue root "TLS Test Root" root self ca_ext
key inter && issue inter "TLS Test Inter" inter root ca_ext
key server && issue server localhost server inter server_ext
key server_sni && issue server_sni sni.test server_sni inter sni_ext
key expired && issue expired localhost expired inter server_ext "$start" 20210101000000Z
key self_signed && issue self_signed localhost self_signed self server_ext
key stranger_root && issue stranger_root "TLS Stranger Root" stranger_root self ca_ext
key stranger && issue stranger localhost stranger stranger_root server_ext
key not_ca && issue not_ca localhost not_ca server server_ext
issue cross_expired "TLS Test Inter" inter stranger_root ca_ext "$start" 20210101000000Z
