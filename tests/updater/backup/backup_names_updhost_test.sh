#!/usr/bin/env bash
# Two modules that the engine stand-in reports with one engine id (3), at one
# build, through updhost: installed from a signed update, a snapshot before
# the run that patches one of them, then a rollback. Each module has a copy
# of its own in db.xml and comes back byte for byte as it was installed.
set -uo pipefail
# shellcheck source=../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"

# run NAME EXPECTED_EXIT EXPECTED_LAST_LINE ARGS...
run() { updhost_case "$1" "$2" "$3" last "${@:4}" --backup 3:0 --second "$web_url"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

# The server's validators of a catalogue are its time in seconds and its
# size: every publication gets a time of its own, however fast they follow.
publications=0
publish() {
  rm -rf "${web_root:?}"/*
  "${PYTHON3:-python3}" "$UPD_SOURCE_DIR/tools/testpki/update_tree.py" --trust "$UPD_BINARY_DIR/trust" \
    --modules-out "$work/expected" "$web_root" "$@" > /dev/null || { echo "FAIL publish $*"; exit 1; }
  publications=$((publications + 1))
  touch -d "@$(($(date +%s) + publications * 3600))" "$web_root/update.ver.signed"
}

# same FILE EXPECTED_FILE WHAT: the two files are byte-equal.
same() { cmp -s "$1" "$2" || fail "$3: $(basename "$1") differs from $(basename "$2")"; }

mkdir -p "$work/data" "$work/modules"
testnet_start web nginx "$work" || exit 1

publish --module em001:300 --module em002:300
run "install" 0 "result 0x0000 flags 0x020D" update
same "$work/modules/em001_64.dat" "$work/expected/em001_64-300.dat" "install"
same "$work/modules/em002_64.dat" "$work/expected/em002_64-300.dat" "install"

publish --module em001:300 --module em002:300 --patch em001:300:301
run "patch" 0 "result 0x0000 flags 0x020D" update
same "$work/modules/em001_64.dat" "$work/expected/em001_64-301.dat" "patch"
same "$work/modules/em002_64.dat" "$work/expected/em002_64-300.dat" "patch"

db=$work/data/backup/db.xml
for module in 'TYPE="em001_64" FILE="em002_64-300.dat" ORIG="em001_64.dat"' \
  'TYPE="em002_64" FILE="em002_64-300_1.dat" ORIG="em002_64.dat"'; do
  grep -qF "<MODULE ID=\"3\" PLATFORM=\"1\" BUILD=\"12C\" $module" "$db" ||
    fail "snapshot: db.xml lacks $module"
done
same "$work/data/backup/em002_64-300.dat" "$work/expected/em001_64-300.dat" "snapshot"
same "$work/data/backup/em002_64-300_1.dat" "$work/expected/em002_64-300.dat" "snapshot"

run "rollback" 0 "result 0x0000" rollback
same "$work/modules/em001_64.dat" "$work/expected/em001_64-300.dat" "rollback"
same "$work/modules/em002_64.dat" "$work/expected/em002_64-300.dat" "rollback"

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "backup names ok"
