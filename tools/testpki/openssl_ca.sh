# shellcheck shell=bash disable=SC2154  # $out, $work, $start, $end: the caller's
# Sourced by the certificate fixture scripts.
#
#   ca_database DIR >CONFIG
#
# Makes a fresh `openssl ca` database in DIR (random serial) and writes the
# [ca] part of a configuration that uses it: SHA-256, any subject with a
# common name (organisation and country kept when given, in that order), no
# extensions copied from requests. Callers append their extension sections
# and pass -extensions on the command line.
ca_database() {
  local dir=$1
  rm -rf "$dir" && mkdir -p "$dir/new" && : >"$dir/index.txt"
  openssl rand -hex 16 >"$dir/serial"
  cat <<CNF
[ ca ]
default_ca = issuer
[ issuer ]
dir = $dir
database = \$dir/index.txt
new_certs_dir = \$dir/new
serial = \$dir/serial
default_md = sha256
policy = anything
unique_subject = no
copy_extensions = none
[ anything ]
commonName = supplied
organizationName = optional
countryName = optional
CNF
}

# The scripts that issue EC certificates from one extension file share the two
# steps below. They expect the caller's $out (certificates and keys), $work
# (scratch, holding ext.cnf with the sections named by EXT) and the default
# validity window $start .. $end.
#
#   ec_key NAME  $out/NAME.key: a P-256 key, kept from an earlier call
ec_key() {
  [ -f "$out/$1.key" ] || openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 \
    -out "$out/$1.key" 2>/dev/null
}
#   rsa_key NAME BITS  $out/NAME.key: an RSA key of BITS bits, kept likewise
rsa_key() {
  [ -f "$out/$1.key" ] || openssl genpkey -algorithm RSA -pkeyopt "rsa_keygen_bits:$2" \
    -out "$out/$1.key" 2>/dev/null
}

# issue_cert NAME CN KEY ISSUER_CERT ISSUER_KEY EXT [START END [DIGEST]]:
# $out/NAME.pem and $out/NAME.der for $out/KEY.key, signed by ISSUER_KEY under
# ISSUER_CERT's subject with DIGEST (sha256 by default); ISSUER_CERT "self"
# signs with KEY itself.
issue_cert() {
  local name=$1 cn=$2 key=$3 issuer=$4 issuer_key=$5 ext=$6 from=${7:-$start} to=${8:-$end}
  local md=${9:-sha256}
  ca_database "$work/db" >"$work/ca.cnf"
  openssl req -new -key "$out/$key.key" -subj "/CN=$cn" -out "$work/req.csr"
  local sign=(-cert "$issuer" -keyfile "$issuer_key")
  [ "$issuer" = self ] && sign=(-selfsign -keyfile "$out/$key.key")
  openssl ca -batch -notext -config "$work/ca.cnf" "${sign[@]}" -md "$md" \
    -extfile "$work/ext.cnf" -extensions "$ext" -startdate "$from" -enddate "$to" \
    -in "$work/req.csr" -out "$out/$name.pem" 2>/dev/null
  openssl x509 -in "$out/$name.pem" -outform DER -out "$out/$name.der"
}
