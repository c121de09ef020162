#!/usr/bin/env bash
# Seeds for tls_chain_check_fuzz: peer certificate lists of the TLS tests'
# certificates (tools/testpki/tls_make_pki.sh), valid and refused chains.
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$(dirname "$0")/../../tools/testpki/tls_make_pki.sh" "$work" >/dev/null

pack() {  # pack NAME CERT...: items of a u32 little-endian length and the DER bytes
  local name=$1 n
  shift
  : >"$out/$name"
  for c in "$@"; do
    n=$(stat -c %s "$work/$c.der")
    printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' $((n & 255)) $((n >> 8 & 255)) \
      $((n >> 16 & 255)) $((n >> 24 & 255)))" >>"$out/$name"
    cat "$work/$c.der" >>"$out/$name"
  done
}
pack valid server inter root
pack expired expired inter
pack self_signed self_signed
pack stranger stranger stranger_root
pack not_ca not_ca server inter
