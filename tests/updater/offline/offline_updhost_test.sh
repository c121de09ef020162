#!/usr/bin/env bash
# updhost setup-engines from a folder of signed packages, and download-nups
# of one update group from nginx.
set -uo pipefail
updhost=${UPD_BINARY_DIR:?UPD_BINARY_DIR not set}/bin/updhost
source=${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}
[ -x "$updhost" ] || { echo "missing $updhost"; exit 1; }
work=$(mktemp -d)
source "$source/tools/testnet/testnet.sh"
trap 'testnet_stop_all; rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"
failures=0

# run NAME EXPECTED_EXIT EXPECTED_STDOUT ARGS...
run() {
  local name=$1 expected=$2 out=$3
  shift 3
  "$updhost" "$@" --data "$work/data" --modules "$work/modules" > "$work/out" 2> "$work/err" < /dev/null
  local status=$?
  if [ "$status" -ne "$expected" ] || [ "$(cat "$work/out")" != "$out" ]; then
    echo "FAIL $name: exit $status, expected $expected; stdout:"
    sed 's/^/  /' "$work/out"
    sed 's/^/  err: /' "$work/err"
    failures=$((failures + 1))
  fi
}

# module NAME BUILD: a module file of the engine stand-in's format.
module() {
  printf 'TESTMOD name=%s type=3 platform=1 build=%s version=1.%s\nbuild %s\n' "$1" "$2" "$2" "$2"
}

# package OUT NAME BUILD GROUP: a signed full package of that module.
package() {
  module "$2" "$3" > "$work/payload"
  "${PYTHON3:-python3}" "$source/tools/testpki/sign_kit.py" --trust "$UPD_BINARY_DIR/trust" nup \
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
