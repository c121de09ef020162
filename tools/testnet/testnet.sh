# Test servers for shell tests: source this file, then
#
#   testnet_start web nginx "$tmp" --ipv6
#   curl "${web_url}a.txt"          # also: $web_port, $web_root, $web_folder,
#                                   # $web_access_log, $web_url6, $web_pid
#   testnet_stop web                # optional: every server stops at exit
#
# NAME is a shell identifier; KIND and the options are those of serve.py.
# Every server is stopped when the shell exits (an EXIT trap; a test that
# sets its own EXIT trap calls testnet_stop_all from it). A server also stops
# by itself when the shell that started it is gone.

TESTNET_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
TESTNET_PIDS=()

# How long a server may take to come up, in tenths of a second.
TESTNET_START_TENTHS=900

testnet_start() {
  local name=$1 kind=$2 dir=$3
  shift 3
  local out="$dir/.testnet-$name.line"
  "${PYTHON3:-python3}" "$TESTNET_DIR/serve.py" "$kind" --dir "$dir" "$@" >"$out" </dev/null &
  local pid=$!
  TESTNET_PIDS+=("$pid")
  local tenths=0
  until grep -q '^ready ' "$out" 2>/dev/null; do
    if ! kill -0 "$pid" 2>/dev/null || ((++tenths > TESTNET_START_TENTHS)); then
      echo "testnet: $kind did not start" >&2
      return 1
    fi
    sleep 0.1
  done
  local field
  for field in $(head -n 1 "$out" | cut -d' ' -f2-); do
    printf -v "${name}_${field%%=*}" '%s' "${field#*=}"
  done
  printf -v "${name}_pid" '%s' "$pid"
}

testnet_stop() {
  local pid_var="${1}_pid"
  local pid=${!pid_var:-}
  [[ -n "$pid" ]] || return 0
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  printf -v "$pid_var" '%s' ""
}

testnet_stop_all() {
  local pid
  for pid in "${TESTNET_PIDS[@]}"; do
    kill "$pid" 2>/dev/null
  done
  for pid in "${TESTNET_PIDS[@]}"; do
    wait "$pid" 2>/dev/null
  done
  TESTNET_PIDS=()
}

trap testnet_stop_all EXIT
