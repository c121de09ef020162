#!/usr/bin/env bash
# Seeds for pgp_verify_fuzz: the signing kit's genuine and tampered signed
# files, each behind the certifier's public-key packet (see the target).
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$here/../../tools/testpki/make_pgp_kit.sh" "$work/kit" >/dev/null 2>&1
python3 "$here/../../tools/testpki/pgp_fuzz_seeds.py" "$work/kit" "$out"
