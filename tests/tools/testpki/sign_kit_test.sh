#!/usr/bin/env bash
# tools/testpki/sign_kit.py checked with gpg as the oracle: the key block
# carries the signer certified by the trust folder's update key (or not, for
# --foreign), the message after it is what `gpg -z 0 --sign` makes and
# verifies, a package's literal data is the container byte for byte, and the
# tamper helpers break exactly what they name.
set -uo pipefail
src=${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}
build=${UPD_BINARY_DIR:?UPD_BINARY_DIR not set}
py=${PYTHON3:-python3}
kit() { "$py" "$src/tools/testpki/sign_kit.py" --trust "$trust" "$@"; }
list() { "$py" "$src/tools/testpki/pgp_tamper.py" list "$1"; }
fail() { echo "FAIL: $*"; exit 1; }

tmp=$(mktemp -d)
home="$tmp/gnupg"
mkdir -m 0700 "$home"
# A copy of the trust folder of our own: tests running beside this one sign
# with the build's folder, and their agents must not count as ours.
trust="$tmp/trust"
cp -a "$build/trust" "$trust"
trap 'for h in "$home" "$trust/gnupg"; do gpgconf --homedir "$h" --kill gpg-agent >/dev/null 2>&1; done; rm -rf "$tmp"' EXIT
gpg_() { gpg --homedir "$home" --batch --no-tty "$@"; }
gpg_ --quiet --import "$trust/update-key.pgp" 2>/dev/null
update_id=$(gpg_ --with-colons --list-keys | awk -F: '$1=="pub"{print $5; exit}')

# split FILE: FILE.kb (nested key packets) and FILE.msg (the rest).
split() {
  local first
  first=$(list "$1" | head -n 1)
  read -r _ hsize tag blen <<<"$first"
  [ "$tag" = 15 ] || fail "$1 does not start with a key block"
  tail -c +$((hsize + 2)) "$1" | head -c $((blen - 1)) >"$1.kb"
  tail -c +$((hsize + blen + 1)) "$1" >"$1.msg"
}
# status FILE: gpg's status lines of reading FILE.msg (with the key block's
# key); the literal data goes to FILE.out.
status() {
  gpg_ --quiet --import "$1.kb" 2>/dev/null
  gpg_ --yes --status-fd 1 --output "$1.out" --decrypt "$1.msg" 2>/dev/null
}
certified_by_update_key() {
  local fpr
  gpg_ --quiet --import "$1.kb" 2>/dev/null
  fpr=$(gpg_ --with-colons --import-options show-only --import "$1.kb" 2>/dev/null |
    awk -F: '$1=="fpr"{print $10; exit}')
  gpg_ --with-colons --check-sigs "$fpr" 2>/dev/null | awk -F: -v id="$update_id" \
    '$1=="sig" && $2=="!" && $5==id {found=1} END {exit !found}'
}

printf 'catalogue text\r\n' >"$tmp/update.ver"
kit sign "Wexa Repository Signing Certificate" "$tmp/update.ver" "$tmp/repo.signed" ||
  fail "sign"
split "$tmp/repo.signed"
certified_by_update_key "$tmp/repo.signed" || fail "signer not certified by the update key"
st=$(status "$tmp/repo.signed")
grep -q '^\[GNUPG:\] GOODSIG .* Wexa Repository Signing Certificate$' <<<"$st" ||
  fail "message does not verify: $st"
grep -q '^\[GNUPG:\] PLAINTEXT 62 [0-9]* update.ver$' <<<"$st" ||
  fail "literal data not binary or not named after the input: $st"
tags=$(list "$tmp/repo.signed" | awk '{print $3}' | tr '\n' ' ')
[ "$tags" = "15 4 11 2 " ] || fail "packets $tags, wanted key block, one-pass, literal, signature"

kit sign --foreign "Wexa Update Signing Certificate" "$tmp/update.ver" "$tmp/foreign.signed" ||
  fail "sign --foreign"
split "$tmp/foreign.signed"
certified_by_update_key "$tmp/foreign.signed" && fail "a foreign signer is certified"
grep -q GOODSIG <<<"$(status "$tmp/foreign.signed")" || fail "foreign message does not verify"

# A package: the literal data is the container, byte for byte.
printf 'hello' >"$tmp/payload"
kit nup "$tmp/p.nup" "$tmp/payload" filename=em.dat build=7 || fail "nup"
crc=$("$py" -c 'import zlib; print(zlib.crc32(b"hello"))')
printf '[update_info]\r\nfilesize=5\r\ncrc=%s\r\nfilename=em.dat\r\nbuild=7\r\n[update_data]\r\n\x1a\x00hello' \
  "$crc" >"$tmp/expected"
split "$tmp/p.nup"
grep -q GOODSIG <<<"$(status "$tmp/p.nup")" || fail "package does not verify"
cmp "$tmp/p.nup.out" "$tmp/expected" || fail "package literal data differs from the container"
kit nup --unsigned "$tmp/u.nup" "$tmp/payload" filename=em.dat build=7 || fail "nup --unsigned"
cmp "$tmp/u.nup" "$tmp/expected" || fail "unsigned package differs from the container"

# Tampering: the file name is outside the signature, the rest is not.
printf 'INJECTED' >"$tmp/name"
kit tamper inject-name "$tmp/p.nup" "$tmp/named.nup" "$tmp/name" || fail "inject-name"
split "$tmp/named.nup"
st=$(status "$tmp/named.nup")
grep -q GOODSIG <<<"$st" || fail "an injected file name broke the signature"
grep -q ' INJECTED$' <<<"$st" || fail "file name not replaced: $st"
for op in flip-payload flip-signature; do
  kit tamper "$op" "$tmp/p.nup" "$tmp/$op.nup" || fail "$op"
  [ "$(stat -c %s "$tmp/$op.nup")" = "$(stat -c %s "$tmp/p.nup")" ] || fail "$op changed the size"
  split "$tmp/$op.nup"
  grep -q BADSIG <<<"$(status "$tmp/$op.nup")" || fail "$op still verifies"
done
kit tamper truncate "$tmp/p.nup" "$tmp/cut.nup" || fail "truncate"
[ "$(stat -c %s "$tmp/cut.nup")" = $(($(stat -c %s "$tmp/p.nup") - 1)) ] || fail "truncate size"
cmp -n "$(stat -c %s "$tmp/cut.nup")" "$tmp/cut.nup" "$tmp/p.nup" || fail "truncate changed bytes"

# The kit stops the agent it started for the trust folder's GnuPG home.
pgrep -f "gpg-agent --homedir $trust/gnupg" >/dev/null && fail "gpg-agent left running"
echo ok
