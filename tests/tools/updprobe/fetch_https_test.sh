#!/usr/bin/env bash
# updprobe fetch https://...: the same bytes as curl --cacert from nginx over
# TLS (the certificate check off, so a self-signed server passes too),
# resumption, and a CONNECT tunnel through tinyproxy.
set -uo pipefail
# shellcheck source=fetch_kit.sh
source "$(dirname "$0")/fetch_kit.sh"

bash "$UPD_SOURCE_DIR/tools/testpki/tls_make_pki.sh" "$tmp/pki" >/dev/null 2>&1 || fail "pki"
cat "$tmp/pki/server.pem" "$tmp/pki/inter.pem" >"$tmp/chain.pem"
tls_conf() {  # LEAF-CHAIN KEY
  printf 'ssl_certificate %s;\nssl_certificate_key %s;\nssl_protocols TLSv1.2;\n%s' "$1" "$2" \
    'location /plain/ { gzip off; }'
}
testnet_start web nginx "$tmp" --listen-options ssl \
  --server-conf "$(tls_conf "$tmp/chain.pem" "$tmp/pki/server.key")" || fail "nginx"
[[ "$web_url" == https://* ]] || fail "nginx is not speaking TLS: $web_url"
mkdir -p "$web_root/plain"
head -c 1000000 /dev/urandom >"$web_root/plain/r.bin"
seq 1 100000 >"$web_root/t.txt"

for name in plain/r.bin t.txt; do
  curl -sS --noproxy '*' --cacert "$tmp/pki/root.pem" -o "$tmp/curl.out" "${web_url}$name" ||
    fail "curl $name"
  fetched "${web_url}$name" "$tmp/file.out"
  cmp -s "$tmp/curl.out" "$tmp/file.out" || fail "$name differs from curl's copy"
  fetched "${web_url}$name" "$tmp/memory.out" --memory
  cmp -s "$tmp/curl.out" "$tmp/memory.out" || fail "$name in memory differs"
done

head -c 1000 "$web_root/plain/r.bin" >"$tmp/part"
fetched "${web_url}plain/r.bin" "$tmp/resumed.out" --partial "$tmp/part"
cmp -s "$web_root/plain/r.bin" "$tmp/resumed.out" || fail "resumed copy differs"
grep -q $'\t206\t999000\tGET /plain/r.bin HTTP/1.1\tbytes=1000-\t' "$web_access_log" ||
  fail "no ranged GET in the log"

testnet_start proxy tinyproxy "$tmp" || fail "tinyproxy"
fetched "${web_url}t.txt" "$tmp/proxied.out" --proxy "127.0.0.1:$proxy_port"
cmp -s "$web_root/t.txt" "$tmp/proxied.out" || fail "proxied copy differs"
grep -q "CONNECT 127.0.0.1:$web_port HTTP/1.1" "$proxy_error_log" ||
  fail "tinyproxy saw no CONNECT"

# Without a certificate cache folder nothing is checked: a self-signed server passes.
testnet_start self nginx "$tmp" --listen-options ssl \
  --server-conf "$(tls_conf "$tmp/pki/self_signed.pem" "$tmp/pki/self_signed.key")" || fail "nginx"
printf 'self' >"$self_root/s.txt"
fetched "${self_url}s.txt" "$tmp/self.out"
[[ "$(cat "$tmp/self.out")" == "self" ]] || fail "self-signed server"

# A plain HTTP server is no TLS peer.
testnet_start plain nginx "$tmp" || fail "plain nginx"
printf 'x' >"$plain_root/x.txt"
out=$("$probe" fetch "https://127.0.0.1:$plain_port/x.txt" "$tmp/x.out")
[[ $? -eq 1 && "$out" == $'result 0x2101\nbytes 0' ]] || fail "plain server printed '$out'"
echo ok
