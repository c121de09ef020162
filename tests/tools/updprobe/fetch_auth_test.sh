#!/usr/bin/env bash
# updprobe fetch --user / --proxy-user against servers and proxies that ask
# for credentials: nginx and Apache Basic, Apache Digest, squid Basic and
# Digest (also before a TLS tunnel), tinyproxy; the same bytes as curl; a
# wrong password ends with its code after one answer.
set -uo pipefail
# shellcheck source=fetch_kit.sh
source "$(dirname "$0")/fetch_kit.sh"

refused() {  # CODE URL [options...]: exit 1 with that result
  local code=$1 url=$2
  shift 2
  local lines
  lines=$("$probe" fetch "$@" "$url" "$tmp/refused.out")
  [[ $? -eq 1 && "$lines" == $'result '"$code"$'\nbytes 0' ]] ||
    fail "fetch $* $url printed '$lines', not $code"
}

printf 'web-user:{PLAIN}web pass\n' >"$tmp/nginx.users"
testnet_start web nginx "$tmp" --server-conf \
  "location /basic/ { auth_basic \"nginx area\"; auth_basic_user_file $tmp/nginx.users; }" ||
  fail "nginx"
mkdir -p "$web_root/basic"
head -c 300000 /dev/urandom >"$web_root/basic/r.bin"
cp "$web_root/basic/r.bin" "$web_root/open.bin"

testnet_start ap apache "$tmp" --digest-user 'dig-user:dig pass' --basic-user 'bas-user:bas pass' \
  --realm 'private area' || fail "apache"
cp "$web_root/basic/r.bin" "$ap_root/digest/r.bin"
cp "$web_root/basic/r.bin" "$ap_root/basic/r.bin"

# The servers: each copy equals curl's, made with the same credentials.
check_server() {  # URL CURL_SCHEME USER:PASSWORD
  curl -sS --fail --noproxy '*' "$2" -u "$3" -o "$tmp/curl.out" "$1" || fail "curl $2 $1"
  fetched "$1" "$tmp/probe.out" --user "$3"
  cmp -s "$tmp/curl.out" "$tmp/probe.out" || fail "$1 differs from curl's copy"
}
check_server "${web_url}basic/r.bin" --basic 'web-user:web pass'
check_server "${ap_url}digest/r.bin" --digest 'dig-user:dig pass'
check_server "${ap_url}basic/r.bin" --basic 'bas-user:bas pass'
grep -q $'\t200\t300000\tGET /digest/r.bin HTTP/1.1\t.*\tdig-user$' "$ap_access_log" ||
  fail "Apache logged no authenticated GET"

refused 0x2001 "${web_url}basic/r.bin" --user 'web-user:wrong'
refused 0x2001 "${web_url}basic/r.bin"
before=$(wc -l <"$ap_access_log")
refused 0x2001 "${ap_url}digest/r.bin" --user 'dig-user:wrong'
# Apache logs a request after its answer went out.
for _ in $(seq 50); do (($(wc -l <"$ap_access_log") >= before + 2)) && break; sleep 0.1; done
# One HEAD that met the challenge, one GET that answered it: no more.
[[ $(tail -n +$((before + 1)) "$ap_access_log" | cut -f2,4 | tr '\t' ' ') == \
  $'401 HEAD /digest/r.bin HTTP/1.1\n401 GET /digest/r.bin HTTP/1.1' ]] ||
  fail "the wrong Digest password was not answered exactly once"

# The proxies: the server behind them asks for nothing, or for Basic too.
for auth in basic digest; do
  testnet_start "sq_$auth" squid "$tmp" --auth "$auth" --user 'proxy-user:proxy pass' ||
    fail "squid $auth"
  port_var="sq_${auth}_port"
  proxy="127.0.0.1:${!port_var}"
  fetched "${web_url}open.bin" "$tmp/p.out" --proxy "$proxy" --proxy-user 'proxy-user:proxy pass'
  cmp -s "$web_root/open.bin" "$tmp/p.out" || fail "copy through squid $auth differs"
  fetched "${web_url}basic/r.bin" "$tmp/pb.out" --proxy "$proxy" \
    --proxy-user 'proxy-user:proxy pass' --user 'web-user:web pass'
  cmp -s "$web_root/basic/r.bin" "$tmp/pb.out" || fail "squid $auth with a login behind it"
  refused 0x2002 "${web_url}open.bin" --proxy "$proxy" --proxy-user 'proxy-user:wrong'
  refused 0x2002 "${web_url}open.bin" --proxy "$proxy"
done

# HTTPS: squid's challenge on the CONNECT, nginx's inside the tunnel.
bash "$UPD_SOURCE_DIR/tools/testpki/tls_make_pki.sh" "$tmp/pki" >/dev/null 2>&1 || fail "pki"
cat "$tmp/pki/server.pem" "$tmp/pki/inter.pem" >"$tmp/chain.pem"
testnet_start tls nginx "$tmp" --listen-options ssl --server-conf \
  "ssl_certificate $tmp/chain.pem; ssl_certificate_key $tmp/pki/server.key;
   location /basic/ { auth_basic \"tls area\"; auth_basic_user_file $tmp/nginx.users; }" ||
  fail "nginx with TLS"
[[ "$tls_url" == https://* ]] || fail "nginx did not start with TLS: $tls_url"
mkdir -p "$tls_root/basic"
cp "$web_root/basic/r.bin" "$tls_root/basic/r.bin"
fetched "${tls_url}basic/r.bin" "$tmp/tls.out" --proxy "127.0.0.1:$sq_digest_port" \
  --proxy-user 'proxy-user:proxy pass' --user 'web-user:web pass'
cmp -s "$web_root/basic/r.bin" "$tmp/tls.out" || fail "copy over TLS through squid differs"
refused 0x2002 "${tls_url}basic/r.bin" --proxy "127.0.0.1:$sq_basic_port" \
  --proxy-user 'proxy-user:wrong' --user 'web-user:web pass'
refused 0x2001 "${tls_url}basic/r.bin" --proxy "127.0.0.1:$sq_basic_port" \
  --proxy-user 'proxy-user:proxy pass' --user 'web-user:wrong'

testnet_start tiny tinyproxy "$tmp" --user 'tiny-user:tiny.pass' || fail "tinyproxy"
fetched "${web_url}open.bin" "$tmp/t.out" --proxy "127.0.0.1:$tiny_port" \
  --proxy-user 'tiny-user:tiny.pass'
cmp -s "$web_root/open.bin" "$tmp/t.out" || fail "copy through tinyproxy differs"
refused 0x2002 "${web_url}open.bin" --proxy "127.0.0.1:$tiny_port"
echo ok
