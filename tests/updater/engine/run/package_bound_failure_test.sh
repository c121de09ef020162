#!/usr/bin/env bash
# updhost update whose signed catalogue announces a small "size" for a
# package that a hostile server sends as a gzip bomb or an endless body: the
# run fails with 0x1204 without a package file past the announced size, and
# leaves neither a partial package nor anything in the download cache; the
# next run against an honest server installs the module.
set -uo pipefail
# shellcheck source=../../../support/updhost_kit.sh
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tests/support/updhost_kit.sh"
python=${PYTHON3:-python3}
trust="$UPD_BINARY_DIR/trust"

# publish [--hostile URL SIZE]: em001 at build 200 on nginx; with --hostile
# the catalogue names URL as its package and announces SIZE bytes.
publish() {
  rm -rf "${web_root:?}"/*
  "$python" "$UPD_SOURCE_DIR/tools/testpki/update_tree.py" --trust "$trust" "$web_root" \
    --module em001:200 --plain >/dev/null || { echo "FAIL publish"; exit 1; }
  if [ "${1:-}" = --hostile ]; then
    sed -i "s|^size=.*|size=$3\r|; s|^file=.*|file=$2\r|" "$web_root/update.ver"
    "$python" "$UPD_SOURCE_DIR/tools/testpki/sign_kit.py" --trust "$trust" sign \
      "Wexa Update Signing Certificate" "$web_root/update.ver" "$web_root/update.ver.signed" \
      >/dev/null || { echo "FAIL sign"; exit 1; }
  fi
  touch -d "@$(($(date +%s) + ++publications * 3600))" "$web_root/update.ver.signed"
}
publications=0

# Any file of the download cache but its index.
cached() {
  [ -d "$work/data/cache" ] && find "$work/data/cache" -type f ! -name index.ini
}
# Files a failed run may not leave: packages (partial ones) anywhere in the
# data folder, and anything cached.
leftovers() {
  find "$work/data" -name 'zel*.nup' -type f
  cached
}

mkdir -p "$work/data" "$work/modules"
testnet_start web nginx "$work" || exit 1

for kind in bomb endless; do
  "$python" "$UPD_SOURCE_DIR/tests/support/hostile_script.py" "$kind" "$work/$kind.json" ||
    exit 1
  testnet_start "$kind" scripted "$work" --script "$work/$kind.json" || exit 1
  url_var="${kind}_url"
  # 100 bytes as announced; 1 MiB under a file size limit of 1 MiB, which
  # ends updhost (SIGXFSZ) should any file grow past it.
  for size in 100 1048576; do
    publish --hostile "${!url_var}p/em001_64-200.nup" "$size"
    (
      ulimit -f 1024
      updhost_case "$kind, size $size" 1 "result 0x1204 flags 0x0208" last update \
        --second "$web_url"
      exit $((failures > 0))
    ) || failures=$((failures + 1))
    files=$(leftovers)
    if [ -n "$files" ]; then
      echo "FAIL $kind, size $size: left behind:"
      echo "$files" | sed 's/^/  /'
      failures=$((failures + 1))
    fi
    if [ -e "$work/modules/em001_64.dat" ]; then
      echo "FAIL $kind, size $size: a module was installed"
      failures=$((failures + 1))
    fi
  done
  testnet_stop "$kind"
done

publish
updhost_case "honest server" 0 "result 0x0000 flags 0x020D" last update --second "$web_url"
grep -q '^TESTMOD name=em001_64 .* build=200 ' "$work/modules/em001_64.dat" ||
  { echo "FAIL honest server: em001_64.dat not installed"; failures=$((failures + 1)); }
# A download that arrives leaves nothing in the cache either.
files=$(cached)
[ -z "$files" ] || { echo "FAIL honest server: cached $files"; failures=$((failures + 1)); }

exit $((failures > 0))
