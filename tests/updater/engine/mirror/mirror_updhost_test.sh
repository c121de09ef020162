#!/usr/bin/env bash
# updhost mirror against nginx serving a signed update: the mirror folder
# gets the packages and its catalogue; the mirror's own options and their
# refusals.
set -uo pipefail
# shellcheck source=../../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"

# run NAME EXPECTED_EXIT EXPECTED_LAST_LINE ARGS...
run() { updhost_case "$1" "$2" "$3" last "${@:4}" --second "$web_url"; }

mkdir -p "$work/data" "$work/modules" "$work/mirror"
testnet_start web nginx "$work" || exit 1
"${PYTHON3:-python3}" "$UPD_SOURCE_DIR/tools/testpki/update_tree.py" --trust "$UPD_BINARY_DIR/trust" \
  "$web_root" --module em001:200 --module em002:300 > /dev/null || { echo "FAIL publish"; exit 1; }

run "type above 3" 1 "result 0x2301" mirror --mirror "$work/mirror" --type 4
run "no mirror folder" 1 "result 0x1301" mirror
run "first run" 0 "result 0x0000" mirror --mirror "$work/mirror"
grep -q "mirror error 0x3401" "$work/err" || { echo "FAIL first run: no 0x3401"; failures=$((failures + 1)); }
[ "$(ls "$work/mirror" | grep -c '^zel[0-9A-F]\{8\}\.nup$')" -eq 2 ] ||
  { echo "FAIL first run: packages"; ls -l "$work/mirror"; failures=$((failures + 1)); }
for package in "$web_root"/p/*.nup; do
  found=0
  for copy in "$work/mirror"/zel*.nup; do cmp -s "$package" "$copy" && found=1; done
  [ "$found" -eq 1 ] || { echo "FAIL first run: $package not mirrored"; failures=$((failures + 1)); }
done
# Without a hash from the host the catalogue has no "UP_HASH".
grep -q '^file=zel[0-9A-F]\{8\}\.nup' "$work/mirror/update.ver" &&
  ! grep -q 'UP_HASH' "$work/mirror/update.ver" ||
  { echo "FAIL first run: catalogue"; cat "$work/mirror/update.ver"; failures=$((failures + 1)); }
run "plain only rerun" 0 "result 0x0000" mirror --mirror "$work/mirror" --plain-only
[ "$(ls "$work/mirror" | grep -c '\.nup$')" -eq 2 ] ||
  { echo "FAIL rerun: packages"; failures=$((failures + 1)); }

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
