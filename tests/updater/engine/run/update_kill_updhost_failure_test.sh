#!/usr/bin/env bash
# updhost killed (SIGKILL) in the middle of its installation, where the
# engine stand-in holds it at its first patch step: the temporary folder is
# made and "loader64" is staged. While it lives, `updhost cleanup` answers
# busy and leaves its files; once it is killed, `updhost cleanup` or the next
# `updhost update` leaves nothing but the module files.
set -uo pipefail
# shellcheck source=../../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"

# run NAME EXPECTED_EXIT EXPECTED_LAST_LINE ARGS...
run() { updhost_case "$1" "$2" "$3" last "${@:4}" --second "$web_url"; }

fail() {
  echo "FAIL $1"
  failures=$((failures + 1))
}

# modules_at NAME LOADER EM001 EM002: the module files hold these builds.
modules_at() {
  local name=$1 module build
  for module in loader64:$2 em001_64:$3 em002_64:$4; do
    build=${module#*:}
    module=${module%%:*}
    grep -q "^TESTMOD name=$module .* build=$build " "$work/modules/$module.dat" ||
      fail "$name: $module.dat not at $build"
  done
}

# only_modules NAME: no temporary folder, staging folder, ".old" or lock file.
only_modules() {
  local listing
  listing=$(ls -A "$work/modules" | tr '\n' ' ')
  [ "$listing" = "em001_64.dat em002_64.dat loader64.dat " ] ||
    fail "$1: the modules folder holds $listing"
}

# Every run of the scenarios starts from the state after the first run.
save_first_state() { cp -a "$work/modules" "$work/saved-modules" && cp -a "$work/data" "$work/saved-data"; }
restore_first_state() {
  rm -rf "$work/modules" "$work/data"
  cp -a "$work/saved-modules" "$work/modules" && cp -a "$work/saved-data" "$work/data"
}

# start_paused NAME: updhost update in the background, held at the first
# patch step of its installation; $paused_pid. Fails when it never gets there.
start_paused() {
  rm -f "$work/paused"
  UPD_STANDIN_PAUSE_CALL=3011 UPD_STANDIN_PAUSE_FILE="$work/paused" \
    "$updhost" update --data "$work/data" --modules "$work/modules" --second "$web_url" \
    >"$work/paused.out" 2>"$work/paused.err" </dev/null &
  paused_pid=$!
  local tenths=0
  until [ -f "$work/paused" ]; do
    if ! kill -0 "$paused_pid" 2>/dev/null || ((++tenths > 1200)); then
      fail "$1: updhost never reached the patch step"
      sed 's/^/  out: /' "$work/paused.out"
      return 1
    fi
    sleep 0.1
  done
}

kill_paused() {
  kill -KILL "$paused_pid"
  wait "$paused_pid" 2>/dev/null
  local status=$?
  [ "$status" -eq 137 ] || fail "$1: the paused updhost ended with $status, not by SIGKILL"
}

# The leftovers of a run held at the patch step: its temporary folder and the
# staged loader.
expect_live_leftovers() {
  compgen -G "$work/modules/temp*" > /dev/null || fail "$1: no temporary folder"
  [ -f "$work/modules/Modules/loader64.dat" ] || fail "$1: no staged loader"
}

mkdir -p "$work/data" "$work/modules"
testnet_start web nginx "$work" || exit 1

updhost_publish --module loader:10 --module em001:200 --module em002:300
run "first run" 0 "result 0x0000 flags 0x020D" update
save_first_state
updhost_publish --module loader:11 --module em001:200 --module em002:301 --patch em001:200:201

# A live run keeps its files, then completes.
if start_paused "live run"; then
  expect_live_leftovers "live run"
  (cd "$work/modules" && find . | sort > "$work/live.before")
  run "cleanup beside a live run" 1 "result 0x1001" cleanup
  (cd "$work/modules" && find . | sort > "$work/live.after")
  cmp -s "$work/live.before" "$work/live.after" || fail "cleanup beside a live run changed its files"
  rm -f "$work/paused"
  wait "$paused_pid"
  status=$?
  [ "$status" -eq 0 ] && [ "$(tail -n 1 "$work/paused.out")" = "result 0x0000 flags 0x020D" ] ||
    fail "live run: exit $status, $(tail -n 1 "$work/paused.out")"
  modules_at "live run" 11 201 301
  only_modules "live run"
fi

# Killed, then cleaned up: the old modules whole and nothing beside them.
restore_first_state
if start_paused "killed then cleanup"; then
  expect_live_leftovers "killed then cleanup"
  kill_paused "killed then cleanup"
  run "cleanup after a kill" 0 "result 0x0000" cleanup
  modules_at "cleanup after a kill" 10 200 300
  only_modules "cleanup after a kill"
  # The killed run had fetched the catalogue and the packages: this one finds
  # the catalogue unchanged and downloads nothing.
  run "update after the cleanup" 0 "result 0x0000 flags 0x0201" update
  modules_at "update after the cleanup" 11 201 301
  only_modules "update after the cleanup"
fi

# Killed, then the next run: it removes the leftovers before it installs.
restore_first_state
if start_paused "killed then update"; then
  kill_paused "killed then update"
  run "update after a kill" 0 "result 0x0000 flags 0x0201" update
  modules_at "update after a kill" 11 201 301
  only_modules "update after a kill"
fi

exit $((failures > 0))
