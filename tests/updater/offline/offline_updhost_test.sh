#!/usr/bin/env bash
# updhost setup-engines from a folder of signed packages, and download-nups
# of one update group from nginx.
set -uo pipefail
# shellcheck source=../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"
export TMPDIR="$work/tmp"

# run NAME EXPECTED_EXIT EXPECTED_STDOUT ARGS...
run() { updhost_case "$1" "$2" "$3" all "${@:4}"; }

# module NAME BUILD: a module file of the engine stand-in's format.
module() {
  printf 'TESTMOD name=%s type=3 platform=1 build=%s version=1.%s\nbuild %s\n' "$1" "$2" "$2" "$2"
}

# package OUT NAME BUILD GROUP: a signed full package of that module.
package() {
  module "$2" "$3" > "$work/payload"
  "${PYTHON3:-python3}" "$UPD_SOURCE_DIR/tools/testpki/sign_kit.py" --trust "$UPD_BINARY_DIR/trust" nup \
    "$1" "$work/payload" category=engine platform=x64 "type=$2" "filename=$2.dat" "group=$4" \
    "version=1.$3" "build=$3" level=0 > /dev/null || { echo "FAIL package $1"; exit 1; }
}

mkdir -p "$work/data" "$work/modules" "$work/offline/packages" "$work/tmp"
module em001_64 100 > "$work/modules/em001_64.dat"
package "$work/offline/packages/zel00000001.nup" em001_64 200 engine
package "$work/offline/packages/zel00000002.nup" em002_64 7 beta

run "no folder" 1 "result 0x1301" setup-engines
run "setup" 0 "result 0x0000" setup-engines --folder "$work/offline/packages"
grep -q '^build 200$' "$work/modules/em001_64.dat" || { echo "FAIL setup: module"; failures=$((failures + 1)); }
[ ! -e "$work/offline/packages/zel00000002.nup" ] || { echo "FAIL setup: other group kept"; failures=$((failures + 1)); }
grep -q '^InstallTime=' "$work/data/settings.ini" || { echo "FAIL setup: InstallTime"; failures=$((failures + 1)); }
run "setup again" 0 "result 0x5003" setup-engines --folder "$work/offline/packages"

testnet_start web nginx "$work" || exit 1
package "$web_root/em1.nup" em001_64 300 engine
package "$web_root/em2.nup" em002_64 8 beta
printf '[em001_64]\r\ncategory=engine\r\nplatform=x64\r\ngroup=engine\r\ntype=em001_64\r\nbuild=300\r\nlevel=0\r\nfile=em1.nup\r\nsize=%s\r\n[em002_64]\r\ncategory=engine\r\nplatform=x64\r\ngroup=beta\r\ntype=em002_64\r\nbuild=8\r\nlevel=0\r\nfile=em2.nup\r\nsize=%s\r\n' \
  "$(stat -c %s "$web_root/em1.nup")" "$(stat -c %s "$web_root/em2.nup")" > "$web_root/update.ver"
"$updhost" download-nups engine --server "$web_url" --data "$work/data" --modules "$work/modules" \
  > "$work/out" 2> "$work/err" < /dev/null
status=$?
path=$(sed -n 's/^nup em001_64 build 300 base 0xFFFFFFFF platform 1 version 1.300 file em001_64.dat path //p' "$work/out")
if [ "$status" -ne 0 ] || [ -z "$path" ] || ! cmp -s "$path" "$web_root/em1.nup" ||
   [ "$(tail -n 1 "$work/out")" != "result 0x0000" ] || [ "$(wc -l < "$work/out")" -ne 2 ]; then
  echo "FAIL download-nups: exit $status"; sed 's/^/  /' "$work/out" "$work/err"; failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "all passed"
exit "$failures"
