#!/usr/bin/env bash
# The backup commands of updhost on modules in the engine stand-in's format:
# snapshot, rollback with and without a block time, the block, the count.
set -uo pipefail
# shellcheck source=../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"

# run NAME EXPECTED_EXIT EXPECTED_STDOUT ARGS...
run() { updhost_case "$1" "$2" "$3" all "${@:4}"; }

# module FILE BUILD: a module of the stand-in's format.
module() {
  printf 'TESTMOD name=scan type=3 platform=1 build=%s version=%s\nbuild %s\n' "$2" "$2" "$2" \
    > "$work/modules/$1"
}

mkdir -p "$work/data" "$work/modules"
run "nothing stored" 0 $'snapshots 0\nresult 0x0000' snapshots
run "nothing to roll back to" 1 "result 0x7001" rollback
run "no module" 1 "result 0x1102" snapshot --backup 3:1

module em002.dat 1
run "snapshot" 0 $'result 0x0000\nsnapshots 1\nresult 0x0000' snapshot --backup 3:1 --then snapshots
[ "$(cat "$work/data/backup/em002_64-1.dat")" = "$(cat "$work/modules/em002.dat")" ] ||
  { echo "FAIL snapshot: copy"; failures=$((failures + 1)); }
grep -q '<MODULE ID="3" PLATFORM="1" BUILD="1" TYPE="scan64" FILE="em002_64-1.dat" ORIG="em002.dat"' \
  "$work/data/backup/db.xml" || { echo "FAIL snapshot: db.xml"; failures=$((failures + 1)); }

module em002.dat 2
until=$(( $(date +%s) + 3600 ))
run "rollback" 0 $'result 0x0000\nblocked 1\nuntil '"$until"$'\nresult 0x0000' \
  rollback --until "$until" --then blocked
grep -q '^build 1$' "$work/modules/em002.dat" || { echo "FAIL rollback: module"; failures=$((failures + 1)); }

module em002.dat 3
run "rollback while blocked" 1 "result 0x7002" rollback --until $((until + 60))
grep -q '^build 3$' "$work/modules/em002.dat" ||
  { echo "FAIL rollback while blocked: module changed"; failures=$((failures + 1)); }
run "block moved" 0 $'blocked 1\nuntil '"$((until + 60))"$'\nresult 0x0000' blocked
run "unblock" 0 $'result 0x0000\nblocked 0\nresult 0x0000' unblock --then blocked
run "rollback without a block" 0 $'result 0x0000\nblocked 0\nresult 0x0000' rollback --then blocked
grep -q '^build 1$' "$work/modules/em002.dat" || { echo "FAIL rollback: module"; failures=$((failures + 1)); }
run "usage" 2 "" rollback --until soon

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "backup commands ok"
