#!/usr/bin/env bash
# Seeds for server_list_fuzz: catalogues with the server lists that update
# servers send, in the links and the hosts form, and a few odd ones.
set -euo pipefail
out=$1
mkdir -p "$out"

printf '[SERVERS]\nlist=3@http://a.example/ , http://b.example/;http://c.example/\n[LINKS]\nRelease-0=upd/\nOther=/other/\n0=//mirror.example/x/\n' > "$out/links.ver"
printf '[HOSTS]\nRelease-0=2@http://h1.example/upd/ http://user@h2.example/\nPrerelease-Other=\\\\share\\upd\\\nOther=@zero c:\\mirror\\\n' > "$out/hosts.ver"
printf '[SERVERS]\nlist=\n[LINKS]\nRelease-0=upd/\n[HOSTS]\n0=99999999999@http://big/ 4294967295@http://max/\n' > "$out/weights.ver"
printf '[HOSTS]\nOther="1@a;;2@b,,,\t3@c"\n' > "$out/quoted.ver"
