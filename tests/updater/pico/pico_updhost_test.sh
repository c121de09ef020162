#!/usr/bin/env bash
# The pico commands of updhost against nginx: the listing from mod.ver, the
# fetch of a pico's files, nothing new, an unknown id, no pico folder.
set -uo pipefail
# shellcheck source=../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"

testnet_start web nginx "$work" || exit 1

# run NAME EXPECTED_EXIT EXPECTED_STDOUT ARGS...
run() { updhost_case "$1" "$2" "$3" all "${@:4}" --server "$web_url" --groups grp; }

mkdir -p "$work/data/updfiles" "$work/modules" "$web_root/pico/12"
cat > "$work/data/updfiles/mod.ver" <<'VER'
[scan]
category=engine
platform=x64
group=grp
type=scan64
build=7
file=scan64.nup

[pico12]
category=pico
type=scan
id=12
base=5
interval=3600
file=pico/12

[pico3]
category=pico
type=scan64
id=3
base=1
interval=90
file=pico/3
VER
for n in 5 6 7; do printf 'PICO id=12 seq=%s\n' "$n" > "$web_root/pico/12/$n.pic"; done

run "no pico folder" 1 "result 0x3001" pico-list
run "listing" 0 $'pico 3 interval 90\npico 12 interval 3600\nresult 0x0000' \
  pico-list --pico "$work/pico"
run "fetch" 0 $'pico 3 interval 90\npico 12 interval 3600\nresult 0x0000\nresult 0x0000' \
  pico-list --then pico 12 --pico "$work/pico"
[ "$(ls "$work/pico/12" | tr '\n' ' ')" = "5.pic 6.pic 7.pic " ] ||
  { echo "FAIL fetch: files $(ls "$work/pico/12")"; failures=$((failures + 1)); }
run "nothing new" 0 $'pico 3 interval 90\npico 12 interval 3600\nresult 0x0000\nresult 0x5003' \
  pico-list --then pico 12 --pico "$work/pico"
run "unknown id" 1 $'pico 3 interval 90\npico 12 interval 3600\nresult 0x0000\nresult 0x2301' \
  pico-list --then pico 4 --pico "$work/pico"
run "usage" 2 "" pico twelve --pico "$work/pico"

[ "$failures" -eq 0 ] || exit 1
echo "all pico updhost checks passed"
