# Sourced by the updhost command tests: $updhost, the test network kit, a
# temporary folder $work removed with every test server on exit, and the
# failure count $failures that updhost_case adds to.
# shellcheck shell=bash
updhost=${UPD_BINARY_DIR:?UPD_BINARY_DIR not set}/bin/updhost
[ -x "$updhost" ] || { echo "missing $updhost"; exit 1; }
source "${UPD_SOURCE_DIR:?UPD_SOURCE_DIR not set}/tools/testnet/testnet.sh"
work=$(mktemp -d)
trap 'testnet_stop_all; rm -rf "$work"' EXIT
failures=0

# updhost_case NAME EXPECTED_EXIT EXPECTED WHICH ARGS...: runs updhost ARGS with
# --data and --modules in $work and no input. EXPECTED must equal all of its
# standard output (WHICH=all) or the last line (WHICH=last); a mismatch, or an
# engine use it reports unbalanced, counts a failure.
updhost_case() {
  local name=$1 expected=$2 want=$3 which=$4
  shift 4
  "$updhost" "$@" --data "$work/data" --modules "$work/modules" >"$work/out" 2>"$work/err" \
    </dev/null
  local status=$? got
  if [ "$which" = last ]; then got=$(tail -n 1 "$work/out"); else got=$(cat "$work/out"); fi
  if [ "$status" -ne "$expected" ] || [ "$got" != "$want" ]; then
    echo "FAIL $name: exit $status, expected $expected and '$want'; stdout:"
    sed 's/^/  /' "$work/out"
    sed 's/^/  err: /' "$work/err"
    failures=$((failures + 1))
  fi
  if grep -q "unbalanced" "$work/err"; then
    echo "FAIL $name: engine use unbalanced"
    failures=$((failures + 1))
  fi
}

# updhost_publish ARGS...: publishes in $web_root what update_tree.py makes of
# ARGS. The server's validators of a catalogue are its time in seconds and
# its size: every publication gets a time of its own, however fast they follow.
updhost_publications=0
updhost_publish() {
  rm -rf "${web_root:?}"/*
  "${PYTHON3:-python3}" "$UPD_SOURCE_DIR/tools/testpki/update_tree.py" --trust "$UPD_BINARY_DIR/trust" \
    "$web_root" "$@" > /dev/null || { echo "FAIL publish $*"; exit 1; }
  updhost_publications=$((updhost_publications + 1))
  touch -d "@$(($(date +%s) + updhost_publications * 3600))" "$web_root/update.ver.signed"
}
