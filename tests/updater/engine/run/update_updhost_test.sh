#!/usr/bin/env bash
# updhost update against nginx serving a signed update: the last stdout line
# is "result 0xXXXX flags 0xXXXX"; a run that finds nothing new exits 0.
set -uo pipefail
# shellcheck source=../../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"

# run NAME EXPECTED_EXIT EXPECTED_LAST_LINE ARGS...
run() { updhost_case "$1" "$2" "$3" last "${@:4}" --second "$web_url"; }

mkdir -p "$work/data" "$work/modules"
testnet_start web nginx "$work" || exit 1

updhost_publish --module em001:200 --module em002:300
run "first run" 0 "result 0x0000 flags 0x020D" update
grep -q '^TESTMOD name=em002_64 .* build=300 ' "$work/modules/em002_64.dat" ||
  { echo "FAIL first run: em002_64.dat not installed"; failures=$((failures + 1)); }
run "nothing new" 0 "result 0x5003 flags 0x0200" update

updhost_publish --module em001:200 --module em002:300 --patch em001:200:201
run "patch" 0 "result 0x0000 flags 0x020D" update
grep -q '^TESTMOD name=em001_64 .* build=201 ' "$work/modules/em001_64.dat" ||
  { echo "FAIL patch: em001_64.dat not at 201"; failures=$((failures + 1)); }

# A failing run exits 1 and still ends with its flags.
testnet_stop web
run "server gone" 1 "result 0x2101 flags 0x0000" update

exit $((failures > 0))
