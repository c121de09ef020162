# The shell face of the network test kit: servers started from a shell test,
# reached with curl, and gone when the shell ends.
set -euo pipefail
source "$UPD_SOURCE_DIR/tools/testnet/testnet.sh"

tmp=$(mktemp -d)
trap 'testnet_stop_all; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

check() {
  testnet_start web nginx "$tmp" --ipv6
  printf 'shell' >"$web_root/s.txt"
  [[ "$(curl -sS --noproxy '*' "${web_url}s.txt")" == shell ]] || fail "nginx over IPv4"
  [[ "$(curl -sS -g --noproxy '*' "${web_url6}s.txt")" == shell ]] || fail "nginx over IPv6"
  grep -q $'\t200\t5\tGET /s.txt HTTP/1.1\t' "$web_access_log" || fail "access log line"

  testnet_start proxy squid "$tmp" --auth basic --user ann:pw
  [[ "$(curl -sS -x "$proxy_url" --proxy-user ann:pw "${web_url}s.txt")" == shell ]] ||
    fail "squid with Basic"

  printf '{"connections": [[{"read_request": true}, {"send": "HTTP/1.1 200 OK\\r\\nContent-Length: 2\\r\\n\\r\\nok"}]]}' \
    >"$tmp/script.json"
  testnet_start raw scripted "$tmp" --script "$tmp/script.json"
  [[ "$(curl -sS --noproxy '*' "${raw_url}x")" == ok ]] || fail "scripted answer"
  grep -q '"conn": 0' "$raw_requests_log" || fail "scripted request log"

  local port=$web_port
  testnet_stop web
  ! curl -sS --noproxy '*' "http://127.0.0.1:$port/s.txt" 2>/dev/null || fail "nginx still answers"
}

# The servers run in a child shell that sets no trap of its own (a subshell
# does not inherit ours): once it has ended, its servers must stop by
# themselves.
( check )
for _ in $(seq 100); do
  pgrep -f "serve.py .*--dir $tmp" >/dev/null || break
  sleep 0.1
done
pids=$(pgrep -f "serve.py .*--dir $tmp|$tmp/(nginx|squid|scripted)-" || true)
[[ -z "$pids" ]] || fail "servers left behind: $pids"
echo ok
