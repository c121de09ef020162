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
  for digest in SHA256 SHA512; do
    [[ "$s" == dsa* && "$digest" == SHA512 ]] && continue
    msg="$out/$s-${digest,,}.gpg"
    gpg_ --compress-algo none --digest-algo "$digest" -u "${fpr[$s]}!" \
      --sign --output "$msg" "$out/content.bin" 2>/dev/null
    cat "$out/$s.kb" "$msg" >"$out/$s-${digest,,}.signed"
  done
done
