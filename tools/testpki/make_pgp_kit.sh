#!/usr/bin/env bash
# Makes the OpenPGP test kit: keys in a throw-away GNUPGHOME and signed files
# made by gpg itself, each prefixed with the key block that carries its signer.
#
#   make_pgp_kit.sh OUTDIR
#
# OUTDIR/certifier.pgp      public key of the certifying key (what the library embeds)
# OUTDIR/<signer>.pgp       exported signer key (key, user ID, self- and certification signatures)
# OUTDIR/<signer>.kb        the same wrapped into a key-block packet
# OUTDIR/content.bin        the content every message signs
# OUTDIR/<signer>-<digest>.signed   key block + one-pass signature + literal data + signature
# OUTDIR/keyinfo.txt        "<signer> <key id hex> <creation time>" lines
# OUTDIR/evil.bin           other content, signed by the uncertified and the repo key
# OUTDIR/tamper/*.signed    attack files: piped and compressed gpg output, flipped
#                           bytes, broken framing, packets of two genuine files
#                           spliced (pgp_tamper.py makes them; see the end)
#
# Signers: update (RSA, certified as "Wexa Update Signing Certificate"),
# repo (RSA, "Wexa Repository Signing Certificate"), uncertified (RSA, update
# user ID, never certified), dsa (DSA-2048) and dsa1024 (DSA-1024, a 160-bit q
# under a SHA-256 digest), both certified with the update user ID.
set -euo pipefail
out=${1:?usage: make_pgp_kit.sh OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
export GNUPGHOME
GNUPGHOME=$(mktemp -d)
trap 'gpgconf --kill all >/dev/null 2>&1 || true; rm -rf "$GNUPGHOME"' EXIT
gpg_() { gpg --batch --quiet --no-tty --pinentry-mode loopback --passphrase '' "$@"; }

fpr_of() { gpg_ --with-colons --list-keys "$1" | awk -F: '$1=="fpr"{print $10; exit}'; }
new_key() {  # uid algo -> fingerprint of the new primary key
  gpg_ --yes --quick-gen-key "$1" "$2" "$3" never >/dev/null 2>&1
}

new_key "Wexa Test Certifying Key" rsa2048 cert
cert=$(fpr_of "Wexa Test Certifying Key")

declare -A uid=(
  [update]="Wexa Update Signing Certificate"
  [repo]="Wexa Repository Signing Certificate"
  [uncertified]="Wexa Update Signing Certificate"
  [dsa]="Wexa Update Signing Certificate"
  [dsa1024]="Wexa Update Signing Certificate"
)
declare -A algo=([update]=rsa2048 [repo]=rsa2048 [uncertified]=rsa3072 [dsa]=dsa2048 [dsa1024]=dsa1024)
declare -A fpr
for s in update repo uncertified dsa dsa1024; do
  before=$(gpg_ --with-colons --list-keys 2>/dev/null | awk -F: '$1=="fpr"{print $10}' | sort)
  new_key "${uid[$s]}" "${algo[$s]}" sign
  after=$(gpg_ --with-colons --list-keys | awk -F: '$1=="fpr"{print $10}' | sort)
  fpr[$s]=$(comm -13 <(echo "$before") <(echo "$after") | head -n 1)
done
for s in update repo dsa dsa1024; do
  gpg_ --default-key "$cert" --quick-sign-key "${fpr[$s]}" "${uid[$s]}" >/dev/null
done

gpg_ --export "$cert" >"$out/certifier.pgp"
head -c 5000 /dev/urandom >"$out/content.bin"
: >"$out/keyinfo.txt"
for s in update repo uncertified dsa dsa1024; do
  gpg_ --export "${fpr[$s]}" >"$out/$s.pgp"
  python3 "$here/pgp_keyblock.py" "$out/$s.pgp" >"$out/$s.kb"
  created=$(gpg_ --with-colons --list-keys "${fpr[$s]}" | awk -F: '$1=="pub"{print $6; exit}')
  echo "$s ${fpr[$s]: -16} $created" >>"$out/keyinfo.txt"
  digests="SHA256 SHA512"
  [[ "$s" == update ]] && digests="SHA1 SHA224 SHA256 SHA384 SHA512"
  [[ "$s" == dsa1024 ]] && digests="SHA256"
  for digest in $digests; do
    msg="$out/$s-${digest,,}.gpg"
    gpg_ --compress-algo none --digest-algo "$digest" -u "${fpr[$s]}!" \
      --sign --output "$msg" "$out/content.bin" 2>/dev/null
    cat "$out/$s.kb" "$msg" >"$out/$s-${digest,,}.signed"
  done
done

head -c 3000 /dev/urandom >"$out/evil.bin"
for s in uncertified repo; do
  gpg_ --compress-algo none --digest-algo SHA256 -u "${fpr[$s]}!" \
    --sign --output "$out/$s-evil.gpg" "$out/evil.bin" 2>/dev/null
done

# Attack files. gpg's own other outputs first: read from a pipe, the literal
# data gets partial body lengths; without --compress-algo none it is compressed.
t="$out/tamper"
mkdir -p "$t"
gpg_ --compress-algo none --digest-algo SHA256 -u "${fpr[update]}!" --sign \
  <"$out/content.bin" | cat "$out/update.kb" - >"$t/piped.signed"
gpg_ --digest-algo SHA256 -u "${fpr[update]}!" --sign --output "$out/update-zip.gpg" \
  "$out/content.bin" 2>/dev/null
cat "$out/update.kb" "$out/update-zip.gpg" >"$t/compressed.signed"
tamper() { python3 "$here/pgp_tamper.py" "$@"; }
genuine="$out/update-sha256.signed"
genuine_gpg="$out/update-sha256.gpg"
for op in flip-content flip-signature flip-left16 oversize-onepass long-name \
  overlong-literal mpi-overrun area-overrun trailing-byte; do
  tamper "$op" "$genuine" "$t/$op.signed"
done
# Where the window would point if the block's packets were read as the
# message: a literal packet with other content.
tamper splice "$out/evil-literal.pkt" "$out/uncertified-evil.gpg:11"
# Key blocks that end in a second key, in a packet running past their end,
# in a packet of another tag (skipped) and a last block with a version 3 key.
tamper keyblock-append "$genuine" "$t/keyblock-second-key.signed" c600
tamper keyblock-append "$genuine" "$t/keyblock-overrun.signed" cd0541
tamper keyblock-append "$genuine" "$t/keyblock-other-tag.signed" ce020000
printf '\xcf\x09\x01\xc6\x06\x03\x00\x00\x00\x00\x01' >"$out/v3-key.kb"
tamper splice "$t/keyblock-v3-key-last.signed" "$out/update.kb:15" "$out/v3-key.kb:15" \
  "$genuine_gpg:4" "$genuine_gpg:11" "$genuine_gpg:2"
tamper hide-in-block "$genuine" "$t/hide-in-block.signed" "$out/evil-literal.pkt"
for form in new new4 old2 old4; do tamper reframe "$genuine" "$t/reframe-$form.signed" "$form"; done
g="$out/update-sha256.gpg"
tamper splice "$t/keyblock-after-onepass.signed" "$g:4" "$out/update.kb:15" "$g:11" "$g:2"
tamper splice "$t/no-onepass.signed" "$out/update.kb:15" "$g:11" "$g:2"
tamper splice "$t/no-keyblock.signed" "$g:4" "$g:11" "$g:2"
tamper splice "$t/no-literal.signed" "$out/update.kb:15" "$g:4" "$g:2"
tamper splice "$t/no-signature.signed" "$out/update.kb:15" "$g:4" "$g:11"
# A second key block between the one-pass packet and the literal data brings
# its own key, which then signs other content.
for s in uncertified repo; do
  e="$out/$s-evil.gpg"
  tamper splice "$t/replace-key-$s.signed" "$out/update.kb:15" "$g:4" "$out/$s.kb:15" \
    "$e:11" "$e:2"
done
tamper splice "$t/replace-key-late.signed" "$out/update.kb:15" "$g:4" "$out/uncertified-evil.gpg:11" \
  "$out/uncertified.kb:15" "$out/uncertified-evil.gpg:2"
# Genuine packets of another file around the update key's one-pass packet.
u="$out/uncertified-evil.gpg"
tamper splice "$t/foreign-literal.signed" "$out/update.kb:15" "$g:4" "$u:11" "$u:2"
tamper splice "$t/foreign-signature.signed" "$out/update.kb:15" "$g:4" "$g:11" "$u:2" "$g:2"
tamper splice "$t/two-literals.signed" "$out/update.kb:15" "$g:4" "$u:11" "$g:11" "$g:2"
tamper splice "$t/late-keyblock.signed" "$out/update.kb:15" "$g:4" "$g:11" \
  "$out/uncertified.kb:15" "$g:2"
python3 "$here/pgp_keyblock.py" --version 2 "$out/update.pgp" >"$out/update-v2.kb"
tamper splice "$t/keyblock-version-2.signed" "$out/update-v2.kb:15" "$g:4" "$g:11" "$g:2"
tamper self-signature "$out/update.kb" "$out/update-sha256.gpg" "$t/self-signature.signed"
# The last key block decides, also when it is one the verifier skips.
tamper splice "$t/skipped-keyblock-last.signed" "$out/update.kb:15" "$out/update-v2.kb:15" \
  "$g:4" "$g:11" "$g:2"
