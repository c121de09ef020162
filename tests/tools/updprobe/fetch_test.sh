#!/usr/bin/env bash
# updprobe fetch: the same bytes as curl -o, its output lines and exit codes,
# resumption, a proxy and the direct attempt after a dead one, redirects, and
# validators kept in a settings file with --store.
set -uo pipefail
# shellcheck source=fetch_kit.sh
source "$(dirname "$0")/fetch_kit.sh"

testnet_start web nginx "$tmp" --server-conf \
  'location /plain/ { gzip off; } location = /moved { return 302 /plain/r.bin; }' || fail "nginx"
mkdir -p "$web_root/plain"
head -c 1000000 /dev/urandom >"$web_root/plain/r.bin"
seq 1 100000 >"$web_root/t.txt"

for name in plain/r.bin t.txt; do
  curl -sS --noproxy '*' -o "$tmp/curl.out" "${web_url}$name" || fail "curl $name"
  fetched "${web_url}$name" "$tmp/file.out"
  cmp -s "$tmp/curl.out" "$tmp/file.out" || fail "$name differs from curl's copy"
  fetched "${web_url}$name" "$tmp/memory.out" --memory
  cmp -s "$tmp/curl.out" "$tmp/memory.out" || fail "$name in memory differs"
done

head -c 1000 "$web_root/plain/r.bin" >"$tmp/part"
fetched "${web_url}plain/r.bin" "$tmp/resumed.out" --partial "$tmp/part" --user-agent 'probe/1.0'
cmp -s "$web_root/plain/r.bin" "$tmp/resumed.out" || fail "resumed copy differs"
grep -q $'\t206\t999000\tGET /plain/r.bin HTTP/1.1\tbytes=1000-\tprobe/1.0\t' "$web_access_log" ||
  fail "no ranged GET with the User-Agent in the log"

fetched "${web_url}moved" "$tmp/moved.out"
cmp -s "$web_root/plain/r.bin" "$tmp/moved.out" || fail "redirected copy differs"

fetched "${web_url}t.txt" "$tmp/stored.out" --store "$tmp/store.ini"
grep -q "^VerFileETAG_127.0.0.1:${web_port}/t.txt=..*" "$tmp/store.ini" || fail "no ETag stored"
out=$("$probe" fetch --store "$tmp/store.ini" "${web_url}t.txt" "$tmp/again.out")
[[ $? -eq 1 && "$out" == $'result 0x2108\nbytes '"$(stat -c %s "$web_root/t.txt")" ]] ||
  fail "second fetch with the store printed '$out'"
cmp -s "$web_root/t.txt" "$tmp/again.out" || fail "not-modified copy differs"
[[ "$(tail -n 1 "$web_access_log" | cut -f 2)" == 304 ]] || fail "the server did not answer 304"

out=$("$probe" fetch "${web_url}missing" "$tmp/missing.out")
[[ $? -eq 1 && "$out" == $'result 0x2103\nbytes 0' ]] || fail "missing file printed '$out'"

testnet_start proxy tinyproxy "$tmp" || fail "tinyproxy"
fetched "${web_url}t.txt" "$tmp/proxied.out" --proxy "127.0.0.1:$proxy_port"
cmp -s "$web_root/t.txt" "$tmp/proxied.out" || fail "proxied copy differs"
grep -q "GET ${web_url}t.txt HTTP/1.1" "$proxy_error_log" || fail "tinyproxy did not see the GET"
dead=$proxy_port
testnet_stop proxy
out=$("$probe" fetch --proxy "127.0.0.1:$dead" "${web_url}t.txt" "$tmp/dead.out")
[[ $? -eq 1 && "$out" == $'result 0x2101\nbytes 0' ]] || fail "dead proxy printed '$out'"
fetched "${web_url}t.txt" "$tmp/direct.out" --proxy "127.0.0.1:$dead" --direct-retry

printf 'local file' >"$tmp/local.txt"
fetched "$tmp/local.txt" "$tmp/local.out"
[[ "$(cat "$tmp/local.out")" == "local file" ]] || fail "local path"

for args in "" "only-one" "--proxy" "--bogus a b" "--proxy nocolon ${web_url}t.txt $tmp/x" \
  "--user $(printf 'u%.0s' $(seq 70)):p ${web_url}t.txt $tmp/x"; do
  # shellcheck disable=SC2086
  "$probe" fetch $args >/dev/null 2>&1
  [[ $? -eq 2 ]] || fail "'fetch $args' should be a usage error"
done
echo ok
