#!/usr/bin/env bash
# updprobe json: exit 0 for a document that parses, 1 for one that is
# refused, 2 for a file that cannot be read or a usage error; --text prints
# the compact text of the root.
set -uo pipefail
probe=${UPDPROBE:?UPDPROBE not set}
fail() { echo "FAIL: $*"; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

expect_exit() {  # expected-code description command...
  local want=$1 what=$2
  shift 2
  "$@" >/dev/null 2>&1
  local got=$?
  [ "$got" -eq "$want" ] || fail "$what: exit $got, wanted $want"
}

nested() {  # levels -> that many arrays around 1
  printf '%*s' "$1" '' | tr ' ' '['
  printf 1
  printf '%*s' "$1" '' | tr ' ' ']'
}

printf '{\n  "a" : 1,\n  "b" : [true, null, "x\\u0041\\t"],\n  "c" : {"d": {"e": 1}, "f": 2.5}\n}\n' >"$tmp/doc.json"
expect_exit 0 "a document" "$probe" json "$tmp/doc.json"
[ -z "$("$probe" json "$tmp/doc.json")" ] || fail "without --text nothing is printed"
out=$("$probe" json "$tmp/doc.json" --text) || fail "--text exited $?"
[ "$out" = '{"a":1,"b":[true,null,"xA\t"],"c":{"f":2.5}}' ] || fail "--text printed '$out'"

out=$(printf '[1e3]' | "$probe" json - --text) || fail "standard input"
[ "$out" = '[1000]' ] || fail "standard input printed '$out'"

# Text after the root is not examined, a NUL byte included.
printf '{} trailing\0more' >"$tmp/trailing.json"
out=$("$probe" json "$tmp/trailing.json" --text) || fail "trailing text"
[ "$out" = '{}' ] || fail "trailing text printed '$out'"

nested 500 >"$tmp/depth500.json"
nested 501 >"$tmp/depth501.json"
expect_exit 0 "500 nested arrays" "$probe" json "$tmp/depth500.json"
expect_exit 1 "501 nested arrays" "$probe" json "$tmp/depth501.json"

for bad in '' '[1,]' '{"a":1,}' '[1e400]' '+1' '["\x"]' '{"a" 1}'; do
  printf '%s' "$bad" >"$tmp/bad.json"
  expect_exit 1 "refused text '$bad'" "$probe" json "$tmp/bad.json"
done

expect_exit 2 "missing file" "$probe" json "$tmp/missing.json"
expect_exit 2 "a folder" "$probe" json "$tmp"
expect_exit 2 "no file" "$probe" json
expect_exit 2 "unknown option" "$probe" json "$tmp/doc.json" --pretty
expect_exit 2 "too many arguments" "$probe" json "$tmp/doc.json" --text extra
echo ok
