#!/usr/bin/env bash
# Seeds for http1_syntax_fuzz: status lines, field lines (folded and plain),
# chunk-size lines with extensions, Location forms and quoted strings.
set -euo pipefail
out=$1
mkdir -p "$out"
printf 'HTTP/1.1 200 OK\r\nHTTP/1.0  404 Not Found\r\nHTTP/1.1 200\r\n' > "$out/status"
printf 'Content-Length: 12\r\nX-A:\t a b \r\n continued\r\nName : v\r\nETag:"x"\r\n' > "$out/fields"
printf '1a;name=value\r\n0\r\n1a ; n = "q \\" x" ; m\r\nffffffffffffffff\r\n1a;\r\n' > "$out/chunks"
printf 'http://h:8080/x?q#f\r\n//srv/x\r\n/x\r\nx/y\r\nhttp://[::1]:81/\r\nhttp://u@h/\r\nHTTP://h\\x\\y\r\n' > "$out/locations"
printf 'realm="say \\"hi\\"", nonce="a\\\\b", opaque="open\r\n' > "$out/quoted"
