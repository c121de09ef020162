#!/usr/bin/env bash
# updhost ver against nginx serving catalogue folders: a configured server's
# plain catalogue, a chosen server's signed one, a signed form whose
# signature is broken, a folder without a catalogue and one of the wrong
# category; and a group switch, whose fetches go through the same step.
set -uo pipefail
source "$UPD_SOURCE_DIR/tools/testnet/testnet.sh"
updhost=${UPD_BINARY_DIR:?UPD_BINARY_DIR not set}/bin/updhost
[ -x "$updhost" ] || { echo "missing $updhost"; exit 1; }
work=$(mktemp -d)
trap 'testnet_stop_all; rm -rf "$work"' EXIT
failures=0
kit() { "${PYTHON3:-python3}" "$UPD_SOURCE_DIR/tools/testpki/sign_kit.py" --trust "$UPD_BINARY_DIR/trust" "$@"; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }

# run NAME EXPECTED_EXIT EXPECTED_STDOUT ARGS...: a fresh data folder each time.
run() {
  local name=$1 expected=$2 out=$3
  shift 3
  rm -rf "$work/data" "$work/modules"
  mkdir -p "$work/data" "$work/modules"
  "$updhost" ver "$@" --data "$work/data" --modules "$work/modules" > "$work/out" 2> "$work/err" < /dev/null
  local status=$?
  if [ "$status" -ne "$expected" ] || [ "$(cat "$work/out")" != "$out" ]; then
    fail "$name: exit $status, expected $expected; stdout:"
    sed 's/^/  /' "$work/out"
    sed 's/^/  err: /' "$work/err"
  fi
}

testnet_start web nginx "$work" || { echo "nginx did not start"; exit 1; }
catalogue() { printf '[ENGINE_%s]\r\nname=loader\r\ncategory=%s\r\nplatform=x64\r\nbuild=7\r\n' "$1" "$2"; }

mkdir -p "$web_root/plain" "$web_root/signed" "$web_root/broken" "$web_root/dll"
catalogue plain engine > "$web_root/plain/update.ver"
catalogue signed engine > "$work/signed.ver"
kit sign "Wexa Update Signing Certificate" "$work/signed.ver" "$web_root/signed/update.ver.signed" ||
  { echo "signing failed"; exit 1; }
kit tamper flip-signature "$web_root/signed/update.ver.signed" "$web_root/broken/update.ver.signed"
catalogue unsigned engine > "$web_root/broken/update.ver"
catalogue dll dll > "$web_root/dll/update.ver"

run "configured server" 0 "result 0x0000" --server "${web_url}plain"
grep -q '^\[ENGINE_plain\]' "$work/data/updfiles/upd.ver" || fail "configured server: upd.ver"
cmp -s "$work/data/updfiles/upd.ver" "$work/data/updfiles/lastupd.ver" || fail "configured server: lastupd.ver"

run "chosen server, signed" 0 "result 0x0000" --server AUTOSELECT --second "${web_url}signed/"
cmp -s "$work/data/updfiles/upd.ver" "$work/signed.ver" || fail "chosen server: upd.ver is not the payload"

# The broken signed form fails the only server; its plain form is never asked for.
run "broken signature" 1 "result 0x1101" --server AUTOSELECT --second "${web_url}broken/"
grep -q 'GET /broken/update.ver ' "$web_access_log" && fail "broken signature: plain form fetched"
[ -e "$work/data/updfiles/upd.ver" ] && fail "broken signature: upd.ver written"

run "no catalogue" 1 "result 0x2103" --server "${web_url}missing"
run "wrong category" 1 "result 0x2201" --server "${web_url}dll"

# A group switch fetches through the same step: unfinished while the server
# has no catalogue, finished by the retry once it has one, then nothing to do.
rm -rf "$work/data" "$work/modules"
mkdir -p "$work/data" "$work/modules"
switch() {
  "$updhost" switch-group Prerelease --server "${web_url}later" --data "$work/data" \
    --modules "$work/modules" 2> /dev/null < /dev/null
}
[ "$(switch)" = "result 0x2103" ] || fail "switch without a catalogue"
grep -q '^SwitchUpdateGroupFinished=0' "$work/data/settings.ini" || fail "switch: not marked unfinished"
mkdir -p "$web_root/later"
catalogue later engine > "$web_root/later/update.ver"
[ "$(switch)" = "result 0x0000" ] || fail "switch retried"
grep -q '^SwitchUpdateGroupFinished' "$work/data/settings.ini" && fail "switch: still marked unfinished"
grep -q '^\[ENGINE_later\]' "$work/data/updfiles/upd.ver" || fail "switch: upd.ver"
[ "$(switch)" = "result 0x5007" ] || fail "switch with nothing to change"

[ "$failures" -eq 0 ] || exit 1
echo "updhost ver: all passed"
