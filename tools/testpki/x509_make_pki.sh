#!/usr/bin/env bash
# Makes the certificates of the chain tests with the openssl command: small
# EC hierarchies with fixed validity windows (so a test can pick its time),
# plus the odd shapes a chain builder must survive (a cycle, a name shared by
# many keys, long paths, a version 1 root, a cross-certified intermediate).
# Certificates are written as OUTDIR/<name>.der; keys stay in OUTDIR too.
#
#   x509_make_pki.sh OUTDIR [TRUSTDIR]
#
# With TRUSTDIR (the build's trust folder) an intermediate and a leaf are also
# issued under its root9 key: own_inter, own_leaf.
set -euo pipefail
out=${1:?usage: x509_make_pki.sh OUTDIR [TRUSTDIR]}
trust=${2:-}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=openssl_ca.sh
. "$(dirname "$0")/openssl_ca.sh"

# The common window; tests run at 2030-01-01.
start=20200101000000Z
end=20400101000000Z

cat >"$work/ext.cnf" <<'CNF'
[ ca_ext ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ ca_noid ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = none
authorityKeyIdentifier = none
[ ca_plain_aki ]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = none
[ ee_ext ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ ee_noid ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
subjectKeyIdentifier = none
authorityKeyIdentifier = none
[ ee_aia ]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
authorityKeyIdentifier = keyid
authorityInfoAccess = OCSP;URI:http://ocsp.test/, caIssuers;URI:http://pki.test/old.der, caIssuers;URI:http://pki.test/inter_a.der
[ v1 ]
CNF

key() {  # key NAME: a P-256 key, kept from an earlier call
  [ -f "$out/$1.key" ] || openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 \
    -out "$out/$1.key" 2>/dev/null
}

ca_config() {  # ca_config: a fresh openssl ca database
  ca_database "$work/db" >"$work/ca.cnf"
}

# issue NAME CN KEY ISSUER_CERT ISSUER_KEY EXT [START END]: one certificate
# signed by ISSUER_KEY under ISSUER_CERT's subject; "self" signs with KEY.
issue() {
  local name=$1 cn=$2 key=$3 issuer=$4 issuer_key=$5 ext=$6 from=${7:-$start} to=${8:-$end}
  ca_config
  openssl req -new -key "$out/$key.key" -subj "/CN=$cn" -out "$work/req.csr"
  local sign=(-cert "$issuer" -keyfile "$issuer_key")
  [ "$issuer" = self ] && sign=(-selfsign -keyfile "$out/$key.key")
  openssl ca -batch -notext -config "$work/ca.cnf" "${sign[@]}" \
    -extfile "$work/ext.cnf" -extensions "$ext" -startdate "$from" -enddate "$to" \
    -in "$work/req.csr" -out "$work/$name.pem" 2>/dev/null
  openssl x509 -in "$work/$name.pem" -outform DER -out "$out/$name.der"
  cp "$work/$name.pem" "$out/$name.pem"
}

# A throwaway self-signed certificate that lets KEY sign under the name CN.
signer() {  # signer KEY CN -> $work/signer-KEY.pem
  openssl req -new -x509 -key "$out/$1.key" -subj "/CN=$2" -days 1 -out "$work/signer-$1.pem"
}

key root_a && issue root_a "Test Root A" root_a self "" ca_ext
key inter_a && issue inter_a "Test Inter A" inter_a "$out/root_a.pem" "$out/root_a.key" ca_ext
# Same name as inter_a, another key (and so another key identifier).
key impostor
issue inter_a_impostor "Test Inter A" impostor "$out/root_a.pem" "$out/root_a.key" ca_ext
key leaf_a
issue leaf_a "leaf-a.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_ext
issue leaf_future "leaf-future.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_ext \
  20310101000000Z "$end"
issue leaf_aia "leaf-aia.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_aia
issue leaf_past "leaf-past.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_ext \
  "$start" 20250101000000Z
key inter_future
issue inter_future "Test Inter Future" inter_future "$out/root_a.pem" "$out/root_a.key" ca_ext \
  20310101000000Z "$end"
issue leaf_under_future "leaf-uf.test" leaf_a "$out/inter_future.pem" "$out/inter_future.key" ee_ext

# An expired root and a leaf under it.
key root_old && issue root_old "Test Root Old" root_old self "" ca_ext "$start" 20250101000000Z
issue leaf_old_root "leaf-old.test" leaf_a "$out/root_old.pem" "$out/root_old.key" ee_ext

# A version 1 root (no extensions at all) and a leaf right under it.
key root_v1 && issue root_v1 "Test Root V1" root_v1 self "" v1
issue leaf_v1 "leaf-v1.test" leaf_a "$out/root_v1.pem" "$out/root_v1.key" ee_noid

key self_leaf && issue self_leaf "self.test" self_leaf self "" ee_noid

# Two certificates naming each other as issuer, and a leaf under one.
key cycle_a && key cycle_b
signer cycle_a "Cycle A" && signer cycle_b "Cycle B"
issue cycle_a "Cycle A" cycle_a "$work/signer-cycle_b.pem" "$out/cycle_b.key" ca_noid
issue cycle_b "Cycle B" cycle_b "$work/signer-cycle_a.pem" "$out/cycle_a.key" ca_noid
issue cycle_leaf "leaf-cycle.test" leaf_a "$work/signer-cycle_a.pem" "$out/cycle_a.key" ee_noid

# One intermediate key certified twice: under the v1 root and under root A.
key cross
issue cross_v1 "Cross CA" cross "$out/root_v1.pem" "$out/root_v1.key" ca_plain_aki
issue cross_a "Cross CA" cross "$out/root_a.pem" "$out/root_a.key" ca_plain_aki
issue cross_leaf "leaf-cross.test" leaf_a "$out/cross_a.pem" "$out/cross.key" ee_ext

# Forty certificates with one name and no key identifiers, each signed by the
# next one's key, and a leaf under the name.
loop=40
for ((i = 0; i < loop; i++)); do key "loop_key$i" && signer "loop_key$i" "Loop CA"; done
for ((i = 0; i < loop; i++)); do
  j=$(((i + 1) % loop))
  issue "loop$i" "Loop CA" "loop_key$i" "$work/signer-loop_key$j.pem" "$out/loop_key$j.key" ca_noid
done
issue loop_leaf "leaf-loop.test" leaf_a "$work/signer-loop_key0.pem" "$out/loop_key0.key" ee_noid

# A straight line of twelve intermediates under root A, with leaves under the
# ninth (a path of ten certificates) and the twelfth.
previous=root_a
for ((i = 1; i <= 12; i++)); do
  key "deep$i"
  issue "deep$i" "Deep CA $i" "deep$i" "$out/$previous.pem" "$out/$previous.key" ca_ext
  previous=deep$i
done
issue deep_leaf9 "leaf-deep9.test" leaf_a "$out/deep9.pem" "$out/deep9.key" ee_ext
issue deep_leaf12 "leaf-deep12.test" leaf_a "$out/deep12.pem" "$out/deep12.key" ee_ext

if [ -n "$trust" ]; then
  key own_inter
  issue own_inter "Own Inter" own_inter "$trust/root9.pem" "$trust/root9.key" ca_ext
  issue own_leaf "own-leaf.test" leaf_a "$out/own_inter.pem" "$out/own_inter.key" ee_ext
fi
