#!/usr/bin/env bash
# Makes a test trust folder: the product's two root certification authorities
# (self-signed RSA-4096 v3 CA certificates with their fixed validity windows),
# as DER certificates with their private keys beside them. The keys stay in
# the build tree, where tests use them to issue certificates and sign trust
# lists; none is ever committed.
#
#   make_trust.sh OUTDIR
#
# OUTDIR/root9.{der,pem,key}   newer root, 2020-07-15 .. 2045-07-15
# OUTDIR/root10.{der,pem,key}  older root, 2015-01-10 .. 2045-01-10
set -euo pipefail
out=${1:?usage: make_trust.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=openssl_ca.sh
. "$(dirname "$0")/openssl_ca.sh"

make_root() {
  local name=$1 cn=$2 start=$3 end=$4
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:4096 -out "$work/$name.key" 2>/dev/null
  {
    ca_database "$work/$name.ca"
    cat <<CNF
[ root_ext ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign, digitalSignature
subjectKeyIdentifier = hash
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = $cn
O = Wexa Test Trust
C = SK
CNF
  } >"$work/$name.cnf"
  openssl req -new -key "$work/$name.key" -config "$work/$name.cnf" -out "$work/$name.csr"
  openssl ca -batch -selfsign -notext -config "$work/$name.cnf" -keyfile "$work/$name.key" \
    -extensions root_ext \
    -startdate "$start" -enddate "$end" -in "$work/$name.csr" -out "$work/$name.pem" 2>/dev/null
  openssl x509 -in "$work/$name.pem" -outform DER -out "$out/$name.der"
  openssl x509 -in "$work/$name.pem" -out "$out/$name.pem"
  install -m 0600 "$work/$name.key" "$out/$name.key"
}

make_root root10 "Wexa Test Root CA 2015" 20150110000000Z 20450110000000Z
make_root root9 "Wexa Test Root CA 2020" 20200715000000Z 20450715000000Z
