#!/usr/bin/env bash
# Seeds for update_package_fuzz: packages of the signing kit (genuine,
# tampered, bare), signed with the build's own trust folder, behind each
# flags byte the target reads.
#
#   update_package_fuzz_seeds.sh OUTDIR TRUST
set -euo pipefail
out=$1
trust=${2:?usage: update_package_fuzz_seeds.sh OUTDIR TRUST}
here=$(cd "$(dirname "$0")" && pwd)
kit() { python3 "$here/../../tools/testpki/sign_kit.py" --trust "$trust" "$@"; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
head -c 700 /dev/urandom >"$work/payload"
: >"$work/empty"
header=(filename=em000_64.dat build=1234 base=1200 type=em000 platform=x64)
kit nup "$work/genuine" "$work/payload" "${header[@]}"
kit nup "$work/empty-payload" "$work/empty" "${header[@]}"
kit nup "$work/upper" "$work/payload" "${header[@]}" --upper-marker
kit nup "$work/bad-marker" "$work/payload" "${header[@]}" --marker-end 01
kit nup "$work/bad-crc" "$work/payload" "${header[@]}" --corrupt-payload
kit nup "$work/prefixed" "$work/payload" "${header[@]}" --prefix 300
kit nup "$work/unsafe-name" "$work/payload" filename=../x build=1
kit nup "$work/foreign" "$work/payload" "${header[@]}" --foreign
kit nup "$work/bare" "$work/payload" "${header[@]}" --unsigned
printf 'EVIL' >"$work/evil-payload"
kit nup "$work/evil" "$work/evil-payload" filename=../evil build=9 --unsigned
kit tamper inject-name "$work/genuine" "$work/injected" "$work/evil"
kit tamper flip-signature "$work/genuine" "$work/flipped"
kit tamper truncate "$work/genuine" "$work/truncated"
for f in genuine empty-payload upper bad-marker bad-crc prefixed unsafe-name foreign bare \
  injected flipped truncated; do
  for flags in 0 1 2 4; do
    { printf "\\x$(printf %02x "$flags")"; cat "$work/$f"; } >"$out/$f-$flags"
  done
done
