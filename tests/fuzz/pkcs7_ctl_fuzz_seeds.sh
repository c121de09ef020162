#!/usr/bin/env bash
# Seeds for pkcs7_ctl_fuzz: signed trust lists of several forms made with
# openssl under a throw-away copy of the trust-list test PKI.
#   pkcs7_ctl_fuzz_seeds.sh OUTDIR
set -euo pipefail
out=${1:?usage: pkcs7_ctl_fuzz_seeds.sh OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
tools=$here/../../tools/testpki
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$tools/make_trust.sh" "$work/trust" >/dev/null 2>&1
bash "$tools/ctl_pki.sh" "$work/trust" "$work/pki" >/dev/null 2>&1
pki=$work/pki
python3 "$tools/ctl_make.py" content "$work/ctl1.der" "$pki/signer.der" "$pki/inter.der"
python3 "$tools/ctl_make.py" content --hash sha256 --extensions "$work/ctl256.der" \
  "$pki/signer_ec.der" "$pki/inter.der"
python3 "$tools/ctl_make.py" sign "$out/attrs.stl" --content "$work/ctl1.der" \
  --signer "$pki/signer" --certfile "$pki/inter.pem"
python3 "$tools/ctl_make.py" sign "$out/noattr.stl" --content "$work/ctl1.der" \
  --signer "$pki/signer" --certfile "$pki/inter.pem" --noattr
python3 "$tools/ctl_make.py" sign "$out/ec.stl" --content "$work/ctl256.der" \
  --signer "$pki/signer_ec" --certfile "$pki/inter.pem"
python3 "$tools/ctl_der.py" "$out/attrs.stl" "$out/indefinite.stl" content-indefinite
cp "$work/ctl1.der" "$out/content.der"
