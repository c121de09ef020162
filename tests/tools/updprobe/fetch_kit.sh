# Sourced by the updprobe fetch tests: the test network kit, $probe, a
# temporary folder $tmp removed with every server on exit, fail, and fetched.
# shellcheck shell=bash
source "$UPD_SOURCE_DIR/tools/testnet/testnet.sh"
probe=${UPDPROBE:?UPDPROBE not set}
tmp=$(mktemp -d)
trap 'testnet_stop_all; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

fetched() {  # URL OUT [options...]: the probe's two lines must be result 0 and the size
  local url=$1 out=$2
  shift 2
  local lines
  lines=$("$probe" fetch "$@" "$url" "$out") || fail "fetch $* $url exited $?: $lines"
  [[ "$lines" == $'result 0x0000\nbytes '"$(stat -c %s "$out")" ]] || fail "fetch printed '$lines'"
}
