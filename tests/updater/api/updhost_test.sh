#!/usr/bin/env bash
# updhost's contract: the last stdout line "result 0xXXXX", events on stderr,
# exit 0 for result 0, 1 for any other result, 2 for a usage error or a
# library that cannot be loaded (with a one-line message).
set -uo pipefail
updhost=${UPD_BINARY_DIR:?UPD_BINARY_DIR not set}/bin/updhost
[ -x "$updhost" ] || { echo "missing $updhost"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# run NAME EXPECTED_EXIT ARGS...: runs updhost, keeping stdout and stderr.
run() {
  local name=$1 expected=$2
  shift 2
  "$updhost" "$@" > "$work/out" 2> "$work/err" < /dev/null
  local status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL $name: exit $status, expected $expected"
    sed 's/^/  out: /' "$work/out"
    sed 's/^/  err: /' "$work/err"
    failures=$((failures + 1))
    return 1
  fi
}

# expect_out NAME TEXT: stdout holds exactly TEXT.
expect_out() {
  if [ "$(cat "$work/out")" != "$2" ]; then
    echo "FAIL $1: stdout was:"
    sed 's/^/  /' "$work/out"
    echo "expected:"
    echo "$2" | sed 's/^/  /'
    failures=$((failures + 1))
  fi
}

# expect_err_line NAME PATTERN: a line of stderr matches PATTERN.
expect_err_line() {
  grep -Eq "$2" "$work/err" || {
    echo "FAIL $1: no stderr line matching '$2'"
    sed 's/^/  err: /' "$work/err"
    failures=$((failures + 1))
  }
}

data=$work/data
modules=$work/modules
mkdir -p "$data" "$modules"
folders=(--data "$data" --modules "$modules")

# Usage errors: exit 2 and exactly one line on stderr, nothing on stdout.
usage_cases=(
  "no command|"
  "unknown command|bogus ${folders[*]}"
  "no data folder|times --modules $modules"
  "no modules folder|times --data $data"
  "unknown option|times ${folders[*]} --bogus"
  "option without value|times ${folders[*]} --store"
  "bad number|times ${folders[*]} --channel x"
  "argument too many|times extra ${folders[*]}"
  "then without command|times ${folders[*]} --then"
  "library missing|times ${folders[*]} --lib $work/none.so"
  "server too long|times ${folders[*]} --server $(printf 'x%.0s' {1..256})"
)
for entry in "${usage_cases[@]}"; do
  name=${entry%%|*}
  # shellcheck disable=SC2086
  run "usage: $name" 2 ${entry#*|} || continue
  [ "$(wc -l < "$work/err")" -eq 1 ] || { echo "FAIL usage: $name: not one line"; failures=$((failures + 1)); }
  [ ! -s "$work/out" ] || { echo "FAIL usage: $name: stdout written"; failures=$((failures + 1)); }
done

# Times through the settings store, the default one and one named by --store.
printf '[Settings]\r\nLastUpdate=1000\r\nLastUpdateAttempt=900\r\n' > "$data/settings.ini"
run "times" 0 times "${folders[@]}" &&
  expect_out "times" $'last-update 1000\nlast-attempt 900\nresult 0x0000'
run "times without a store" 0 times "${folders[@]}" --store "$work/none.ini" &&
  expect_out "times without a store" $'last-update -1\nlast-attempt -1\nresult 0x0000'
before=$(date +%s)
run "save-time" 0 save-time "${folders[@]}" --store "$work/other.ini"
saved=$(sed -n 's/^LastUpdateAttempt=\([0-9]*\)\r$/\1/p' "$work/other.ini")
if [ -z "$saved" ] || [ "$saved" -lt "$before" ] || ! grep -q "^last-attempt $saved\$" "$work/out"; then
  echo "FAIL save-time: stored '$saved'"; failures=$((failures + 1))
fi

# Clean-up, with its phase events on stderr.
mkdir -p "$modules/Modules"
touch "$modules/em001.dat.old" "$modules/Modules/em001.dat" "$modules/em001.dat"
run "cleanup" 0 cleanup "${folders[@]}" && expect_out "cleanup" "result 0x0000"
expect_err_line "cleanup" '^event 6 phase 7$'
expect_err_line "cleanup" '^event 6 phase 0$'
[ -e "$modules/em001.dat" ] && [ ! -e "$modules/em001.dat.old" ] && [ ! -e "$modules/Modules" ] ||
  { echo "FAIL cleanup: files"; failures=$((failures + 1)); }
run "cleanup without a staging folder" 1 cleanup "${folders[@]}" &&
  expect_out "cleanup without a staging folder" "result 0x1021"

# The update hash of the last catalogue.
run "hash missing" 1 hash "${folders[@]}" && expect_out "hash missing" "result 0x2202"
mkdir -p "$data/updfiles"
printf '[UP_HASH]\r\nhash=0123456789abcdef0123456789abcdef01234567\r\n' > "$data/updfiles/lastupd.ver"
run "hash" 0 hash "${folders[@]}" &&
  expect_out "hash" $'hash 0123456789abcdef0123456789abcdef01234567\nresult 0x0000'

# Stop and reset, each command of the line with its own result line.
run "stop then reset" 0 stop --then reset "${folders[@]}" &&
  expect_out "stop then reset" $'result 0x0000\nresult 0x0000'
mkdir -p "$modules/Modules"
run "stop then cleanup" 0 stop "${folders[@]}" --then cleanup &&
  expect_out "stop then cleanup" $'result 0x0000\nresult 0x0000'
run "the last command decides" 1 reset --then cleanup "${folders[@]}" &&
  expect_out "the last command decides" $'result 0x0000\nresult 0x1021'

# Server groups, in a data folder of their own (its settings store holds the
# group). Nothing is switched yet; refused names change nothing; a switch
# without a server stores the group and stays unfinished, and asking again
# retries the fetch (0x5006).
groups_data=$work/groups
mkdir -p "$groups_data"
groups=(--data "$groups_data" --modules "$modules")
run "switch-type 0 with nothing switched" 1 switch-type 0 "${groups[@]}" &&
  expect_out "switch-type 0 with nothing switched" "result 0x5007"
run "switch-type unknown" 1 switch-type 3 "${groups[@]}" &&
  expect_out "switch-type unknown" "result 0x1301"
run "switch-type not a number" 2 switch-type x "${groups[@]}" &&
  expect_err_line "switch-type not a number" "N must be a number"
for name in "" ".." "../../tmp" "a/b"; do
  run "switch-group '$name'" 1 switch-group "$name" "${groups[@]}" &&
    expect_out "switch-group '$name'" "result 0x1301"
done
[ ! -e "$groups_data/settings.ini" ] ||
  { echo "FAIL refused switches wrote the store"; failures=$((failures + 1)); }
printf '[Settings]\r\nUpdateServerGroup=Beta\r\n' > "$groups_data/settings.ini"
"$updhost" switch-type 1 "${groups[@]}" > "$work/out" 2> "$work/err" < /dev/null
status=$?
last=$(tail -n 1 "$work/out")
if [ "$status" -ne 1 ] || ! [[ $last =~ ^result\ 0x[0-9A-F]{4}$ ]] || [ "$last" = "result 0x5006" ]; then
  echo "FAIL switch-type 1 without a server: '$last' with exit $status"; failures=$((failures + 1))
fi
for line in UpdateServerGroup=Prerelease UpdateServerGroupOld=Beta SwitchUpdateGroupFinished=0; do
  grep -q "^$line"$'\r'"\$" "$groups_data/settings.ini" ||
    { echo "FAIL switch-type 1: no $line in the store"; failures=$((failures + 1)); }
done
run "unfinished switch retried" 1 switch-type 1 "${groups[@]}" --then switch-group prerelease &&
  expect_out "unfinished switch retried" $'result 0x5006\nresult 0x5006'

# Whatever the scanner version answers, the exit code follows the result.
"$updhost" scanner-version "${folders[@]}" > "$work/out" 2> "$work/err" < /dev/null
status=$?
last=$(tail -n 1 "$work/out")
zero_result=no
[ "$last" = "result 0x0000" ] && zero_result=yes
zero_exit=no
[ "$status" -eq 0 ] && zero_exit=yes
if ! [[ $last =~ ^result\ 0x[0-9A-F]{4}$ ]] || [ "$zero_result" != "$zero_exit" ]; then
  echo "FAIL scanner-version: '$last' with exit $status"; failures=$((failures + 1))
fi

# A context that cannot be built answers 0x3001.
long=$work/$(printf 'd%.0s' {1..4090})
run "no context" 1 times --data "$long" --modules "$modules" --store "$work/s.ini" &&
  expect_out "no context" "result 0x3001"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "updhost ok"
