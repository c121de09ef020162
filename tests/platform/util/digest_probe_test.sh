#!/usr/bin/env bash
# updprobe digest and base64 against coreutils, OpenSSL and Python as oracles.
set -uo pipefail
probe=${UPDPROBE:?UPDPROBE not set}
python=${PYTHON3:-python3}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Files around the padding boundaries, a large random one and an empty one.
: > "$dir/empty"
printf abc > "$dir/abc"
for n in 1 55 56 63 64 65 111 112 119 120 128 1000; do
  head -c "$n" /dev/zero | tr '\0' 'q' > "$dir/len$n"
done
head -c 3000001 /dev/urandom > "$dir/random"
files=("$dir"/empty "$dir"/abc "$dir"/len* "$dir"/random)

oracle() {  # oracle ALG FILE -> lower-case hex
  case $1 in
    crc32) "$python" -c 'import sys,zlib; print("%08x" % zlib.crc32(open(sys.argv[1],"rb").read()))' "$2" ;;
    md5) md5sum "$2" | cut -d' ' -f1 ;;
    sha1 | sha224 | sha256 | sha384 | sha512) "${1}sum" "$2" | cut -d' ' -f1 ;;
    sha512-256) openssl dgst -sha512-256 -r "$2" | cut -d' ' -f1 ;;
  esac
}

for alg in crc32 md5 sha1 sha224 sha256 sha384 sha512 sha512-256; do
  for f in "${files[@]}"; do
    want=$(oracle "$alg" "$f")
    got=$("$probe" digest "$alg" "$f") || fail "digest $alg $(basename "$f") exited $?"
    [ "$got" = "$want" ] || fail "digest $alg $(basename "$f"): '$got', expected '$want'"
  done
  got=$("$probe" digest "$alg" - < "$dir/random")
  [ "$got" = "$(oracle "$alg" "$dir/random")" ] || fail "digest $alg from standard input: '$got'"
done

[ "$("$probe" digest crc32 "$dir/empty")" = "00000000" ] || fail "crc32 of nothing must print 8 digits"
[ "$("$probe" digest crc32 "$dir/len1" | wc -c)" -eq 9 ] || fail "crc32 prints 8 digits and a newline"

"$probe" digest sha3 "$dir/abc" > "$dir/out" 2> "$dir/err"; rc=$?
[ $rc -eq 2 ] || fail "unknown algorithm exited $rc"
[ -s "$dir/err" ] || fail "unknown algorithm printed no message"
[ ! -s "$dir/out" ] || fail "unknown algorithm printed a digest"
"$probe" digest md5 "$dir/missing" > /dev/null 2> "$dir/err"; rc=$?
[ $rc -eq 2 ] || fail "unreadable file exited $rc"
[ -s "$dir/err" ] || fail "unreadable file printed no message"
"$probe" digest md5 "$dir" > /dev/null 2>&1; rc=$?
[ $rc -eq 2 ] || fail "a folder as FILE exited $rc"
"$probe" digest md5 > /dev/null 2>&1; rc=$?
[ $rc -eq 2 ] || fail "missing FILE exited $rc"

# base64: encode equals base64 -w0 plus one newline; decode reverses wrapped text.
for f in "${files[@]}"; do
  name=$(basename "$f")
  "$probe" base64 encode "$f" > "$dir/enc" || fail "base64 encode $name exited $?"
  { base64 -w0 "$f"; echo; } | cmp -s - "$dir/enc" || fail "base64 encode $name differs from base64 -w0"
  base64 -w76 "$f" > "$dir/wrapped"
  "$probe" base64 decode "$dir/wrapped" > "$dir/dec" || fail "base64 decode $name exited $?"
  cmp -s "$f" "$dir/dec" || fail "base64 decode of wrapped $name differs"
done
"$probe" base64 encode - < "$dir/abc" > "$dir/enc"
[ "$(cat "$dir/enc")" = "YWJj" ] || fail "base64 encode from standard input"

printf 'YW*Jj' > "$dir/bad"
"$probe" base64 decode "$dir/bad" > "$dir/dec"; rc=$?
[ $rc -eq 1 ] || fail "decode with a bad character exited $rc"
[ "$(cat "$dir/dec")" = "abc" ] || fail "decode with a bad character still writes the bytes"
"$probe" base64 decode "$dir/missing" > /dev/null 2>&1; rc=$?
[ $rc -eq 2 ] || fail "base64 of an unreadable file exited $rc"
"$probe" base64 squash "$dir/abc" > /dev/null 2>&1; rc=$?
[ $rc -eq 2 ] || fail "unknown base64 mode exited $rc"

if [ $failures -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo ok
