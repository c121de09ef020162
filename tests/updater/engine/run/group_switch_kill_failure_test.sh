#!/usr/bin/env bash
# updhost killed (SIGKILL) in the middle of a server-group switch, where the
# engine stand-in holds it at its first module open: the new group's
# catalogue is fetched and the left group's installed modules are being
# listed. The store then holds the new group marked unfinished, and the next
# switch call completes it with its final fetch; a third call has nothing
# left to change.
set -uo pipefail
# shellcheck source=../../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"

run() { updhost_case "$1" "$2" "$3" last "${@:4}" --second "$web_url"; }

fail() {
  echo "FAIL $1"
  failures=$((failures + 1))
}

store=$work/data/settings.ini

# stored KEY: the value of KEY in the settings store ("-" when absent).
stored() {
  local line
  line=$(grep -a "^$1=" "$store" 2>/dev/null | tr -d '\r')
  if [ -n "$line" ]; then echo "${line#*=}"; else echo "-"; fi
}

mkdir -p "$work/data" "$work/modules"
testnet_start web nginx "$work" || exit 1
updhost_publish --module em001:200 --module em002:300
run "first run" 0 "result 0x0000 flags 0x020D" update

rm -f "$work/paused"
UPD_STANDIN_PAUSE_CALL=3018 UPD_STANDIN_PAUSE_FILE="$work/paused" \
  "$updhost" switch-group Prerelease --data "$work/data" --modules "$work/modules" \
  --second "$web_url" >"$work/paused.out" 2>"$work/paused.err" </dev/null &
paused_pid=$!
tenths=0
until [ -f "$work/paused" ]; do
  if ! kill -0 "$paused_pid" 2>/dev/null || ((++tenths > 1200)); then
    fail "the switch never listed the installed modules"
    sed 's/^/  out: /' "$work/paused.out"
    exit 1
  fi
  sleep 0.1
done
[ "$(stored UpdateServerGroup)/$(stored SwitchUpdateGroupFinished)" = "Prerelease/0" ] ||
  fail "held switch: group $(stored UpdateServerGroup), finished $(stored SwitchUpdateGroupFinished)"
kill -KILL "$paused_pid"
wait "$paused_pid" 2>/dev/null
status=$?
[ "$status" -eq 137 ] || fail "the held switch ended with $status, not by SIGKILL"
[ "$(stored UpdateServerGroup)/$(stored SwitchUpdateGroupFinished)" = "Prerelease/0" ] ||
  fail "killed switch: group $(stored UpdateServerGroup), finished $(stored SwitchUpdateGroupFinished)"

run "switch after the kill" 0 "result 0x0000" switch-group Prerelease
[ "$(stored UpdateServerGroup)/$(stored SwitchUpdateGroupFinished)" = "Prerelease/-" ] ||
  fail "completed switch: group $(stored UpdateServerGroup), finished $(stored SwitchUpdateGroupFinished)"
[ -f "$work/data/updfiles/lastupd.ver" ] || fail "completed switch: no last catalogue"
run "nothing left to switch" 1 "result 0x5007" switch-group Prerelease

exit $((failures > 0))
