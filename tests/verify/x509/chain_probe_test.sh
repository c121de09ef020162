#!/usr/bin/env bash
# updprobe chain against a small hierarchy made here with openssl: its output
# line, exit codes and options.
set -euo pipefail
probe=${UPDPROBE:?}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

ec_key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1.key" 2>/dev/null; }
printf 'basicConstraints=critical,CA:TRUE\nkeyUsage=critical,keyCertSign\n' >ca.ext
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\n' >ee.ext
ec_key root && ec_key inter && ec_key leaf
openssl req -new -x509 -key root.key -subj /CN=Probe-Root -days 30 -outform DER -out root.der
openssl req -new -key inter.key -subj /CN=Probe-Inter -out inter.csr
openssl x509 -req -in inter.csr -CA <(openssl x509 -inform DER -in root.der) -CAkey root.key \
  -CAcreateserial -CAserial root.srl -days 20 -extfile ca.ext -out inter.pem 2>/dev/null
# Validity starts in the second a certificate is made, and a certificate is
# not valid at its notBefore itself: let a second pass before the leaf and
# after it.
sleep 1
openssl req -new -key leaf.key -subj /CN=probe.test -out leaf.csr
openssl x509 -req -in leaf.csr -CA inter.pem -CAkey inter.key -CAcreateserial -CAserial inter.srl \
  -days 10 -extfile ee.ext -out leaf.pem 2>/dev/null
openssl x509 -in leaf.pem -outform DER -out leaf.der
not_before=$(date -d "$(openssl x509 -in leaf.pem -noout -startdate | cut -d= -f2)" +%s)
sleep 1

fail=0
check() {  # check WANT_EXIT WANT_OUTPUT ARGS...
  local want_exit=$1 want_output=$2 got_exit=0 got_output
  shift 2
  got_output=$("$probe" chain "$@" 2>/dev/null) || got_exit=$?
  if [ "$got_exit" != "$want_exit" ] || [ "$got_output" != "$want_output" ]; then
    echo "FAIL chain $*: exit $got_exit output '$got_output', want $want_exit '$want_output'"
    fail=1
  fi
}

check 0 "result=0 status=0x00000000" --root root.der --intermediate inter.pem leaf.der
check 0 "result=0 status=0x00000000" --intermediate inter.pem --root root.der leaf.pem
check 1 "result=42 status=0x00010000" --root root.der leaf.der
check 1 "result=6 status=0x00000020" --intermediate inter.pem root.der
# Exactly at notBefore the leaf is not yet valid; one second later it is.
check 0 "result=0 status=0x00000001" --at "$not_before" --root root.der --intermediate inter.pem leaf.der
check 1 "result=42 status=0x00000001" --at "$not_before" --flags 1 --root root.der \
  --intermediate inter.pem leaf.der
check 0 "result=0 status=0x00000000" --at $((not_before + 1)) --flags 1 --root root.der \
  --intermediate inter.pem leaf.der
# Roots-only lookups (0x84) do not see anchors served by the external store.
check 1 "result=42 status=0x00010000" --flags 84 --root root.der --intermediate inter.pem leaf.der
check 1 "" --root missing.der leaf.der
check 1 "" --root ca.ext leaf.der
check 2 "" --root root.der
check 2 "" --flags zz leaf.der
check 2 "" --at -5 leaf.der
check 2 "" --bogus leaf.der
check 2 "" leaf.der extra.der
exit $fail
