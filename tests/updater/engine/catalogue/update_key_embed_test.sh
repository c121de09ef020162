#!/usr/bin/env bash
# cmake/pgp_key_embed.py, the configure step that embeds the update key: the
# trust folder's key gives the ID gpg reports and an unchanged key leaves the
# output untouched; a key of another kind or size, another exponent or a
# damaged file stops the configure step and writes nothing.
set -uo pipefail
src=${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}
build=${UPD_BINARY_DIR:?UPD_BINARY_DIR not set}
py=${PYTHON3:-python3}
embed="$src/cmake/pgp_key_embed.py"
fail() { echo "FAIL: $*"; exit 1; }

tmp=$(mktemp -d)
home="$tmp/gnupg"
mkdir -m 0700 "$home"
trap 'gpgconf --homedir "$home" --kill gpg-agent >/dev/null 2>&1; rm -rf "$tmp"' EXIT
gpg_() { gpg --homedir "$home" --batch --quiet --pinentry-mode loopback --passphrase '' "$@"; }

key="$build/trust/update-key.pgp"
"$py" "$embed" "$key" some/header.h "$tmp/key.cpp" || fail "the trust folder's key was refused"
id=$(gpg_ --with-colons --import-options show-only --import "$key" | awk -F: '$1=="pub"{print $5; exit}')
embedded=$(sed -n '/kKeyId\[8\]/,/};/p' "$tmp/key.cpp" | grep -o '0x[0-9a-f][0-9a-f]' |
  sed 's/0x//' | tr -d '\n' | tr 'a-f' 'A-F')
[ "$embedded" = "$id" ] || fail "embedded key ID $embedded, gpg reports $id"
grep -q '#include "some/header.h"' "$tmp/key.cpp" || fail "header not included"
touch -d '2001-01-01' "$tmp/key.cpp"
"$py" "$embed" "$key" some/header.h "$tmp/key.cpp" || fail "second run"
[ "$(stat -c %Y "$tmp/key.cpp")" = "$(date -d 2001-01-01 +%s)" ] ||
  fail "an unchanged key rewrote the output"

gpg_ --quick-gen-key "Small Key" rsa1024 cert never 2>/dev/null
gpg_ --quick-gen-key "Curve Key" ed25519 cert never 2>/dev/null
gpg_ --export "Small Key" >"$tmp/rsa1024.pgp"
gpg_ --export "Curve Key" >"$tmp/ed25519.pgp"
# The trust key with its exponent replaced by 3 (gpg never makes one).
"$py" - "$key" "$tmp/exponent3.pgp" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
assert data[0] == 0x99, "gpg exports the key with a two-octet old-format header"
length = int.from_bytes(data[1:3], "big")
body = data[3:3 + length]
modulus_end = 6 + 2 + (int.from_bytes(body[6:8], "big") + 7) // 8
body = body[:modulus_end] + b"\x00\x02\x03"
open(sys.argv[2], "wb").write(b"\x99" + len(body).to_bytes(2, "big") + body)
PY
head -c 100 "$key" >"$tmp/truncated.pgp"
: >"$tmp/empty.pgp"
for bad in rsa1024 ed25519 exponent3 truncated empty; do
  out="$tmp/$bad.cpp"
  "$py" "$embed" "$tmp/$bad.pgp" some/header.h "$out" 2>"$tmp/err" && fail "$bad key accepted"
  [ -s "$tmp/err" ] || fail "$bad key refused without a reason"
  [ -e "$out" ] && fail "$bad key wrote an output"
done
echo ok
