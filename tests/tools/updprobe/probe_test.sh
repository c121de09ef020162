#!/usr/bin/env bash
# The probe's own contract: a version line, usage errors exit 2.
set -uo pipefail
probe=${UPDPROBE:?UPDPROBE not set}
fail() { echo "FAIL: $*"; exit 1; }

out=$("$probe" version) || fail "version exited $?"
[[ "$out" =~ ^updprobe\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "version printed '$out'"

"$probe" >/dev/null 2>&1; [ $? -eq 2 ] || fail "no command should exit 2"
"$probe" no-such-command >/dev/null 2>&1; [ $? -eq 2 ] || fail "unknown command should exit 2"
"$probe" version extra >/dev/null 2>&1; [ $? -eq 2 ] || fail "version with arguments should exit 2"
echo ok
