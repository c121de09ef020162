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

# A throwaway self-signed certificate that lets KEY sign under the name CN.
signer() {  # signer KEY CN -> $work/signer-KEY.pem
  openssl req -new -x509 -key "$out/$1.key" -subj "/CN=$2" -days 1 -out "$work/signer-$1.pem"
}

ec_key root_a && issue_cert root_a "Test Root A" root_a self "" ca_ext
ec_key inter_a
issue_cert inter_a "Test Inter A" inter_a "$out/root_a.pem" "$out/root_a.key" ca_ext
# Same name as inter_a, another key (and so another key identifier).
ec_key impostor
issue_cert inter_a_impostor "Test Inter A" impostor "$out/root_a.pem" "$out/root_a.key" ca_ext
ec_key leaf_a
issue_cert leaf_a "leaf-a.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_ext
issue_cert leaf_future "leaf-future.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_ext \
  20310101000000Z "$end"
issue_cert leaf_aia "leaf-aia.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_aia
issue_cert leaf_past "leaf-past.test" leaf_a "$out/inter_a.pem" "$out/inter_a.key" ee_ext \
  "$start" 20250101000000Z
ec_key inter_future
issue_cert inter_future "Test Inter Future" inter_future "$out/root_a.pem" "$out/root_a.key" \
  ca_ext 20310101000000Z "$end"
issue_cert leaf_under_future "leaf-uf.test" leaf_a "$out/inter_future.pem" \
  "$out/inter_future.key" ee_ext

# An expired root and a leaf under it.
ec_key root_old
issue_cert root_old "Test Root Old" root_old self "" ca_ext "$start" 20250101000000Z
issue_cert leaf_old_root "leaf-old.test" leaf_a "$out/root_old.pem" "$out/root_old.key" ee_ext

# A version 1 root (no extensions at all) and a leaf right under it.
ec_key root_v1 && issue_cert root_v1 "Test Root V1" root_v1 self "" v1
issue_cert leaf_v1 "leaf-v1.test" leaf_a "$out/root_v1.pem" "$out/root_v1.key" ee_noid

ec_key self_leaf && issue_cert self_leaf "self.test" self_leaf self "" ee_noid

# Two certificates naming each other as issuer, and a leaf under one.
ec_key cycle_a && ec_key cycle_b
signer cycle_a "Cycle A" && signer cycle_b "Cycle B"
issue_cert cycle_a "Cycle A" cycle_a "$work/signer-cycle_b.pem" "$out/cycle_b.key" ca_noid
issue_cert cycle_b "Cycle B" cycle_b "$work/signer-cycle_a.pem" "$out/cycle_a.key" ca_noid
issue_cert cycle_leaf "leaf-cycle.test" leaf_a "$work/signer-cycle_a.pem" "$out/cycle_a.key" ee_noid

# One intermediate key certified twice: under the v1 root and under root A.
ec_key cross
issue_cert cross_v1 "Cross CA" cross "$out/root_v1.pem" "$out/root_v1.key" ca_plain_aki
issue_cert cross_a "Cross CA" cross "$out/root_a.pem" "$out/root_a.key" ca_plain_aki
issue_cert cross_leaf "leaf-cross.test" leaf_a "$out/cross_a.pem" "$out/cross.key" ee_ext

# Forty certificates with one name and no key identifiers, each signed by the
# next one's key, and a leaf under the name.
loop=40
for ((i = 0; i < loop; i++)); do ec_key "loop_key$i" && signer "loop_key$i" "Loop CA"; done
for ((i = 0; i < loop; i++)); do
  j=$(((i + 1) % loop))
  issue_cert "loop$i" "Loop CA" "loop_key$i" "$work/signer-loop_key$j.pem" "$out/loop_key$j.key" \
    ca_noid
done
issue_cert loop_leaf "leaf-loop.test" leaf_a "$work/signer-loop_key0.pem" "$out/loop_key0.key" \
  ee_noid

# A straight line of twelve intermediates under root A, with leaves under the
# ninth (a path of ten certificates) and the twelfth.
previous=root_a
for ((i = 1; i <= 12; i++)); do
  ec_key "deep$i"
  issue_cert "deep$i" "Deep CA $i" "deep$i" "$out/$previous.pem" "$out/$previous.key" ca_ext
  previous=deep$i
done
issue_cert deep_leaf9 "leaf-deep9.test" leaf_a "$out/deep9.pem" "$out/deep9.key" ee_ext
issue_cert deep_leaf12 "leaf-deep12.test" leaf_a "$out/deep12.pem" "$out/deep12.key" ee_ext

if [ -n "$trust" ]; then
  ec_key own_inter
  issue_cert own_inter "Own Inter" own_inter "$trust/root9.pem" "$trust/root9.key" ca_ext
  issue_cert own_leaf "own-leaf.test" leaf_a "$out/own_inter.pem" "$out/own_inter.key" ee_ext
fi
