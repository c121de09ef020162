#!/usr/bin/env bash
# updprobe rsa-verify, ecdsa-verify and ecdsa-verify-raw against signatures
# made by openssl for 1024- to 4096-bit RSA keys and the three NIST curves.
set -uo pipefail
probe=$(readlink -f "${UPDPROBE:?UPDPROBE not set}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail() { echo "FAIL: $*"; exit 1; }
hex() { xxd -p -c 100000 "$1"; }

# expect STATUS OUTPUT probe-arguments...
expect() {
  local want_status=$1 want_out=$2
  shift 2
  local out
  out=$("$probe" "$@" 2>/dev/null)
  local status=$?
  [ "$status" -eq "$want_status" ] || fail "$1 $2 exited $status, want $want_status"
  [ -z "$want_out" ] || [ "$out" = "$want_out" ] || fail "$1 printed '$out', want '$want_out'"
}

printf 'update catalogue body' > msg
printf 'update catalogue bodY' > other
msg=$(hex msg)
other=$(hex other)

for bits in 1024 2048 3072 4096; do
  openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:$bits -out rsa$bits.pem 2>/dev/null ||
    fail "genpkey $bits"
done
modulus() { openssl rsa -in "$1" -noout -modulus | cut -d= -f2; }

for bits in 1024 2048 3072 4096; do
  n=$(modulus rsa$bits.pem)
  for hash in sha1 sha224 sha256 sha384 sha512; do
    openssl dgst -$hash -sign rsa$bits.pem -out sig msg || fail "dgst -sign $bits $hash"
    sig=$(hex sig)
    expect 0 valid rsa-verify $hash "$n" 010001 "$msg" "$sig"
    expect 1 invalid rsa-verify $hash "$n" 010001 "$other" "$sig"
  done
  # pkeyutl over a digest gives the same kind of signature.
  openssl dgst -sha256 -binary msg > digest
  openssl pkeyutl -sign -inkey rsa$bits.pem -in digest -pkeyopt digest:sha256 -out sig2 ||
    fail "pkeyutl $bits"
  sig2=$(hex sig2)
  expect 0 valid rsa-verify sha256 "$n" 010001 "$msg" "$sig2"
  expect 0 valid rsa-verify sha256 "$n" 010001 "$msg" "0000$sig2"
  expect 1 invalid rsa-verify sha256 "$n" 010001 "$msg" "01$sig2"
  expect 1 invalid rsa-verify sha256 "$n" 03 "$msg" "$sig2"
  wrong=rsa1024.pem
  [ $bits -ne 1024 ] || wrong=rsa2048.pem
  expect 1 invalid rsa-verify sha256 "$(modulus $wrong)" 010001 "$msg" "$sig2"
done
n=$(modulus rsa2048.pem)
expect 2 "" rsa-verify md5 "$n" 010001 "$msg" 00
expect 2 "" rsa-verify sha256 "$n" 010001 "$msg" 0g
expect 2 "" rsa-verify sha256 "$n" 010001 "$msg"
expect 1 invalid rsa-verify sha256 "$n" 010001 "$msg" ""

# ecdsa: curve name, openssl name, coordinate bytes
while read -r curve name size; do
  openssl ecparam -name "$name" -genkey -noout -out ec.pem 2>/dev/null || fail "ecparam $name"
  openssl ec -in ec.pem -pubout -outform DER -out pub.der 2>/dev/null || fail "ec -pubout $name"
  point=$(tail -c $((2 * size + 1)) pub.der | xxd -p -c 1000)
  x=${point:2:$((2 * size))}
  y=${point:$((2 + 2 * size))}
  for hash in sha1 sha256 sha384 sha512; do
    openssl dgst -$hash -sign ec.pem -out sig msg || fail "dgst -sign $name $hash"
    sig=$(hex sig)
    expect 0 valid ecdsa-verify "$curve" $hash "$x" "$y" "$msg" "$sig"
    expect 1 invalid ecdsa-verify "$curve" $hash "$x" "$y" "$other" "$sig"
    # r || s for the raw form, each padded to the coordinate size.
    raw=$(openssl asn1parse -inform DER -in sig | awk -F: '/INTEGER/ {print $4}' |
      while read -r v; do printf "%0$((2 * size))s" "$v" | tr ' ' 0; done)
    expect 0 valid ecdsa-verify-raw "$curve" $hash "$x" "$y" "$msg" "$raw"
    expect 1 invalid ecdsa-verify-raw "$curve" $hash "$x" "$y" "$other" "$raw"
    expect 1 invalid ecdsa-verify-raw "$curve" $hash "$x" "$y" "$msg" "${raw}00"
  done
  # X at or above p is refused.
  p=$(openssl ecparam -name "$name" -param_enc explicit -outform DER |
    openssl asn1parse -inform DER | awk -F: '/INTEGER/ {print $4}' | sed -n 2p)
  expect 1 invalid ecdsa-verify "$curve" sha512 "$p" "$y" "$msg" "$sig"
  expect 1 invalid ecdsa-verify "$curve" sha512 "$x" "$x" "$msg" "$sig"
done <<'CURVES'
p256 prime256v1 32
p384 secp384r1 48
p521 secp521r1 66
CURVES
expect 2 "" ecdsa-verify p192 sha256 00 00 "$msg" 3000
expect 2 "" ecdsa-verify p256 sha3 00 00 "$msg" 3000
expect 2 "" ecdsa-verify-raw p256 sha256 00 00 "$msg"
echo ok
