#!/usr/bin/env bash
# updprobe pgp-verify over the signing kit: its one output line, exit codes
# and the window, which must frame exactly the signed file's bytes.
set -euo pipefail
kit=$(bash "$UPD_SOURCE_DIR/tools/testpki/pgp_kit_cached.sh" "$UPD_BINARY_DIR/testpki")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
update="Wexa Update Signing Certificate"
repo="Wexa Repository Signing Certificate"
fail=0
created() { awk -v s="$1" '$1==s{print $3}' "$kit/keyinfo.txt"; }

check() {  # file user-id expected-result expected-exit
  local out rc=0
  out=$("$UPDPROBE" pgp-verify "$kit/certifier.pgp" "$2" "$kit/$1") || rc=$?
  if [[ ! "$out" =~ ^result=([0-9]+)\ key=(-?[0-9]+)\ value=([0-9]+)\ offset=([0-9]+)\ length=([0-9]+)$ ]]; then
    echo "FAIL $1: bad line '$out'"; fail=1; return
  fi
  local result=${BASH_REMATCH[1]} offset=${BASH_REMATCH[4]} length=${BASH_REMATCH[5]}
  if [[ "$result" != "$3" || "$rc" != "$4" ]]; then
    echo "FAIL $1 ($2): result $result exit $rc, expected $3 exit $4"; fail=1; return
  fi
  if [[ "$result" == 0 ]]; then
    [[ "${BASH_REMATCH[2]}" == -2 ]] || { echo "FAIL $1: key ${BASH_REMATCH[2]}"; fail=1; }
    tail -c +"$((offset + 1))" "$kit/$1" | head -c "$length" >"$tmp/window"
    cmp -s "$tmp/window" "$kit/content.bin" || { echo "FAIL $1: window differs"; fail=1; }
  fi
  echo "ok $1 ($2): $out"
}

check update-sha256.signed "$update" 0 0
check update-sha512.signed "$update" 0 0
check dsa-sha256.signed "$update" 0 0
check dsa1024-sha256.signed "$update" 0 0
check repo-sha512.signed "$repo" 0 0
check repo-sha256.signed "$update" 20 1
check update-sha256.signed "$repo" 20 1
check uncertified-sha256.signed "$update" 2 1
check tamper/flip-content.signed "$update" 3 1
check tamper/keyblock-after-onepass.signed "$update" 15 1
check tamper/compressed.signed "$update" 15 1
check tamper/piped.signed "$update" 15 1

# The reported value is the signing key's creation time.
out=$("$UPDPROBE" pgp-verify "$kit/certifier.pgp" "$update" "$kit/update-sha256.signed")
[[ "$out" == *" value=$(created update) "* ]] || { echo "FAIL value: $out"; fail=1; }

# An empty file is an empty stream: nothing located.
: >"$tmp/empty"
rc=0; out=$("$UPDPROBE" pgp-verify "$kit/certifier.pgp" "$update" "$tmp/empty") || rc=$?
[[ "$out" == "result=15 key=-1 value=0 offset=0 length=0" && $rc == 1 ]] ||
  { echo "FAIL empty: $out exit $rc"; fail=1; }

# Usage errors and unreadable inputs.
rc=0; "$UPDPROBE" pgp-verify "$kit/certifier.pgp" "$update" >/dev/null 2>&1 || rc=$?
[[ $rc == 2 ]] || { echo "FAIL usage: exit $rc"; fail=1; }
rc=0; "$UPDPROBE" pgp-verify "$tmp/missing" "$update" "$kit/update-sha256.signed" >/dev/null 2>&1 || rc=$?
[[ $rc == 1 ]] || { echo "FAIL missing key file: exit $rc"; fail=1; }
rc=0; "$UPDPROBE" pgp-verify "$kit/content.bin" "$update" "$kit/update-sha256.signed" >/dev/null 2>&1 || rc=$?
[[ $rc == 1 ]] || { echo "FAIL key file without a key: exit $rc"; fail=1; }
exit $fail
