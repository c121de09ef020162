#!/usr/bin/env bash
# updprobe certlist end to end: trust lists made by openssl, taken from the
# cache folder or served by the loopback peer of the certificate HTTP tests.
set -euo pipefail
: "${UPDPROBE:?}" "${UPD_SOURCE_DIR:?}" "${UPD_BINARY_DIR:?}"
py=${PYTHON3:-python3}
work=$(mktemp -d)
peer=
cleanup() {
  if [ -n "$peer" ]; then
    kill "$peer" 2>/dev/null || true
    wait "$peer" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

pki=$work/pki
bash "$UPD_SOURCE_DIR/tools/testpki/ctl_pki.sh" "$UPD_BINARY_DIR/trust" "$pki" >/dev/null 2>&1
make=$UPD_SOURCE_DIR/tools/testpki/ctl_make.py
"$py" "$make" content "$work/ctl.der" "$pki/signer.der" "$pki/inter.der"
"$py" "$make" sign "$work/list.stl" --content "$work/ctl.der" --signer "$pki/signer" \
  --certfile "$pki/inter.pem"
name=$(sha1sum "$pki/server.der" | cut -c1-40).stl
at=1893456000  # 2030-01-01

expect() {  # expect EXIT OUTPUT ARGS...
  local want_rc=$1 want_out=$2 out rc=0
  shift 2
  out=$("$UPDPROBE" certlist "$@") || rc=$?
  [ "$rc" = "$want_rc" ] || fail "certlist $* exited $rc, wanted $want_rc ($out)"
  [ "$out" = "$want_out" ] || fail "certlist $* printed '$out', wanted '$want_out'"
}

# Cached list, DER and PEM input, with and without the peer's CA copy.
mkdir -p "$work/cache/ctl"
cp "$work/list.stl" "$work/cache/ctl/$name"
expect 0 "result=0 status=0x00000000" --at $at --cache "$work/cache" "$pki/server.der"
expect 0 "result=0 status=0x00000000" --at $at --cache "$work/cache" "$pki/server.pem" \
  "$pki/inter.der"
# 2036: the server certificate has expired (time errors are fatal: 42, bit 0x1).
out=$("$UPDPROBE" certlist --at 2082758400 --cache "$work/cache" "$pki/server.der") && \
  fail "expired chain passed"
[[ $out =~ ^result=42\ status=0x[0-9A-F]{7}[13579BDF]$ ]] || fail "expired: $out"

# No list and no server: the transfer failure ends the check.
expect 1 "result=37 status=0x00000000" --at $at --cache "$work/empty" --pki http://127.0.0.1/ \
  "$pki/server.der"

# Served by the PKI server, then kept in the cache.
"$py" - "$work/list.stl" "$work/script.json" <<'PY'
import json, sys
body = open(sys.argv[1], "rb").read().decode("latin-1")
reply = "HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body) + body
json.dump({"exchanges": [{"reply": [{"send": reply}], "after": "close"}]},
          open(sys.argv[2], "w"))
PY
coproc PEER { exec "$py" "$UPD_SOURCE_DIR/tests/verify/certhttp/http_peer.py" \
  "$work/script.json" "$work/requests.jsonl" --port80 2>"$work/peer.log"; }
peer=$PEER_PID
read -r address port <&"${PEER[0]}"
[ "$port" = 80 ] || fail "peer not on port 80"
expect 0 "result=0 status=0x00000000" --at $at --cache "$work/served" --pki "http://$address/base" \
  "$pki/server.der"
cmp "$work/list.stl" "$work/served/ctl/$name" || fail "served list not saved"
grep -q "GET /base/ctl/$name HTTP/1.1" "$work/requests.jsonl" || fail "request: $(cat "$work/requests.jsonl")"

# Usage errors.
rc=0; "$UPDPROBE" certlist --at $at >/dev/null 2>&1 || rc=$?
[ "$rc" = 2 ] || fail "no certificate: exit $rc"
rc=0; "$UPDPROBE" certlist --at soon "$pki/server.der" >/dev/null 2>&1 || rc=$?
[ "$rc" = 2 ] || fail "bad time: exit $rc"
echo ok
