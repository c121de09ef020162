#!/usr/bin/env bash
# updprobe ini: saved bytes against printf-made fixtures, the parse quirks seen
# from the command line, and a save that fails part-way on a full file system
# (a small tmpfs mounted here, or a file-size limit where mounting is not
# allowed) leaving the previous file intact.
set -uo pipefail
probe=${UPDPROBE:?UPDPROBE not set}
fail() { echo "FAIL: $*"; exit 1; }

tmp=$(mktemp -d)
mnt=$tmp/mnt
cleanup() {
  mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
  rm -rf "$tmp"
}
trap cleanup EXIT

expect_exit() {  # expected-code description command...
  local want=$1 what=$2
  shift 2
  "$@" >/dev/null 2>&1
  local got=$?
  [ "$got" -eq "$want" ] || fail "$what: exit $got, wanted $want"
}

# New file: sections and keys in the order they were set, CR LF, nothing else.
f=$tmp/new/folder/settings.ini
"$probe" ini set "$f" Settings A 1 || fail "set A"
"$probe" ini set "$f" Settings B "two words" || fail "set B"
"$probe" ini set "$f" Other k v || fail "set k"
"$probe" ini set "$f" SETTINGS a 3 || fail "set a again"
printf '[Settings]\r\nA=3\r\nB=two words\r\n[Other]\r\nk=v\r\n' >"$tmp/expected1"
cmp "$f" "$tmp/expected1" || fail "new file bytes"

# A hand-written file: junk before the first header, LF line ends, blanks
# around '=', a line without '=', a ';' key, no final line end. A set rewrites
# it in the saved form and keeps everything else.
printf 'junk\n[s]\na = b\n\n  c=d\nno equals\n;x=y\n[t]\nk==v\n[s]\ndup=1' >"$tmp/quirks.ini"
out=$("$probe" ini get "$tmp/quirks.ini" s 'a ') || fail "get 'a '"
[ "$out" = " b" ] || fail "'a ' read '$out'"
out=$("$probe" ini get "$tmp/quirks.ini" S C) || fail "get c"
[ "$out" = "d" ] || fail "c read '$out'"
out=$("$probe" ini get "$tmp/quirks.ini" s ';x') || fail "get ;x"
[ "$out" = "y" ] || fail ";x read '$out'"
out=$("$probe" ini get "$tmp/quirks.ini" t k) || fail "get k"
[ "$out" = "=v" ] || fail "k read '$out'"
out=$("$probe" ini get "$tmp/quirks.ini" '"T"' K) || fail "get quoted section"
expect_exit 1 "key only in the second [s]" "$probe" ini get "$tmp/quirks.ini" s dup
expect_exit 1 "key 'a' without its blank" "$probe" ini get "$tmp/quirks.ini" s a
expect_exit 1 "absent section" "$probe" ini get "$tmp/quirks.ini" nope k
expect_exit 1 "missing file" "$probe" ini get "$tmp/missing.ini" s k
out=$("$probe" ini sections "$tmp/quirks.ini") || fail "sections"
[ "$out" = $'s\nt\ns' ] || fail "sections printed '$out'"
"$probe" ini set "$tmp/quirks.ini" t new 1 || fail "set in quirks"
printf '[s]\r\na = b\r\nc=d\r\n;x=y\r\n[t]\r\nk==v\r\nnew=1\r\n[s]\r\ndup=1\r\n' >"$tmp/expected2"
cmp "$tmp/quirks.ini" "$tmp/expected2" || fail "quirks file bytes"

# Usage errors.
expect_exit 2 "ini alone" "$probe" ini
expect_exit 2 "unknown verb" "$probe" ini frob "$f"
expect_exit 2 "get with too few arguments" "$probe" ini get "$f" Settings
expect_exit 2 "set with too few arguments" "$probe" ini set "$f" Settings A
expect_exit 1 "set onto a folder" "$probe" ini set "$tmp/new" s k v

# A full file system: the new content cannot be written, the save must say so
# and the old file must stay as it was, with no temporary file left behind.
big=$(head -c 20000 /dev/zero | tr '\0' 'x')
mkdir "$mnt"
if mount -t tmpfs -o size=64k tmpfs "$mnt" 2>/dev/null; then
  target=$mnt/settings.ini
  "$probe" ini set "$target" Settings Old 1 || fail "set on tmpfs"
  cp "$target" "$tmp/before"
  dd if=/dev/zero of="$mnt/filler" bs=4k 2>/dev/null
  expect_exit 1 "save on a full file system" "$probe" ini set "$target" Settings Big "$big"
  cmp "$target" "$tmp/before" || fail "the old file changed on a failed save"
  left=$(ls -A "$mnt" | tr '\n' ' ')
  [ "$left" = "filler settings.ini " ] || fail "left behind on the full file system: $left"
  rm "$mnt/filler"
  "$probe" ini set "$target" Settings Big "$big" || fail "save after space was freed"
  out=$("$probe" ini get "$target" Settings Big) && [ "$out" = "$big" ] || fail "big value lost"
else
  echo "no tmpfs mount here: a file-size limit makes the write fail instead"
  target=$tmp/limited.ini
  "$probe" ini set "$target" Settings Old 1 || fail "set"
  cp "$target" "$tmp/before"
  (trap '' XFSZ; ulimit -f 8; exec "$probe" ini set "$target" Settings Big "$big") >/dev/null 2>&1
  [ $? -eq 1 ] || fail "save over the file-size limit should exit 1"
  cmp "$target" "$tmp/before" || fail "the old file changed on a failed save"
  [ "$(ls -A "$tmp" | grep -c '^\.ini-save')" -eq 0 ] || fail "temporary file left behind"
fi
echo ok
