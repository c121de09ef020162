#!/usr/bin/env bash
# Makes the certificates of the trust-list tests, issued under the test trust
# folder's roots: a server certificate authority and a server certificate
# below it (the chain a TLS peer presents), and trust-list signers of several
# kinds. Keys stay in OUTDIR, which is the test's own temporary folder.
#
#   ctl_pki.sh TRUSTDIR OUTDIR
#
# OUTDIR/NAME.{pem,der,key} for
#   inter          server CA under root9, 2025-01-01 .. 2040-01-01
#   server         leaf under inter (DNS server.test, *.wild.test, IP 127.0.0.1)
#   other          second leaf under inter2 (another server CA under root10)
#   inter2         server CA under root10
#   signer         RSA trust-list signer under root9
#   signer10       RSA trust-list signer under root10
#   signer_ec      EC P-256 trust-list signer under root9
#   signer_expired RSA signer under root9 that expired on 2027-01-01
#   foreign_root   a self-signed root outside the built-in set
#   foreign_signer RSA signer under foreign_root
#   plain          leaf under inter without any subjectAltName
#   dirname        leaf under inter whose subjectAltName is a directoryName
set -euo pipefail
trust=${1:?usage: ctl_pki.sh TRUSTDIR OUTDIR}
out=${2:?usage: ctl_pki.sh TRUSTDIR OUTDIR}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=openssl_ca.sh
. "$(dirname "$0")/openssl_ca.sh"

cp "$trust/root9.pem" "$trust/root9.key" "$trust/root10.pem" "$trust/root10.key" "$work/"

key() {
  case $2 in
    ec) openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null ;;
    *) openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1" 2>/dev/null ;;
  esac
}

# issue NAME ISSUER(prefix in $work) CN KIND(ca|leaf|signer|plain) START END [ec]
issue() {
  local name=$1 issuer=$2 cn=$3 kind=$4 start=$5 end=$6 alg=${7:-rsa}
  key "$work/$name.key" "$alg"
  {
    ca_database "$work/$name.ca"
    cat <<CNF
[ ca_ext ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ leaf_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:server.test, DNS:*.wild.test, IP:127.0.0.1
[ plain_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
[ dirname_ext ]
basicConstraints = CA:FALSE
subjectAltName = dirName:alt_dir
[ alt_dir ]
CN = server.test
[ signer_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
subjectKeyIdentifier = hash
[ req ]
distinguished_name = dn
prompt = no
[ dn ]
CN = $cn
O = Wexa Test PKI
CNF
  } >"$work/$name.cnf"
  openssl req -new -key "$work/$name.key" -config "$work/$name.cnf" -out "$work/$name.csr"
  local selfsign=() keyfile=$work/$issuer.key certfile=()
  if [ "$issuer" = "$name" ]; then
    selfsign=(-selfsign)
  else
    certfile=(-cert "$work/$issuer.pem")
  fi
  openssl ca -batch "${selfsign[@]}" -notext -config "$work/$name.cnf" -keyfile "$keyfile" \
    "${certfile[@]}" -extensions "${kind}_ext" -startdate "$start" -enddate "$end" \
    -in "$work/$name.csr" -out "$work/$name.pem" 2>/dev/null
  openssl x509 -in "$work/$name.pem" -outform DER -out "$out/$name.der"
  openssl x509 -in "$work/$name.pem" -out "$out/$name.pem"
  install -m 0600 "$work/$name.key" "$out/$name.key"
}

from=20250101000000Z
issue inter root9 "Wexa Test Server CA" ca $from 20400101000000Z
issue inter2 root10 "Wexa Test Server CA 2" ca $from 20400101000000Z
issue server inter "server.test" leaf $from 20350101000000Z
issue other inter2 "other.test" leaf $from 20350101000000Z
issue plain inter "plain.test" plain $from 20350101000000Z
issue dirname inter "dirname.test" dirname $from 20350101000000Z
issue signer root9 "Wexa Test CTL Signer" signer $from 20400101000000Z
issue signer10 root10 "Wexa Test CTL Signer 10" signer $from 20400101000000Z
issue signer_ec root9 "Wexa Test CTL Signer EC" signer $from 20400101000000Z ec
issue signer_expired root9 "Wexa Test CTL Signer Old" signer $from 20270101000000Z
issue foreign_root foreign_root "Foreign Test Root" ca $from 20450101000000Z
issue foreign_signer foreign_root "Foreign CTL Signer" signer $from 20400101000000Z
