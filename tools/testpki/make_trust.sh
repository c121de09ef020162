#!/usr/bin/env bash
# Makes a test trust folder: the product's two root certification authorities
# (self-signed RSA-4096 v3 CA certificates with their fixed validity windows),
# as DER certificates with their private keys beside them, and the update key
# (RSA-2048) with its GnuPG home. The keys stay in the build tree, where tests
# use them to issue certificates, sign trust lists and certify the signers of
# signed files (sign_kit.py); none is ever committed. Parts already present
# are kept.
#
#   make_trust.sh OUTDIR
#
# OUTDIR/root9.{der,pem,key}   newer root, 2020-07-15 .. 2045-07-15
# OUTDIR/root10.{der,pem,key}  older root, 2015-01-10 .. 2045-01-10
# OUTDIR/update-key.pgp        the update key as `gpg --export` writes it
# OUTDIR/gnupg/                GnuPG home holding the update key's secret key
set -euo pipefail
out=${1:?usage: make_trust.sh OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=openssl_ca.sh
. "$(dirname "$0")/openssl_ca.sh"

make_root() {
  local name=$1 cn=$2 start=$3 end=$4
  [[ -f "$out/$name.der" && -f "$out/$name.key" ]] && return
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

# The update key only certifies: the signers it certifies sign the files.
make_update_key() {
  [[ -f "$out/update-key.pgp" && -d "$out/gnupg" ]] && return
  home="$out/gnupg"
  rm -rf "$home"
  mkdir -m 0700 "$home"
  trap 'gpgconf --homedir "$home" --kill gpg-agent >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
  gpg --homedir "$home" --batch --quiet --pinentry-mode loopback --passphrase '' \
    --quick-gen-key "Wexa Test Update Key" rsa2048 cert never 2>/dev/null
  gpg --homedir "$home" --batch --export >"$work/update-key.pgp"
  mv "$work/update-key.pgp" "$out/update-key.pgp"
}

make_root root10 "Wexa Test Root CA 2015" 20150110000000Z 20450110000000Z
make_root root9 "Wexa Test Root CA 2020" 20200715000000Z 20450715000000Z
make_update_key
