#!/usr/bin/env bash
# Seeds for http_head_fuzz: heads of the kinds the transport meets, and a
# gzip body.
set -euo pipefail
out=$1
mkdir -p "$out"
printf 'HTTP/1.1 200 OK\r\nContent-Length: 12\r\nETag: "5f-1"\r\nConnection: keep-alive\r\n\r\n' > "$out/ok"
printf 'HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 1000-1999/2000\r\nContent-Encoding: gzip\r\n\r\n' > "$out/range"
printf 'HTTP/1.1 401 x\r\nWWW-Authenticate: Basic realm="r"\r\nWWW-Authenticate: Digest realm="a, b", nonce="n", qop="auth,auth-int", algorithm=SHA-512-256\r\n\r\n' > "$out/challenges"
printf 'HTTP/1.1 302 Found\r\nLocation: http://[::1]:8080/x\r\nTransfer-Encoding: chunked\r\n\r\n1a;ext=1\r\n' > "$out/redirect"
printf 'HTTP/1.1 200 OK\r\nContent-Type: text/html;charset=utf-8\r\nX-Bypass-Cache: 1\r\n\r\n' > "$out/login"
printf 'hello gzip body\n' | gzip -c > "$out/body.gz"
printf 'HTTP/1.1 407 x\r\nProxy-Authenticate: Digest realm="private area", nonce="n==", opaque="o", userhash=true, qop="auth-int", algorithm=SHA-256-sess\r\n\r\n' > "$out/proxy-digest"
printf 'HTTP/1.1 401 x\r\nWWW-Authenticate: Basic realm="a", Digest realm="say \\"hi\\"", nonce="n", opaque="%s", Negotiate YII/ab+==\r\n\r\n' "$(head -c 5000 /dev/zero | tr '\0' o)" > "$out/challenge-list"
printf 'HTTP/1.1 200 OK\r\nSet-Cookie: %s\r\nX-A: a\r\n folded\r\nContent-Length : 2\r\n\r\n' "$(head -c 60000 /dev/zero | tr '\0' c)" > "$out/long-line"
